#pragma once
// The document window of one image: the image, its zoomed display with the
// overlay on top, the FITS header cards, the histogram cache and the
// photometry settings of the window.
#include <QImage>
#include <QMdiSubWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Display.h"
#include "app/ImageOverlay.h"
#include "engine/DataImage.h"
#include "engine/ColStatistics.h"
#include "engine/MeasureSource.h"
#include "engine/Statistics.h"

class QScrollArea;

// The quick zoom window as the image windows see it; it registers itself
// while it exists.
class TQuickZoomTarget {
 public:
  virtual ~TQuickZoomTarget() = default;
  virtual bool IsShowing() const = 0;
  virtual float ZoomLevel() const = 0;  // 100, 200, 400, 800 or 1600
  // The 127 x 127 picture to show at (0, 0) of its display.
  virtual void ShowSquare(const QImage& Square) = 0;
};
extern TQuickZoomTarget* QuickZoomTarget;

// The key of the program's settings under HKEY_CURRENT_USER.
extern const char* const ApplicationKey;

class TChildForm : public QMdiSubWindow, public IMeasureSource {
  Q_OBJECT
 public:
  // Creates the window inside the main window (when there is one), shown and active.
  explicit TChildForm(QWidget* Parent = nullptr);
  ~TChildForm() override;

  QScrollArea* ScrollBox = nullptr;
  TDisplay* ImageDisplay = nullptr;
  TImageOverlay* ImageOverlay = nullptr;

  bool Sized = false;
  std::unique_ptr<TDataImage> DataImage;
  bool Modified = true;
  // Set while a close-all that has already asked about this window closes it.
  bool SkipSavePrompt = false;
  std::vector<std::string> FITSHeader;  // 80-character cards
  TRegionHistogram GreyHistogram{};
  TColRegionHistogram ColourHistogram{};
  bool HistogramDirty = true;
  double CompMagnitude = -99.0;
  double CompStarADU = 0.0;
  double CompZeroTerm = 0.0;
  int CompAperture = 0;
  double ZeroPoint = 20.0;
  double IntegrationTime = 60.0;
  int ApertureRadius = 8;
  int AnnulusInner = 13;
  int AnnulusOuter = 18;

  QString Caption() const { return windowTitle(); }
  void SetCaption(const QString& Caption) { setWindowTitle(Caption); }

  // Renders the image, sizes the display and the overlay, shows the size.
  // When memory runs out it says so; a window that never had its picture is
  // then discarded, one that had keeps it. False after such a failure.
  bool UpdateImage();
  // Closes the window without asking to save it (it holds nothing yet).
  void Discard();
  void SetZoom(float Zoom);
  void SizeToImage();
  // The save prompt of closing: Cancel also when the chosen save failed or
  // was cancelled, so nothing unsaved is lost.
  enum class TSaveAnswer { Saved, Discard, Cancel };
  TSaveAnswer AskToSave();
  // The region of interest in image pixels, ordered and clamped; false for a
  // region of no size (a click without a drag).
  bool GetSelection(int& Left, int& Top, int& Right, int& Bottom) const override;
  // What the measuring routines read: the image and the overlay's apertures.
  const TDataImage& Image() const override { return *DataImage; }
  int ApertureCount() const override { return int(ImageOverlay->Apertures().size()); }
  TApertureRec Aperture(int Index) const override { return ImageOverlay->Apertures().at(std::size_t(Index)); }
  // An overlay coordinate as an image coordinate: Trunc(100 / zoom * C).
  static int ScreenToImage(int C, float Zoom);
  int ScreenToImage(int C) const { return ScreenToImage(C, ImageDisplay->Zoom); }

  // The 127 x 127 quick zoom picture around display point (X, Y) for a
  // square of Side display pixels.
  QImage QuickZoomSquare(int X, int Y, int Side) const;
  static int QuickZoomSide(float ZoomLevel);

  // Measures every aperture against the comparison star (differential) or
  // with the zero point and integration time (absolute), one row each in the
  // photometry results window.
  void DifferentialPhotometry();
  void AperturePhotometry();

  void FormActivate();
  void ImageDisplayRedraw();
  // The histogram of the whole image, once; later changes leave it as it is.
  void FillHistogramCache();
  void ImageOverlayMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
  void ImageOverlayMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  bool FSizeOnRestore = false;
  bool FDiscarded = false;
  void ReadPhotometrySettings();
  // The picture is named after the image for assistive tools: caption and size.
  void NamePicture();
  // Ctrl-click: a marker at the star's centroid; Alt-click: an aperture on it.
  void CentroidClick(float X, float Y);
  void ApertureClick(float X, float Y);
};
