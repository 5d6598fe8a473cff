#include "app/Utilities.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "app/Child.h"
#include "app/Main.h"
#include "engine/Errors.h"
#include "platform/MessageBox.h"

namespace {
void AllocateOrThrow(TDataImage& Image, int Width, int Height, std::uint8_t DataType, bool Colour) {
  if (!Image.Allocate(Width, Height, DataType, Colour)) throw std::runtime_error("Out of memory");
}
}  // namespace

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
  try {
    auto* result = new TChildForm;
    result->ImageDisplay->Zoom = Source->ImageDisplay->Zoom;
    result->ImageOverlay->Zoom = Source->ImageDisplay->Zoom;
    CopyFITSHeader(Source, result);
    CopyImageData(*Source->DataImage, *result->DataImage);
    ReportInternalError(0);
    return result;
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
  auto* child = new TChildForm;
  TDataImage& grey = *child->DataImage;
  AllocateOrThrow(grey, Image.Width, Image.Height, 3, false);
  const std::size_t count = std::size_t(Image.PixelCount());
  for (std::size_t i = 0; i < count; ++i) {
    const TRGBPixel p = Image.RGBPlane[i];
    grey.Pixels[i] = float(std::nearbyint((long double)(p.Red + p.Green + p.Blue) / 3.0L));
  }
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
  TChildForm* planes[3];
  const char* const suffixes[3] = {" - RED", " - GREEN", " - BLUE"};
  for (int c = 0; c < 3; ++c) {
    planes[c] = new TChildForm;
    planes[c]->SetCaption(caption + QString::fromLatin1(suffixes[c]));
    AllocateOrThrow(*planes[c]->DataImage, Image.Width, Image.Height, 3, false);
  }
  float* red = planes[0]->DataImage->Pixels;
  float* green = planes[1]->DataImage->Pixels;
  float* blue = planes[2]->DataImage->Pixels;
  const std::size_t count = std::size_t(Image.PixelCount());
  for (std::size_t i = 0; i < count; ++i) {
    red[i] = Image.RGBPlane[i].Red;
    green[i] = Image.RGBPlane[i].Green;
    blue[i] = Image.RGBPlane[i].Blue;
  }
  for (TChildForm* p : planes) p->UpdateImage();
}

TChildForm* DuplicateImage(TChildForm* Source) {
  try {
    auto* result = new TChildForm;
    CopyFITSHeader(Source, result);
    CopyImageData(*Source->DataImage, *result->DataImage);
    for (const TAnnotation& a : Source->ImageOverlay->Annotations())
      result->ImageOverlay->AddAnnotation(a.X, a.Y, a.Text, a.Font, a.FontColour);
    for (const TMarkerRec& m : Source->ImageOverlay->Markers()) result->ImageOverlay->AddMarker(m.X, m.Y);
    result->SetZoom(Source->ImageDisplay->Zoom);
    result->ImageOverlay->MarkerColour = Source->ImageOverlay->MarkerColour;
    result->SetCaption(QStringLiteral("Copy of ") + Source->Caption());
    result->UpdateImage();
    ReportInternalError(0);
    return result;
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
    // A pasted picture exists in no file, so it stays modified.
    auto* child = new TChildForm;
    TDataImage& image = *child->DataImage;
    AllocateOrThrow(image, picture.width(), picture.height(), 0, true);
    for (int y = 0; y < picture.height(); ++y) {
      const uchar* line = picture.constScanLine(y);
      TRGBPixel* row = image.RGBPlane + std::size_t(y) * std::size_t(image.Width);
      for (int x = 0; x < picture.width(); ++x) row[x] = TRGBPixel{line[3 * x + 2], line[3 * x + 1], line[3 * x]};
    }
    child->SetCaption(QStringLiteral("Paste"));
    child->UpdateImage();
  } catch (...) {
  }
}
