#include "app/Child.h"

#include <QApplication>
#include <QCloseEvent>
#include <QStyle>
#include <QMdiArea>
#include <QScrollArea>
#include <QScrollBar>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <new>

#include "analysis/PhotometryGridForm.h"
#include "app/Accessibility.h"
#include "app/Main.h"
#include "app/StoredValues.h"
#include "engine/Errors.h"
#include "engine/Measure.h"
#include "engine/photometry.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"
#include "platform/Registry.h"

TQuickZoomTarget* QuickZoomTarget = nullptr;
const char* const ApplicationKey = "Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application";

TChildForm::TChildForm(QWidget* Parent) : QMdiSubWindow(Parent), DataImage(std::make_unique<TDataImage>()) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("ChildForm"));
  setWindowTitle(QStringLiteral("Untitled"));
  // Without a program icon the frame would show the toolkit's logo.
  if (QApplication::windowIcon().isNull()) setWindowIcon(style()->standardIcon(QStyle::SP_FileIcon));

  ScrollBox = new QScrollArea;
  ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
  ScrollBox->setFrameShape(QFrame::NoFrame);
  ScrollBox->setWidgetResizable(false);
  ScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Accessibility::NameScrollBars(ScrollBox, QStringLiteral("Image"));
  ImageDisplay = new TDisplay;
  ImageDisplay->setObjectName(QStringLiteral("ImageDisplay"));
  ImageOverlay = new TImageOverlay(ImageDisplay);
  ImageOverlay->setObjectName(QStringLiteral("ImageOverlay"));
  ImageOverlay->move(0, 0);
  ScrollBox->setWidget(ImageDisplay);
  setWidget(ScrollBox);

  ImageDisplay->OnRedraw = [this] { ImageDisplayRedraw(); };
  connect(this, &QWidget::windowTitleChanged, this, [this] { NamePicture(); });
  ImageOverlay->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers s, int x, int y) {
    ImageOverlayMouseDown(b, s, x, y);
  };
  ImageOverlay->OnMouseMove = [this](Qt::KeyboardModifiers s, int x, int y) { ImageOverlayMouseMove(s, x, y); };

  connect(this, &QMdiSubWindow::windowStateChanged, this, [this](Qt::WindowStates, Qt::WindowStates State) {
    if (FSizeOnRestore && !(State & (Qt::WindowMaximized | Qt::WindowMinimized))) {
      FSizeOnRestore = false;
      SizeToImage();
    }
  });
  if (MainForm) MainForm->ImageOpened();
  Sized = false;
  if (MainForm) {
    ImageOverlay->ROIColour = MainForm->ROIColour;
    ImageOverlay->MarkerColour = MainForm->MkrColour;
  }
  CompMagnitude = -99.0;
  CompStarADU = 0.0;
  CompZeroTerm = 0.0;
  ReadPhotometrySettings();

  if (MainForm) {
    // A window opened while the active one is maximised is maximised too, as
    // in every multiple-document program.
    QMdiSubWindow* active = MainForm->MDIArea()->currentSubWindow();
    const bool maximised = active && active->isMaximized();
    MainForm->MDIArea()->addSubWindow(this);
    if (maximised) showMaximized();
    else show();
    MainForm->MDIArea()->setActiveSubWindow(this);
  }
}

TChildForm::~TChildForm() {
  // The frame still reports state changes while it is taken down.
  disconnect(this, &QMdiSubWindow::windowStateChanged, this, nullptr);
  if (DataImage) DataImage->FreeData();
}

void TChildForm::ReadPhotometrySettings() {
  // Each value on its own: one that cannot be used takes its default alone.
  const StoredValues::TPhotometryValues v = StoredValues::ReadPhotometry();
  ApertureRadius = v.Aperture;
  AnnulusInner = v.AnnulusInner;
  AnnulusOuter = v.AnnulusOuter;
  ZeroPoint = v.ZeroPoint;
  IntegrationTime = v.IntegrationTime;
}

