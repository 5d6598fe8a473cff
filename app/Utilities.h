#pragma once
// Routines that make new image windows from existing ones or from the clipboard.
#include <QImage>

class TChildForm;
class TDataImage;

// A new result window holding a copy of Source's image, display table, black
// and white points and zoom; nullptr after a reported failure.
TChildForm* CopyImageWindow(TChildForm* Source);
// The displayed picture at the window's zoom with annotations and markers
// drawn in; a null image after a reported failure.
QImage GetRenderedBitmap(TChildForm* Child);
void ConvertToGreyscale(const TDataImage& Image);
void SplitColourPlanes(const TDataImage& Image);
// A full copy of a window, annotations and markers included.
TChildForm* DuplicateImage(TChildForm* Source);
void PasteImage();
void CopyFITSHeader(const TChildForm* Source, TChildForm* Dest);
// Pixels, display table, black and white point of Source into Dest, which is
// allocated for them; throws std::bad_alloc when it cannot be.
void CopyImageData(const TDataImage& Source, TDataImage& Dest);
