#include "app/Utilities.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>

#include "app/Child.h"
#include "app/Main.h"
#include "engine/Errors.h"
#include "platform/MessageBox.h"

namespace {
// An image of its own, allocated before any window is made for it, so that
// running out of memory leaves no window without its picture; null, after
// the user has been told, when memory runs out. (Nothing is thrown: an
// exception must not cross the toolkit's frames of the command.)
std::unique_ptr<TDataImage> NewImage(int Width, int Height, std::uint8_t DataType, bool Colour) {
  auto image = std::make_unique<TDataImage>();
  if (image->Allocate(Width, Height, DataType, Colour)) return image;
  MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
  return nullptr;
}

TChildForm* WindowFor(std::unique_ptr<TDataImage> Image) {
  auto* child = new TChildForm;
  child->DataImage = std::move(Image);
  return child;
}
}  // namespace

TFailureWatch::TFailureWatch() {
  FPrevious = SetInternalErrorHandler([this](int Code) {
    if (Code > 0) FFailed = true;
    if (FPrevious)
      FPrevious(Code);
    else if (Code > 0)
      std::fprintf(stderr, "%s\n", ReportIsOutOfMemory() ? OutOfMemoryText : InternalErrorText(Code).c_str());
  });
}

TFailureWatch::~TFailureWatch() { SetInternalErrorHandler(std::move(FPrevious)); }

void DiscardFailedResult(TChildForm* Result) {
  if (Result) Result->Discard();
  if (IsOutOfMemory(std::current_exception())) MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
}

void CopyImageData(const TDataImage& Source, TDataImage& Dest) {
  const std::size_t count = std::size_t(Source.PixelCount());
  if (Source.IsColour) {
    if (!Dest.Allocate(Source.Width, Source.Height, 0, true)) throw std::bad_alloc();
    if (count && Source.RGBPlane) std::memcpy(Dest.RGBPlane, Source.RGBPlane, count * sizeof(TRGBPixel));
  } else {
    if (!Dest.Allocate(Source.Width, Source.Height, Source.DataType, false)) throw std::bad_alloc();
    if (count && Source.Pixels) std::memcpy(Dest.Pixels, Source.Pixels, count * sizeof(float));
  }
  Dest.LUT = Source.LUT;
  Dest.BlackPoint = Source.BlackPoint;
  Dest.WhitePoint = Source.WhitePoint;
}

void CopyFITSHeader(const TChildForm* Source, TChildForm* Dest) {
  for (const std::string& card : Source->FITSHeader) Dest->FITSHeader.push_back(card);
}

TChildForm* CopyImageWindow(TChildForm* Source) {
  TChildForm* result = nullptr;
  try {
    result = new TChildForm;
    result->ImageDisplay->Zoom = Source->ImageDisplay->Zoom;
    result->ImageOverlay->Zoom = Source->ImageDisplay->Zoom;
    CopyFITSHeader(Source, result);
    CopyImageData(*Source->DataImage, *result->DataImage);
    ReportInternalError(0);
    return result;
  } catch (const std::bad_alloc&) {
    // No window is left without its picture; the user is told why.
    if (result) result->Discard();
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
    return nullptr;
  } catch (...) {
    // The half-made window stays; the caller gets none to write into.
    ReportInternalError(errCopyImageWindow);
    return nullptr;
  }
}

QImage GetRenderedBitmap(TChildForm* Child) {
  try {
    QImage picture = Child->ImageDisplay->Picture();
    if (picture.isNull()) throw std::bad_alloc();
    Child->ImageOverlay->DrawToBitmap(picture);
    ReportInternalError(0);
    return picture;
  } catch (...) {
    ReportInternalError(errGetRenderedBitmap);
    return {};
  }
}

