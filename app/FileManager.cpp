#include "app/FileManager.h"

#include <QFileInfo>
#include <QStringEncoder>
#include <QFontMetrics>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "app/Child.h"
#include "app/Main.h"
#include "app/Utilities.h"
#include "engine/Errors.h"
#include "formats/Bitmap.h"
#include "formats/Bmp2Tiff.h"
#include "formats/FITS.h"
#include "formats/JPG.h"
#include "formats/PCD.h"
#include "formats/SBIG.h"
#include "formats/TIFFex.h"
#include "formats/kvx.h"
#include "platform/MessageBox.h"

std::function<int(TJPEGSaveOptions&)> JPEGOptionsDialog;
std::function<int(TChildForm*)> FITSOptionsDialog;
std::function<int()> FITSNewHeaderBITPIX;

namespace {
TJPEGSaveOptions& JPEGOptions() {
  // The options keep their values from one save to the next.
  static TJPEGSaveOptions options;
  return options;
}

std::string LocalName(const QString& FileName) { return FileName.toLocal8Bit().toStdString(); }

void ShowMessages(const TCodecMessages& Messages) {
  for (const TCodecMessage& m : Messages) {
    const QString text = QString::fromStdString(m.Text);
    if (m.Kind == TCodecMessageKind::Error)
      MessageBox::ShowError(text);
    else
      MessageBox::ShowWarning(text);
  }
}

// The reader contract: a new window that starts unmodified, the image the
// codec read, the file name as caption, then the first render.
TChildForm* NewReaderWindow(std::unique_ptr<TDataImage> Image, const QString& FileName,
                            const TCodecMessages& Messages = {},
                            const std::function<void(TChildForm&)>& Fill = {}) {
  auto* child = new TChildForm;
  child->Modified = false;
  child->DataImage = std::move(Image);
  try {
    if (Fill) Fill(*child);
  } catch (const std::bad_alloc&) {
    child->Discard();
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
    return nullptr;
  }
  ShowMessages(Messages);
  child->SetCaption(QFileInfo(FileName).fileName());
  // Out of memory for the picture: the window is gone and the user told.
  return child->UpdateImage() ? child : nullptr;
}

// A codec's result: its messages alone when it read no image, else a new
// window that Fill completes (header cards, annotations) before the first render.
template <typename TResult>
TChildForm* OpenResult(TResult& Result, const QString& FileName,
                       const std::function<void(TChildForm&)>& Fill = {}) {
  if (!Result.Image) {
    ShowMessages(Result.Messages);
    return nullptr;
  }
  return NewReaderWindow(std::move(Result.Image), FileName, Result.Messages, Fill);
}

using TPictureReader = bool (*)(const std::string&, TDataImage&, std::string&);

TChildForm* OpenPicture(const QString& FileName, TPictureReader Reader) {
  auto image = std::make_unique<TDataImage>();
  std::string error;
  if (!Reader(LocalName(FileName), *image, error)) {
    MessageBox::ShowError(QString::fromStdString(error));
    return nullptr;
  }
  return NewReaderWindow(std::move(image), FileName);
}

template <typename TRead>
TChildForm* OpenThrowing(const QString& FileName, TRead Read) {
  auto image = std::make_unique<TDataImage>();
  try {
    Read(LocalName(FileName), *image);
  } catch (const std::bad_alloc&) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
    return nullptr;
  } catch (const std::exception& e) {
    // What the default handler would show; no window.
    MessageBox::ShowError(QString::fromStdString(e.what()));
    return nullptr;
  }
  return NewReaderWindow(std::move(image), FileName);
}

bool WrittenOK(const TCodecMessages& Messages) {
  for (const TCodecMessage& m : Messages) {
    if (m.Kind == TCodecMessageKind::Error) return false;
    // A file in place whose folder could not be synced is not yet safe to
    // close the window over.
    if (m.Text.rfind(msgSaveError, 0) == 0 || m.Text.rfind(msgFolderNotSynced, 0) == 0 || m.Text == msgFITSColour ||
        m.Text.find("The image has not been saved.") != std::string::npos)
      return false;
  }
  return true;
}

// Font sizes in points at the 96 dots per inch the program was laid out for.
int FontPoints(const QFont& Font) {
  if (Font.pointSize() > 0) return Font.pointSize();
  return int(std::llrint(Font.pixelSize() * 72.0 / 96.0));
}

QString From1252(const std::string& Text);

QFont FontFromKVX(const TKVXAnnotation& A) {
  QFont font(From1252(A.FontName));
  font.setPixelSize(std::max(1, int(std::llrint(A.FontSize * 96.0 / 72.0))));
  font.setBold(A.FontStyle.Bold);
  font.setItalic(A.FontStyle.Italic);
  font.setUnderline(A.FontStyle.Underline);
  font.setStrikeOut(A.FontStyle.StrikeOut);
  return font;
}

