#include "app/PreviewFrame.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "app/Accessibility.h"
#include "app/Display.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"
#include "engine/Parallel.h"
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

void TfmePreview::KeepRange(TDataImage& Thumbnail, const TDataImage& Image) {
  const std::int64_t n = Image.Pixels ? Image.PixelCount() : 0;
  if (Image.IsColour || !Thumbnail.Pixels || n == 0 || Thumbnail.PixelCount() == 0) return;
  // The first darkest and brightest pixels, in rows of 4096 pixels or more.
  const std::int64_t part = 4096;
  const std::int64_t parts = (n + part - 1) / part;
  std::vector<std::int64_t> lows(static_cast<std::size_t>(parts)), highs(static_cast<std::size_t>(parts));
  const float* p = Image.Pixels;
  Parallel::For(
      parts,
      [&](std::int64_t b, std::int64_t e) {
        for (std::int64_t k = b; k < e; ++k) {
          std::int64_t lo = k * part, hi = lo;
          for (std::int64_t i = lo + 1, end = std::min(n, (k + 1) * part); i < end; ++i) {
            if (p[i] < p[lo]) lo = i;
            if (p[i] > p[hi]) hi = i;
          }
          lows[std::size_t(k)] = lo;
          highs[std::size_t(k)] = hi;
        }
      },
      16);
  std::int64_t low = lows[0], high = highs[0];
  for (std::int64_t k = 1; k < parts; ++k) {
    if (p[lows[std::size_t(k)]] < p[low]) low = lows[std::size_t(k)];
    if (p[highs[std::size_t(k)]] > p[high]) high = highs[std::size_t(k)];
  }
  // Samples the resampling blends with the 0 it takes beyond the image's
  // edge are held within the image's range.
  const float lowest = p[low], highest = p[high];
  for (std::int64_t i = 0, m = Thumbnail.PixelCount(); i < m; ++i)
    Thumbnail.Pixels[i] = std::clamp(Thumbnail.Pixels[i], lowest, highest);
  // Each goes where the thumbnail samples its place; the brightest wins a
  // place both share.
  auto place = [&](std::int64_t i) {
    const std::int64_t x = i % Image.Width, y = i / Image.Width;
    const std::int64_t tx = std::min<std::int64_t>(Thumbnail.Width - 1, x * Thumbnail.Width / Image.Width);
    const std::int64_t ty = std::min<std::int64_t>(Thumbnail.Height - 1, y * Thumbnail.Height / Image.Height);
    return ty * Thumbnail.Width + tx;
  };
  Thumbnail.Pixels[place(low)] = p[low];
  Thumbnail.Pixels[place(high)] = p[high];
  Thumbnail.CalcMaxValue();
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
    KeepRange(*SourceImage, Image);
    KeepRange(*ResultImage, Image);
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