void ConvertToGreyscale(const TDataImage& Image) {
  if (!Image.IsColour) {
    MessageBox::ShowWarning(QStringLiteral("The current image is already a greyscale image."));
    return;
  }
  std::unique_ptr<TDataImage> image = NewImage(Image.Width, Image.Height, 3, false);
  if (!image) return;
  TDataImage& grey = *image;
  const std::size_t count = Image.RGBPlane ? std::size_t(Image.PixelCount()) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    const TRGBPixel p = Image.RGBPlane[i];
    grey.Pixels[i] = float(std::nearbyint((long double)(p.Red + p.Green + p.Blue) / 3.0L));
  }
  TChildForm* child = WindowFor(std::move(image));
  child->SetCaption(QStringLiteral("Greyscale Conversion"));
  child->UpdateImage();
}

void SplitColourPlanes(const TDataImage& Image) {
  if (!Image.IsColour) {
    MessageBox::ShowWarning(
        QStringLiteral("The colour planes cannot be split because the current image is a greyscale image."));
    return;
  }
  // The caption before the first new window takes the active place.
  TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  const QString caption = active ? active->Caption() : QString();
  std::unique_ptr<TDataImage> images[3];
  for (auto& image : images)
    if (!(image = NewImage(Image.Width, Image.Height, 3, false))) return;
  float* red = images[0]->Pixels;
  float* green = images[1]->Pixels;
  float* blue = images[2]->Pixels;
  const std::size_t count = Image.RGBPlane ? std::size_t(Image.PixelCount()) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    red[i] = Image.RGBPlane[i].Red;
    green[i] = Image.RGBPlane[i].Green;
    blue[i] = Image.RGBPlane[i].Blue;
  }
  TChildForm* planes[3];
  const char* const suffixes[3] = {" - RED", " - GREEN", " - BLUE"};
  for (int c = 0; c < 3; ++c) {
    planes[c] = WindowFor(std::move(images[c]));
    planes[c]->SetCaption(caption + QString::fromLatin1(suffixes[c]));
  }
  for (TChildForm* p : planes) p->UpdateImage();
}

TChildForm* DuplicateImage(TChildForm* Source) {
  TChildForm* result = nullptr;
  try {
    result = new TChildForm;
    CopyFITSHeader(Source, result);
    CopyImageData(*Source->DataImage, *result->DataImage);
    for (const TAnnotation& a : Source->ImageOverlay->Annotations())
      result->ImageOverlay->AddAnnotation(a.X, a.Y, a.Text, a.Font, a.FontColour);
    for (const TMarkerRec& m : Source->ImageOverlay->Markers()) result->ImageOverlay->AddMarker(m.X, m.Y);
    result->SetZoom(Source->ImageDisplay->Zoom);
    result->ImageOverlay->MarkerColour = Source->ImageOverlay->MarkerColour;
    result->SetCaption(QStringLiteral("Copy of ") + Source->Caption());
    if (!result->UpdateImage()) return nullptr;  // it has said why
    ReportInternalError(0);
    return result;
  } catch (const std::bad_alloc&) {
    if (result) result->Discard();
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
    return nullptr;
  } catch (...) {
    ReportInternalError(errDuplicateImage);
    return nullptr;
  }
}

void PasteImage() {
  try {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage()) return;
    const QImage picture = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888);
    if (picture.isNull()) return;
    std::unique_ptr<TDataImage> pasted = NewImage(picture.width(), picture.height(), 0, true);
    if (!pasted) return;
    TDataImage& image = *pasted;
    for (int y = 0; y < picture.height(); ++y) {
      const uchar* line = picture.constScanLine(y);
      TRGBPixel* row = image.RGBPlane + std::size_t(y) * std::size_t(image.Width);
      for (int x = 0; x < picture.width(); ++x) row[x] = TRGBPixel{line[3 * x + 2], line[3 * x + 1], line[3 * x]};
    }
    // A pasted picture exists in no file, so it stays modified.
    TChildForm* child = WindowFor(std::move(pasted));
    child->SetCaption(QStringLiteral("Paste"));
    child->UpdateImage();
  } catch (const std::bad_alloc&) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
  } catch (...) {
  }
}