int TChildForm::ScreenToImage(int C, float Zoom) {
  const long double v = 100.0L / (long double)Zoom * C;
  if (!std::isfinite(v)) return 0;
  return int(std::trunc(v));
}

bool TChildForm::UpdateImage() {
  if (FDiscarded) return false;
  if (!Sized) {
    // The first draw already shows the levels the window keeps: the quick
    // linear scale window sets them from the histogram before the render,
    // rather than on the next activation.
    FillHistogramCache();
    if (MainForm) MainForm->QuickLinearScaleFirstDraw(this);
  }
  try {
    DataImage->UpdateBitmap();
    if (!ImageDisplay->SetBitmap(DataImage->Bitmap)) throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
    if (!Sized) Discard();
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
    return false;
  }
  ImageDisplay->Redraw();
  ImageOverlay->resize(ImageDisplay->size());
  NamePicture();
  if (MainForm) MainForm->SetPanelText(1, QStringLiteral("%1 x %2").arg(DataImage->Width).arg(DataImage->Height));
  if (!Sized) SizeToImage();
  Sized = true;
  return true;
}

void TChildForm::NamePicture() {
  ImageDisplay->setAccessibleName(
      QStringLiteral("%1, %2 x %3").arg(Caption()).arg(DataImage->Width).arg(DataImage->Height));
}

void TChildForm::Discard() {
  if (FDiscarded) return;
  FDiscarded = true;
  SkipSavePrompt = true;
  // Closing takes the window out of the main window's list at once; it is
  // deleted when the event loop next runs.
  close();
}

void TChildForm::SetZoom(float Zoom) {
  ImageDisplay->Zoom = Zoom;
  ImageOverlay->Zoom = Zoom;
  UpdateImage();
  // The window follows the picture both ways (within the frame), so zooming
  // back in after zooming out enlarges it again.
  SizeToImage();
}

void TChildForm::SizeToImage() {
  // The client area takes the display's size, then the window is fitted into
  // the main window's work area.
  if (isMaximized()) {
    // It keeps filling the area, and takes its picture's size once restored.
    FSizeOnRestore = true;
    return;
  }
  const QSize frame = size() - ScrollBox->size();
  resize(ImageDisplay->size() + frame);
  if (!MainForm) return;
  const QSize available = MainForm->MDIArea()->viewport()->size() - QSize(4, 4);
  if (available.width() <= width()) {
    move(0, 0);
    resize(available.width(), height());
  }
  if (available.height() <= height()) {
    move(0, 0);
    resize(width(), available.height());
  }
}

bool TChildForm::GetSelection(int& Left, int& Top, int& Right, int& Bottom) const {
  Left = ScreenToImage(ImageOverlay->ROI[0]);
  Top = ScreenToImage(ImageOverlay->ROI[1]);
  Right = ScreenToImage(ImageOverlay->ROI[2]);
  Bottom = ScreenToImage(ImageOverlay->ROI[3]);
  if (Left > Right) std::swap(Left, Right);
  if (Top > Bottom) std::swap(Top, Bottom);
  auto clamp = [](int& v, int last) {
    if (v > last) v = last;
    if (v < 0) v = 0;
  };
  const int lastX = DataImage->Width - 1, lastY = DataImage->Height - 1;
  clamp(Left, lastX);
  clamp(Right, lastX);
  clamp(Top, lastY);
  clamp(Bottom, lastY);
  return !(Left == Right && Top == Bottom);
}

void TChildForm::ImageDisplayRedraw() { FillHistogramCache(); }

void TChildForm::FillHistogramCache() {
  // Filled once, at the first draw after creation.
  if (!HistogramDirty) return;
  const int right = DataImage->Width - 1, bottom = DataImage->Height - 1;
  if (DataImage->IsColour)
    ColCalcRegionHistogram(0, 0, right, bottom, *DataImage, ColourHistogram);
  else
    CalcRegionHistogram(0, 0, right, bottom, *DataImage, GreyHistogram);
  HistogramDirty = false;
}

