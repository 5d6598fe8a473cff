#include "app/PreviewFrame.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <new>

#include "app/Accessibility.h"
#include "app/Display.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"
#include "platform/NumFormat.h"

TfmePreview::TfmePreview(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("fmePreview"));
  setAccessibleName(QStringLiteral("Preview"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  grpPreview = new QGroupBox(QStringLiteral("Preview - 100%"), this);
  grpPreview->setObjectName(QStringLiteral("grpPreview"));
  outer->addWidget(grpPreview);
  auto* box = new QVBoxLayout(grpPreview);
  auto* buttons = new QHBoxLayout;
  btnZoomIn = new QToolButton(grpPreview);
  btnZoomIn->setObjectName(QStringLiteral("btnZoomIn"));
  btnZoomIn->setText(QStringLiteral("+"));
  btnZoomIn->setToolTip(QStringLiteral("Zoom In"));
  btnZoomIn->setAccessibleName(QStringLiteral("Zoom In"));
  btnZoomOut = new QToolButton(grpPreview);
  btnZoomOut->setObjectName(QStringLiteral("btnZoomOut"));
  btnZoomOut->setText(QStringLiteral("-"));
  btnZoomOut->setToolTip(QStringLiteral("Zoom Out"));
  btnZoomOut->setAccessibleName(QStringLiteral("Zoom Out"));
  buttons->addWidget(btnZoomIn);
  buttons->addWidget(btnZoomOut);
  buttons->addStretch(1);
  box->addLayout(buttons);
  ScrollBox = new QScrollArea(grpPreview);
  ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
  ScrollBox->setAccessibleName(QStringLiteral("Preview picture"));
  Accessibility::NameScrollBars(ScrollBox, QStringLiteral("Preview"));
  ScrollBox->setFixedSize(137, 137);
  PreviewDisplay = new TDisplay;
  PreviewDisplay->setObjectName(QStringLiteral("PreviewDisplay"));
  PreviewDisplay->setAccessibleName(QStringLiteral("Result preview"));
  ScrollBox->setWidget(PreviewDisplay);
  box->addWidget(ScrollBox);
  connect(btnZoomIn, &QToolButton::clicked, this, [this] { btnZoomInClick(); });
  connect(btnZoomOut, &QToolButton::clicked, this, [this] { btnZoomOutClick(); });
}

TfmePreview::~TfmePreview() = default;

void TfmePreview::ThumbnailSize(int W, int H, int& TW, int& TH) {
  TW = TH = 128;
  if (W <= 0 || H <= 0 || W == H) return;
  // Round(H / W * 128) in that order, halves to even.
  const double ratio = W > H ? double(W) / double(H) : double(H) / double(W);
  double longSide = std::nearbyint(ratio * 128.0);
  double shortSide = 128.0;
  if (longSide > ThumbnailLimit) {
    // Same proportion, long side limited, so a 1 x 65536 image does not
    // make gigabyte thumbnails.
    shortSide = std::max(1.0, std::nearbyint(128.0 * ThumbnailLimit / longSide));
    longSide = ThumbnailLimit;
  }
  if (W > H) {
    TW = int(longSide);
    TH = int(shortSide);
  } else {
    TW = int(shortSide);
    TH = int(longSide);
  }
}

void TfmePreview::InitPreview(const TDataImage& Image) {
  FreeImages();
  try {
    ResultImage = std::make_unique<TDataImage>();
    SourceImage = std::make_unique<TDataImage>();
    int tw = 0, th = 0;
    ThumbnailSize(Image.Width, Image.Height, tw, th);
    // The resampling routines allocate their destinations themselves.
    if (Image.IsColour) {
      ColResample(tw, th, *SourceImage, Image);
      ColResample(tw, th, *ResultImage, Image);
    } else {
      Resample(tw, th, *SourceImage, Image);
      Resample(tw, th, *ResultImage, Image);
    }
    if (!SourceImage->HasPlanes() || !ResultImage->HasPlanes()) throw std::bad_alloc();
    SourceImage->AutoScale();
    ResultImage->BlackPoint = SourceImage->BlackPoint;
    ResultImage->WhitePoint = SourceImage->WhitePoint;
    Refresh();
  } catch (...) {
    FreeImages();
  }
}

void TfmePreview::Refresh() {
  try {
    if (ResultImage && ResultImage->HasPlanes()) {
      ResultImage->UpdateBitmap();
      PreviewDisplay->SetBitmap(ResultImage->Bitmap);
    }
    PreviewDisplay->Redraw();
    update();
  } catch (...) {
  }
}

void TfmePreview::FreeImages() {
  ResultImage.reset();
  SourceImage.reset();
}

void TfmePreview::btnZoomInClick() {
  if (PreviewDisplay->Zoom < 400.0f) PreviewDisplay->Zoom += 100.0f;
  ShowZoom();
}

void TfmePreview::btnZoomOutClick() {
  if (PreviewDisplay->Zoom > 100.0f) PreviewDisplay->Zoom -= 100.0f;
  ShowZoom();
}

void TfmePreview::ShowZoom() {
  grpPreview->setTitle(QStringLiteral("Preview - ") + QString::fromStdString(NumFormat::FloatToStr(PreviewDisplay->Zoom)) +
                       QStringLiteral("%"));
  Refresh();
}
