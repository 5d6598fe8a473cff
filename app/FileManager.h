#pragma once
// The single door between the main window and the file formats: the
// extension alone picks the reader or the writer. Also the window glue of
// each format: a reader makes a new window from what its codec read, a
// writer hands the codec the window's image or its displayed picture.
#include <QImage>
#include <QString>
#include <functional>

#include "engine/QVRFastBMP.h"

class TChildForm;

// From the last '.' of the name (after its folder) on, dot included; "" when none.
QString ExtractFileExt(const QString& FileName);

void OpenImageFile(const QString& FileName);
// True when a file was written.
bool SaveImageFile(const QString& FileName, TChildForm* Window);

// The main window's dialog filters.
QString OpenDialogFilter();
QString SaveDialogFilter();

// The options dialogs the save dispatch shows; each returns the modal result
// (mrOk lets the save go on). The dialogs install themselves here.
struct TJPEGSaveOptions {
  int Quality = 75;
  bool Progressive = true;
};
extern std::function<int(TJPEGSaveOptions& Options)> JPEGOptionsDialog;
extern std::function<int(TChildForm* Window)> FITSOptionsDialog;
// The File Options data type for a window without FITS header: 16 or -32.
extern std::function<int()> FITSNewHeaderBITPIX;

// Readers: each opens the file in a new window, or shows why it cannot.
TChildForm* OpenBMP(const QString& FileName);
TChildForm* OpenJPEG(const QString& FileName);
TChildForm* OpenSBIG(const QString& FileName);
TChildForm* OpenST4(const QString& FileName);
TChildForm* OpenFITS(const QString& FileName);
TChildForm* OpenKVX(const QString& FileName);
TChildForm* OpenTIFF(const QString& FileName);
TChildForm* OpenPCD(const QString& FileName);

// Writers; true when the file was written.
bool SaveKVX(const QString& FileName, TChildForm* Window);
bool SaveFITS(const QString& FileName, TChildForm* Window);
bool SaveBMP(const QString& FileName);
bool SaveJPEG(const QString& FileName);
bool SaveTIFF(const QString& FileName);

// The picture the picture writers write: Window rendered at 100 % with its
// annotations and markers, its zoom restored afterwards. Null on failure.
QImage RenderedPictureAt100(TChildForm* Window);
// A picture as the codecs take it: 24 bits, bottom-up rows.
TFastBMP PictureToFastBMP(const QImage& Picture);