int TChildForm::QuickZoomSide(float ZoomLevel) {
  if (ZoomLevel >= 1600.0f) return 8;
  if (ZoomLevel >= 800.0f) return 16;
  if (ZoomLevel >= 400.0f) return 32;
  if (ZoomLevel >= 200.0f) return 64;
  return 128;
}

QImage TChildForm::QuickZoomSquare(int X, int Y, int Side) const {
  const int h = Side / 2;
  // The low clamp first, then the high one; what lies outside the picture is black.
  X = std::max(X, h);
  X = std::min(X, ImageDisplay->width() - h);
  Y = std::max(Y, h);
  Y = std::min(Y, ImageDisplay->height() - h);
  QImage square(127, 127, QImage::Format_RGB888);
  square.fill(Qt::black);
  ImageDisplay->DrawZoomed(square, QRect(0, 0, 127, 127), QRect(X - h, Y - h, 2 * h, 2 * h));
  return square;
}

void TChildForm::ImageOverlayMouseMove(Qt::KeyboardModifiers, int X, int Y) {
  try {
    if (!MainForm || !DataImage->HasPlanes()) return;
    int x = ScreenToImage(X), y = ScreenToImage(Y);
    x = std::min(x, DataImage->Width - 1);
    x = std::max(x, 0);
    y = std::min(y, DataImage->Height - 1);
    y = std::max(y, 0);
    MainForm->SetPanelText(2, QStringLiteral("X:%1, Y:%2").arg(x).arg(y));
    if (DataImage->IsColour) {
      TRGBPixel p;
      DataImage->GetRGB(x, y, p);
      MainForm->SetPanelText(3, QStringLiteral("R:%1 G:%2 B:%3").arg(p.Red).arg(p.Green).arg(p.Blue));
    } else {
      MainForm->SetPanelText(
          3, QStringLiteral("I:") + QString::fromStdString(NumFormat::FormatFloat("0.000", DataImage->GetPixel(x, y))));
    }
    if (QuickZoomTarget && QuickZoomTarget->IsShowing())
      QuickZoomTarget->ShowSquare(QuickZoomSquare(X, Y, QuickZoomSide(QuickZoomTarget->ZoomLevel())));
  } catch (...) {
  }
}

void TChildForm::ImageOverlayMouseDown(Qt::MouseButton, Qt::KeyboardModifiers Shift, int X, int Y) {
  const float x = float(ScreenToImage(X)), y = float(ScreenToImage(Y));
  if (Shift & Qt::ShiftModifier) ImageOverlay->AddMarker(x, y);
  if (Shift & Qt::ControlModifier) {
    if (DataImage->IsColour) return;  // no Alt step either
    CentroidClick(x, y);
  }
  if (Shift & Qt::AltModifier) ApertureClick(x, y);
}

void TChildForm::CentroidClick(float X, float Y) {
  // A search that finds no star leaves (0, 0), which is no place for a marker.
  if (MeasureStarCentroid(X, Y, 10, *this)) ImageOverlay->AddMarker(X, Y);
}

void TChildForm::ApertureClick(float X, float Y) {
  if (DataImage->IsColour) return;
  const int r = AnnulusOuter;
  if (X - r < 0 || X + r >= DataImage->Width || Y - r < 0 || Y + r >= DataImage->Height) return;
  if (MeasureStarCentroid(X, Y, 10, *this)) ImageOverlay->AddAperture(X, Y, ApertureRadius, AnnulusInner, AnnulusOuter);
}

namespace {
void ShowResults() {
  if (frmPhotometryGrid) frmPhotometryGrid->show();
}
void AddPhotometryRow(const QString& Caption, int Index, double Magnitude, const TApertureRec& Ap, double Ref,
                      double Flux, double Sky) {
  if (frmPhotometryGrid) frmPhotometryGrid->AddResult(Caption, Index, Magnitude, Ap.X, Ap.Y, Ref, Flux, Sky);
}
}  // namespace

