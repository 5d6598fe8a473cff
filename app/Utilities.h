#pragma once
// Routines that make new image windows from existing ones or from the clipboard.
#include <QImage>

#include "engine/Errors.h"

class TChildForm;
class TDataImage;

// Notes whether an engine routine reported a failure while it lives; the
// reports still go to the handler installed before. An operation that has
// made its result window closes it again after a failure, so that no window
// that looks like a result holds a half-done one.
class TFailureWatch {
 public:
  TFailureWatch();
  ~TFailureWatch();
  TFailureWatch(const TFailureWatch&) = delete;
  TFailureWatch& operator=(const TFailureWatch&) = delete;
  bool Failed() const { return FFailed; }

 private:
  TInternalErrorHandler FPrevious;
  bool FFailed = false;
};

// Closes Result, made by an operation that failed with the exception being
// handled, and says "Out of memory" when that is what the exception means
// (any other failure has been reported where it happened).
void DiscardFailedResult(TChildForm* Result);

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