std::string To1252(const QString& Text) {
  QStringEncoder encoder("windows-1252");
  if (encoder.isValid()) {
    const QByteArray bytes = encoder.encode(Text);
    return bytes.toStdString();
  }
  return Text.toLatin1().toStdString();
}

QString From1252(const std::string& Text) {
  QStringDecoder decoder("windows-1252");
  if (decoder.isValid()) return decoder.decode(QByteArray::fromStdString(Text));
  return QString::fromLatin1(Text.c_str(), qsizetype(Text.size()));
}

bool WritePicture(const QString& FileName,
                  const std::function<bool(const std::string&, const TFastBMP&, std::string&)>& Write) {
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!active) return false;
  const QImage picture = RenderedPictureAt100(active);
  if (picture.isNull()) {
    MessageBox::ShowError(QString::fromLatin1(SaveErrorText));
    return false;
  }
  TFastBMP bitmap;
  try {
    bitmap = PictureToFastBMP(picture);
  } catch (const std::bad_alloc&) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
    return false;
  }
  std::string error;
  if (!Write(LocalName(FileName), bitmap, error)) {
    MessageBox::ShowError(QString::fromStdString(error));
    return false;
  }
  return true;
}
}  // namespace

QString ExtractFileExt(const QString& FileName) {
  const int slash = int(FileName.lastIndexOf(QLatin1Char('/')));
  const int dot = int(FileName.lastIndexOf(QLatin1Char('.')));
  return dot > slash ? FileName.mid(dot) : QString();
}

namespace {
// ASCII upper case: the extension tables are plain ASCII.
QString UpperExt(const QString& FileName) {
  QString ext = ExtractFileExt(FileName);
  for (QChar& c : ext)
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  return ext;
}

bool In(const QString& Ext, std::initializer_list<const char*> List) {
  for (const char* e : List)
    if (Ext == QLatin1String(e)) return true;
  return false;
}
}  // namespace

void OpenImageFile(const QString& FileName) {
  const QString ext = UpperExt(FileName);
  TChildForm* (*reader)(const QString&) = nullptr;
  if (ext == QLatin1String(".BMP")) {
    reader = &OpenBMP;
  } else if (ext == QLatin1String(".JPG")) {
    reader = &OpenJPEG;
  } else if (In(ext, {".STX", ".ST4", ".ST5", ".ST6", ".ST7", ".ST8"})) {
    reader = &OpenSBIG;
  } else if (In(ext, {".FTS", ".FIT", ".FITS"})) {
    reader = &OpenFITS;
  } else if (ext == QLatin1String(".KVX")) {
    reader = &OpenKVX;
  } else if (In(ext, {".TIF", ".TIFF"})) {
    reader = &OpenTIFF;
  } else if (ext == QLatin1String(".PCD")) {
    reader = &OpenPCD;
  } else {
    const QString name = QFileInfo(FileName).fileName();
    MessageBox::ShowWarning(
        ExtractFileExt(FileName).isEmpty()
            ? QStringLiteral("\"%1\" has not been opened: a file without an extension is not a supported image file.")
                  .arg(name)
            : QStringLiteral("\"%1\" has not been opened: files of type \"%2\" are not supported.")
                  .arg(name, ExtractFileExt(FileName)));
    return;
  }
  // A named pipe or a device under an image's name is refused by name before
  // any reader looks at it; a file deleted since it was chosen (a recent
  // file, say), or a link to nothing, is said as such, not as a damaged file.
  if (TByteSource probe; !probe.OpenFile(LocalName(FileName))) {
    MessageBox::ShowError(QString::fromStdString(CannotOpenText(FileName.toStdString(), probe.Reason())));
    return;
  }
  reader(FileName);
}

bool SaveImageFile(const QString& FileName, TChildForm* Window) {
  const QString ext = UpperExt(FileName);
  if (ext == QLatin1String(".KVX")) return SaveKVX(FileName, Window);
  if (ext == QLatin1String(".BMP")) return SaveBMP(FileName);
  if (In(ext, {".JPG", ".JPEG"})) {
    const int result = JPEGOptionsDialog ? JPEGOptionsDialog(JPEGOptions()) : int(mrOk);
    return result == mrOk && SaveJPEG(FileName);
  }
  if (In(ext, {".FTS", ".FIT", ".FITS"})) {
    const int result = FITSOptionsDialog ? FITSOptionsDialog(Window) : int(mrOk);
    return result == mrOk && SaveFITS(FileName, Window);
  }
  if (ext == QLatin1String(".TIF")) return SaveTIFF(FileName);
  return false;
}