void TChildForm::DifferentialPhotometry() {
  if (CompMagnitude == NoMagnitude) {
    MessageBox::ShowWarning(QStringLiteral("No comparison star is set.  A comparison star must be set before doing "
                                           "differential photometry."));
    return;
  }
  if (ApertureCount() == 0) return;
  // An index left over from apertures that are gone would measure nothing.
  if (CompAperture < 0 || CompAperture >= ApertureCount()) {
    MessageBox::ShowWarning(QStringLiteral("The comparison star's aperture no longer exists.  Set the comparison star "
                                           "again."));
    return;
  }
  double status = 0.0, sky = 0.0;
  CompStarADU = 0.0;
  CompZeroTerm = 0.0;
  MeasureAperture(CompAperture, CompStarADU, CompZeroTerm, sky, status, *this);
  if (status == FailedMeasure) {
    MessageBox::ShowWarning(QStringLiteral("The comparison star in aperture %1 could not be measured.  The aperture "
                                           "and its annulus must lie wholly within the image.")
                                .arg(CompAperture));
    return;
  }
  for (int i = 0; i < ApertureCount(); ++i) {
    double flux = 0.0, zero = 0.0;
    status = 0.0;
    sky = 0.0;  // a failed aperture shows no sky
    MeasureAperture(i, flux, zero, sky, status, *this);
    double magnitude;
    if (status == FailedMeasure) {
      magnitude = FailedMeasure;
      flux = 0.0;
      zero = 0.0;
    } else {
      // A flux at or below zero, or a comparison flux at or below zero (whose
      // sign would cancel a negative flux's), gives the failure mark.
      const bool measurable = flux > 0.0 && (long double)CompStarADU - CompZeroTerm > 0;
      magnitude = measurable ? CalcMagnitude(CompMagnitude, CompStarADU, CompZeroTerm, flux, zero) : FailedMeasure;
    }
    AddPhotometryRow(Caption(), i, magnitude, Aperture(i), CompMagnitude, flux, sky);
  }
  ShowResults();
}

void TChildForm::AperturePhotometry() {
  try {
    if (ApertureCount() == 0) return;
    for (int i = 0; i < ApertureCount(); ++i) {
      double flux = 0.0, zero = 0.0, sky = 0.0, status = 0.0;
      MeasureAperture(i, flux, zero, sky, status, *this);
      double magnitude;
      if (status == FailedMeasure) {
        magnitude = FailedMeasure;
        flux = 0.0;
        zero = 0.0;
      } else {
        magnitude = InstrumentalMagnitude(flux, zero, ZeroPoint, IntegrationTime);
        // No magnitude for a flux at or below zero (or no time): the failure mark.
        if (magnitude == NoMagnitude) magnitude = FailedMeasure;
      }
      AddPhotometryRow(Caption(), i, magnitude, Aperture(i), magnitude, flux, sky);
    }
    ShowResults();
  } catch (...) {
  }
}

void TChildForm::FormActivate() {
  if (!MainForm) return;
  MainForm->QuickLinearScaleActivated(this);
  MainForm->SetPanelText(1, QStringLiteral("%1 x %2").arg(DataImage->Width).arg(DataImage->Height));
}

TChildForm::TSaveAnswer TChildForm::AskToSave() {
  const int answer = MessageBox::MessageDlg(
      QStringLiteral("Do you want to save the changes you made to \"%1\"?").arg(Caption()),
      TMsgDlgType::mtConfirmation, mbYesNoCancel, this);
  if (answer == mrCancel) return TSaveAnswer::Cancel;
  if (answer != mrYes) return TSaveAnswer::Discard;
  // Only a file actually written lets the window go. The window being saved
  // is the active one, as the picture writers expect.
  if (MainForm) MainForm->MDIArea()->setActiveSubWindow(this);
  return MainForm && MainForm->SaveWindowAs(this) ? TSaveAnswer::Saved : TSaveAnswer::Cancel;
}

void TChildForm::closeEvent(QCloseEvent* Event) {
  if (!SkipSavePrompt && Modified && MainForm && MainForm->PromptsForSave() && AskToSave() == TSaveAnswer::Cancel) {
    Event->ignore();
    return;
  }
  if (MainForm) MainForm->ImageClosed();
  QMdiSubWindow::closeEvent(Event);
}
