#include "dialogs/FFTCorrelationForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "engine/Checked.h"
#include "engine/FFT.h"
#include "engine/Errors.h"

TfrmFFTCorrelation* frmFFTCorrelation = nullptr;

int PeakShift(int P, int Side) { return P > Side / 2 ? Side - P : -P; }

void CorrelationShift(const TDataImage& Reference, const TDataImage& Target, int& DX, int& DY) {
  int ox = 0, oy = 0, pw = 0, ph = 0;
  std::unique_ptr<TDataImage> pr = PadToPowerOfTwo(Reference, ox, oy, pw, ph);
  if (!pr || !pr->AllocateComplex(pw, ph)) throw std::bad_alloc();
  if (!ForwardRealFFT(*pr, nullptr)) throw std::runtime_error("the transform failed");
  std::unique_ptr<TDataImage> pt = PadToPowerOfTwo(Target, ox, oy, pw, ph);
  if (!pt || !pt->AllocateComplex(pw, ph)) throw std::bad_alloc();
  if (!ForwardRealFFT(*pt, nullptr)) throw std::runtime_error("the transform failed");

  TDataImage c;
  if (!c.Allocate(pw, ph, 3, false) || !c.AllocateComplex(pw, ph)) throw std::bad_alloc();
  // Both spectra are conjugate symmetric, and so are N and M below: the value
  // N / M at the mirror of a frequency is conj(N) / M. Only the real part of
  // the inverse is read, which is the inverse of the symmetric part
  // (N / M + N / conj(M)) / 2 = N Mr / d, so the half spectrum carries it.
  const int half = HalfSpectrumWidth(pw);
  for (int y = 0; y < ph; ++y) {
    const std::size_t row = std::size_t(y) * std::size_t(pw);
    const TComplex* a = pr->ComplexPlane + row;
    const TComplex* b = pt->ComplexPlane + row;
    TComplex* out = c.ComplexPlane + row;
    for (int x = 0; x < half; ++x) {
      const long double ar = a[x].Re, ai = a[x].Im, br = b[x].Re, bi = b[x].Im;
      const float nr = Checked::ToSingle(ar * br + ai * bi);
      const float ni = Checked::ToSingle(ai * br - ar * bi);
      const float mr = Checked::ToSingle(std::fabs(ar * br - ai * bi));
      const float mi = Checked::ToSingle(std::fabs(ar * bi + ai * br));
      // The squared modulus overflows a Single for ordinary 16-bit frames; the
      // quotient does not depend on the scale, so it is formed in extended.
      const long double d = (long double)mr * mr + (long double)mi * mi;
      if (d == 0.0L) {
        out[x] = TComplex{};
      } else {
        out[x] = TComplex{Checked::ToSingle((long double)nr * mr / d), Checked::ToSingle((long double)ni * mr / d)};
      }
    }
  }
  pt.reset();
  pr.reset();
  if (!InverseRealFFT(c, nullptr, nullptr)) throw std::runtime_error("the transform failed");

  float best = 0.0f;
  int px = pw, py = ph;
  for (int y = 0; y < ph; ++y) {
    const float* row = c.Pixels + std::size_t(y) * std::size_t(pw);
    for (int x = 0; x < pw; ++x)
      if (row[x] > best) {
        best = row[x];
        px = x;
        py = y;
      }
  }
  DX = PeakShift(px, pw);
  DY = PeakShift(py, ph);
}

void ShiftedCopy(const TDataImage& Target, int DX, int DY, TDataImage& Result) {
  const int w = Target.Width, h = Target.Height;
  if (!Result.Allocate(w, h, 3, false) || !Result.Pixels) throw std::bad_alloc();
  for (int y = 0; y < h; ++y) {
    float* row = Result.Pixels + std::size_t(y) * std::size_t(w);
    const long long sy = (long long)y + DY;
    for (int x = 0; x < w; ++x) {
      const long long sx = (long long)x + DX;
      row[x] = (sx >= 0 && sx < w && sy >= 0 && sy < h) ? Target.Pixels[std::size_t(sy) * w + std::size_t(sx)] : 0.0f;
    }
  }
}

