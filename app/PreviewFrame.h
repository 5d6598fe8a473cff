#pragma once
// The preview of the processing dialogs: a source thumbnail of the active
// image that an operation reads, and a result thumbnail that it writes and
// the frame shows. The thumbnails keep a preview cheap on any image size.
#include <QWidget>
#include <memory>

#include "engine/DataImage.h"

class QGroupBox;
class QScrollArea;
class QToolButton;
class TDisplay;

class TfmePreview : public QWidget {
  Q_OBJECT
 public:
  explicit TfmePreview(QWidget* Parent = nullptr);
  ~TfmePreview() override;

  QGroupBox* grpPreview = nullptr;  // "Preview - 100%"
  QToolButton* btnZoomIn = nullptr;
  QToolButton* btnZoomOut = nullptr;
  QScrollArea* ScrollBox = nullptr;
  TDisplay* PreviewDisplay = nullptr;

  // Owned between InitPreview and FreeImages; null otherwise.
  std::unique_ptr<TDataImage> ResultImage;
  std::unique_ptr<TDataImage> SourceImage;

  // Builds both thumbnails of Image (shorter side 128), each holding the
  // image's range, and shows the result one. Failures leave the frame without
  // thumbnails.
  void InitPreview(const TDataImage& Image);
  // Renders the result thumbnail into the display.
  void Refresh();
  void FreeImages();
  bool HasImages() const { return ResultImage && SourceImage; }

  // Thumbnail sides for an image of W x H: the shorter side 128, the other
  // Round(long / short * 128) (halves to even). Very elongated images have
  // their long side limited to ThumbnailLimit, keeping the proportion.
  static void ThumbnailSize(int W, int H, int& TW, int& TH);
  static constexpr int ThumbnailLimit = 2048;

  // A thumbnail samples its image and misses most of a star field's peaks;
  // the operations that scale by the image's maximum would then scale the
  // preview by another one, and the preview's range would not be the
  // result's. The grey Thumbnail is held within the image's range, and the
  // image's first darkest and brightest pixels go where it samples their
  // places, so that it spans that range.
  static void KeepRange(TDataImage& Thumbnail, const TDataImage& Image);

  void btnZoomInClick();
  void btnZoomOutClick();

 private:
  void ShowZoom();
};