TChildForm* OpenBMP(const QString& FileName) { return OpenPicture(FileName, &ReadBMPImage); }
TChildForm* OpenJPEG(const QString& FileName) { return OpenPicture(FileName, &ReadJPEGImage); }

TChildForm* OpenSBIG(const QString& FileName) {
  if (UpperExt(FileName) == QLatin1String(".ST4")) return OpenST4(FileName);
  TSBIGReadResult result = LoadSBIG(LocalName(FileName));
  return OpenResult(result, FileName);
}

TChildForm* OpenST4(const QString& FileName) {
  TSBIGReadResult result = LoadST4(LocalName(FileName));
  return OpenResult(result, FileName);
}

TChildForm* OpenFITS(const QString& FileName) {
  TFITSOpenResult result = LoadFITS(LocalName(FileName));
  return OpenResult(result, FileName, [&result](TChildForm& Child) { Child.FITSHeader = std::move(result.Header); });
}

TChildForm* OpenKVX(const QString& FileName) {
  TKVXReadResult result = LoadKVX(LocalName(FileName));
  return OpenResult(result, FileName, [&result](TChildForm& Child) {
    for (const TKVXAnnotation& a : result.Annotations)
      Child.ImageOverlay->AddAnnotation(a.X, a.Y, From1252(a.Text), FontFromKVX(a), a.FontColour);
    for (const TKVXMarker& m : result.Markers) Child.ImageOverlay->AddMarker(m.X, m.Y);
  });
}

TChildForm* OpenTIFF(const QString& FileName) {
  return OpenThrowing(FileName, [](const std::string& Name, TDataImage& Image) { ReadTIFFImage(Name, Image); });
}

TChildForm* OpenPCD(const QString& FileName) {
  return OpenThrowing(FileName, [](const std::string& Name, TDataImage& Image) { ReadPCDImage(Name, Image); });
}

bool SaveKVX(const QString& FileName, TChildForm* Window) {
  if (!Window) return false;
  std::vector<TKVXAnnotation> annotations;
  for (const TAnnotation& a : Window->ImageOverlay->Annotations()) {
    TKVXAnnotation k;
    k.X = a.X;
    k.Y = a.Y;
    k.Text = To1252(a.Text);
    k.FontColour = a.FontColour;
    k.FontSize = std::uint32_t(std::max(0, FontPoints(a.Font)));
    k.FontStyle = {a.Font.bold(), a.Font.italic(), a.Font.underline(), a.Font.strikeOut()};
    k.FontName = To1252(a.Font.family());
    annotations.push_back(std::move(k));
  }
  std::vector<TKVXMarker> markers;
  for (const TMarkerRec& m : Window->ImageOverlay->Markers()) markers.push_back({m.X, m.Y});
  const TCodecMessages messages = ::SaveKVX(LocalName(FileName), *Window->DataImage, annotations, markers);
  ShowMessages(messages);
  return WrittenOK(messages);
}

bool SaveFITS(const QString& FileName, TChildForm* Window) {
  if (!Window) return false;
  const int bitpix = FITSNewHeaderBITPIX ? FITSNewHeaderBITPIX() : -32;
  const TCodecMessages messages = ::SaveFITS(LocalName(FileName), Window->FITSHeader, *Window->DataImage, bitpix);
  ShowMessages(messages);
  return WrittenOK(messages);
}

bool SaveBMP(const QString& FileName) { return WritePicture(FileName, &WriteBMPFile); }

bool SaveJPEG(const QString& FileName) {
  const TJPEGSaveOptions options = JPEGOptions();
  return WritePicture(FileName, [options](const std::string& Name, const TFastBMP& Bitmap, std::string& Error) {
    return WriteJPEGFile(Name, Bitmap, options.Quality, options.Progressive, Error);
  });
}

bool SaveTIFF(const QString& FileName) { return WritePicture(FileName, &WriteTIFFFile); }

QImage RenderedPictureAt100(TChildForm* Window) {
  const float zoom = Window->ImageDisplay->Zoom;
  Window->SetZoom(100.0f);
  Window->UpdateImage();
  QImage picture = GetRenderedBitmap(Window);
  Window->SetZoom(zoom);
  Window->UpdateImage();
  return picture;
}

TFastBMP PictureToFastBMP(const QImage& Picture) {
  const QImage rgb = Picture.convertToFormat(QImage::Format_RGB888);
  TFastBMP bitmap;
  bitmap.SetSize(rgb.width(), rgb.height());
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* src = rgb.constScanLine(y);
    std::uint8_t* dst = bitmap.TopRow(y);
    for (int x = 0; x < rgb.width(); ++x) {
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return bitmap;
}