TfrmFFTCorrelation::TfrmFFTCorrelation(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmFFTCorrelation"));
  setWindowTitle(QStringLiteral("Image Registration - FFT Cross Correlation"));
  setAccessibleName(windowTitle());
  auto* images = new QGroupBox(QStringLiteral("Images"), this);
  auto* grid = new QGridLayout(images);
  cmbImageA = new QComboBox(images);
  cmbImageA->setObjectName(QStringLiteral("cmbImageA"));
  cmbImageA->setAccessibleName(QStringLiteral("Reference image"));
  lstImageB = new QListWidget(images);
  lstImageB->setObjectName(QStringLiteral("lstImageB"));
  lstImageB->setAccessibleName(QStringLiteral("Target images"));
  Accessibility::ExposeCheckList(lstImageB);
  auto* lblReference = new QLabel(QStringLiteral("&Reference image"), images);
  lblReference->setBuddy(cmbImageA);
  auto* lblTargets = new QLabel(QStringLiteral("&Target images(s)"), images);
  lblTargets->setBuddy(lstImageB);
  grid->addWidget(lblReference, 0, 0);
  grid->addWidget(cmbImageA, 1, 0);
  grid->addWidget(lblTargets, 2, 0);
  grid->addWidget(lstImageB, 3, 0);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(images);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(cmbImageA, &QComboBox::currentIndexChanged, this, [this] { cmbImageAChange(); });
}

int TfrmFFTCorrelation::Execute() {
  FWindows = SnapshotWindows();
  FillReferenceLists(cmbImageA, lstImageB, FWindows);
  return ShowModal();
}

void TfrmFFTCorrelation::cmbImageAChange() { ExcludeReference(lstImageB, cmbImageA->currentIndex()); }

void TfrmFFTCorrelation::btnOKClick() {
  TChildForm* reference = SnapshotWindow(FWindows, cmbImageA->currentIndex());
  for (int i = 0; i < cmbImageA->count() && i < lstImageB->count(); ++i) {
    if (lstImageB->item(i)->checkState() != Qt::Checked) continue;
    TChildForm* target = SnapshotWindow(FWindows, i);
    if (!target || !reference) continue;
    const TDataImage& r = *reference->DataImage;
    const TDataImage& t = *target->DataImage;
    if (r.IsColour || t.IsColour) {
      MessageBox::ShowWarning(QStringLiteral("FFT cross-correlation can only be performed on grey scale images.  "
                                             "The current image will be skipped."),
                              this);
      continue;
    }
    if (r.Width != t.Width || r.Height != t.Height) {
      MessageBox::ShowWarning(
          QStringLiteral("FFT cross-correlation requires all images to have the same dimensions.\n"
                         "Polynomial image registration can be used for images with diferent dimensions. "
                         "The current image will be skipped."),
          this);
      continue;
    }
    // The transform's memory grows with the square of the padded side.
    if (NextPowerOfTwo(r.Width) > MaxPaddedSide || NextPowerOfTwo(r.Height) > MaxPaddedSide || !r.Pixels ||
        !t.Pixels) {
      MessageBox::ShowWarning(QStringLiteral("FFT cross-correlation can only be performed on images of at most "
                                             "%1 pixels on a side.  The current image will be skipped.")
                                  .arg(MaxPaddedSide),
                              this);
      continue;
    }
    const QString caption = target->Caption();
    try {
      int dx = 0, dy = 0;
      CorrelationShift(r, t, dx, dy);
      auto image = std::make_unique<TDataImage>();
      ShiftedCopy(t, dx, dy, *image);
      auto* result = new TChildForm;
      result->DataImage = std::move(image);
      result->SetCaption(caption + QStringLiteral(" - Registered"));
      result->DataImage->AutoScale();
      result->UpdateImage();
    } catch (const EngineFault&) {
      MessageBox::ShowError(QStringLiteral("FFT cross-correlation of the image ") + caption +
                                QStringLiteral(" failed: a value is beyond the single-precision range."),
                            this);
      return;
    } catch (const std::bad_alloc&) {
      MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
      return;
    } catch (const std::exception& e) {
      MessageBox::ShowError(QStringLiteral("FFT cross-correlation of the image ") + caption +
                                QStringLiteral(" failed: ") + QString::fromLocal8Bit(e.what()) + QStringLiteral("."),
                            this);
      return;
    }
  }
  SetModalResult(mrOk);
}
