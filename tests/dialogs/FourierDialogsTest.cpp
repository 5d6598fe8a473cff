// The Fourier cross-correlation dialog and the spectrum editor, driven
// through their commands; results are checked against a plain
// double-precision Fourier transform written here.
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <complex>
#include <cstdlib>

#include "RegistrationTestUtil.h"
#include "dialogs/FFTCorrelationForm.h"
#include "dialogs/FFTEditForm.h"

namespace {

using cd = std::complex<double>;

// The 2-D discrete transform of a W x H array, row-major, by definition:
// forward unscaled, inverse scaled by 1 / (W H).
std::vector<cd> DFT2(std::vector<cd> a, int W, int H, bool Inverse) {
  const double sign = Inverse ? 1.0 : -1.0;
  auto pass = [&](int N, int Lines, auto At) {
    std::vector<cd> line(static_cast<std::size_t>(N)), out(static_cast<std::size_t>(N));
    for (int l = 0; l < Lines; ++l) {
      for (int i = 0; i < N; ++i) line[std::size_t(i)] = At(l, i);
      for (int k = 0; k < N; ++k) {
        cd s = 0;
        for (int i = 0; i < N; ++i) s += line[std::size_t(i)] * std::polar(1.0, sign * 2.0 * M_PI * double(k) * i / N);
        out[std::size_t(k)] = Inverse ? s / double(N) : s;
      }
      for (int i = 0; i < N; ++i) At(l, i) = out[std::size_t(i)];
    }
  };
  pass(W, H, [&](int y, int x) -> cd& { return a[std::size_t(y) * W + x]; });
  pass(H, W, [&](int x, int y) -> cd& { return a[std::size_t(y) * W + x]; });
  return a;
}

// A sky of Gaussian stars on a sloping background, the same for every run.
std::vector<float> StarField(int W, int H, float Background, float Peak, int Stars) {
  std::vector<float> img(std::size_t(W) * H);
  std::uint32_t seed = 12345;
  auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  std::vector<std::array<float, 4>> stars;
  for (int i = 0; i < Stars; ++i)
    stars.push_back({float(next() % W), float(next() % H), Peak * (0.2f + float(next() % 800) / 1000.0f),
                     1.0f + float(next() % 20) / 10.0f});
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      float v = Background + 0.05f * x + 0.03f * y;
      for (const auto& s : stars) {
        const float dx = x - s[0], dy = y - s[1];
        v += s[2] * std::exp(-(dx * dx + dy * dy) / (2 * s[3] * s[3]));
      }
      img[std::size_t(y) * W + x] = std::round(v);
    }
  return img;
}

class FourierDialogsTest : public RegistrationTest {
 protected:
  TChildForm* Window(int W, int H, const std::vector<float>& Pixels, const QString& Caption, std::uint8_t Type = 1) {
    return GreyWindow(W, H, Type, [&](int x, int y) { return Pixels[std::size_t(y) * W + x]; }, Caption);
  }
  // T(x, y) = R((x - SX) mod W, (y - SY) mod H).
  static std::vector<float> Cyclic(const std::vector<float>& R, int W, int H, int SX, int SY) {
    std::vector<float> t(R.size());
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        t[std::size_t(y) * W + x] = R[std::size_t(((y - SY) % H + H) % H) * W + std::size_t(((x - SX) % W + W) % W)];
    return t;
  }
  // Chooses the reference and checks the targets in the open dialog, then OK.
  static void Correlate(QWidget* Dialog, const QString& Reference, const QStringList& Targets) {
    QComboBox* combo = frmFFTCorrelation->cmbImageA;
    combo->setCurrentIndex(combo->findText(Reference));
    QListWidget* list = frmFFTCorrelation->lstImageB;
    for (int i = 0; i < list->count(); ++i)
      if (Targets.contains(list->item(i)->text())) {
        list->setCurrentRow(i);
        QTest::keyClick(list, Qt::Key_Space);
      }
    QTest::mouseClick(Dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  }
  void Close(TChildForm* W) {
    W->setAttribute(Qt::WA_DeleteOnClose, false);
    delete W;
  }
};

TEST_F(FourierDialogsTest, PeakPositionGivesTheShift) {
  struct Case {
    int P, Side, Shift;
  };
  const Case cases[] = {{0, 64, 0}, {5, 64, -5}, {32, 64, -32}, {33, 64, 31}, {63, 64, 1}, {64, 64, 0}, {128, 128, 0}};
  for (const Case& c : cases) EXPECT_EQ(PeakShift(c.P, c.Side), c.Shift) << c.P << " of " << c.Side;
}

TEST_F(FourierDialogsTest, CorrelationRecoversCyclicShiftsExactly) {
  struct Case {
    int SX, SY;          // the shift applied to the reference
    int ExpectX, ExpectY;  // the shift the peak rule gives back
  };
  const Case cases[] = {{5, 3, 5, 3},   {-4, 7, -4, 7}, {0, 0, 0, 0},      {10, -12, 10, -12},
                        {32, 0, -32, 0}, {31, -31, 31, -31}, {-31, 20, -31, 20}};
  const int W = 64, H = 64;
  const std::vector<float> r = StarField(W, H, 40.0f, 900.0f, 25);
  TChildForm* reference = Window(W, H, r, "R");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.SX) + "," + std::to_string(c.SY));
    const std::vector<float> t = Cyclic(r, W, H, c.SX, c.SY);
    TChildForm* target = Window(W, H, t, "T");
    Boxes.clear();
    RunCommand("ProcessFFTCorrelation", [&](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Image Registration - FFT Cross Correlation"));
      Correlate(dialog, "R", {"T"});
    });
    EXPECT_TRUE(Boxes.empty());
    TChildForm* result = WindowCaptioned("T - Registered");
    ASSERT_NE(result, nullptr);
    const TDataImage& img = *result->DataImage;
    EXPECT_EQ(img.DataType, 3);
    EXPECT_FALSE(img.IsColour);
    ASSERT_EQ(img.Width, W);
    ASSERT_EQ(img.Height, H);
    int differ = 0;
    float max = 0.0f;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int sx = x + c.ExpectX, sy = y + c.ExpectY;
        const float want = sx >= 0 && sx < W && sy >= 0 && sy < H ? t[std::size_t(sy) * W + sx] : 0.0f;
        differ += img.GetPixel(x, y) != want;
        max = std::max(max, img.GetPixel(x, y));
      }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(img.WhitePoint, max);  // scaled to its own range
    Close(result);
    Close(target);
  }
  Close(reference);
}

TEST_F(FourierDialogsTest, SixteenBitFrameNear30000Correlates) {
  // The squared modulus of such spectra is beyond the Single range.
  const int W = 512, H = 512;
  const std::vector<float> r = StarField(W, H, 30000.0f, 20000.0f, 60);
  const std::vector<float> t = Cyclic(r, W, H, 7, -5);
  Window(W, H, r, "R");
  Window(W, H, t, "T");
  RunCommand("ProcessFFTCorrelation", [&](QWidget* dialog) { Correlate(dialog, "R", {"T"}); });
  EXPECT_TRUE(Boxes.empty());
  TChildForm* result = WindowCaptioned("T - Registered");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->DataImage->GetPixel(100, 200), r[200 * W + 100]);
  EXPECT_EQ(result->DataImage->GetPixel(W - 7, 0), 0.0f);     // beyond the target's right edge
  EXPECT_EQ(result->DataImage->GetPixel(3, 4), 0.0f);         // above its top edge
  EXPECT_EQ(result->DataImage->GetPixel(W - 8, 5), r[5 * W + W - 8]);
}

TEST_F(FourierDialogsTest, CorrelationSkipsWithWarningsAndGoesOn) {
  const std::vector<float> r = StarField(64, 64, 40.0f, 900.0f, 20);
  Window(64, 64, r, "R");
  ColourWindow(64, 64, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 0}; }, "C");
  Window(32, 32, StarField(32, 32, 40.0f, 900.0f, 5), "S");
  Window(64, 64, Cyclic(r, 64, 64, 2, 1), "T");
  const int before = WindowCount();
  RunCommand("ProcessFFTCorrelation", [&](QWidget* dialog) {
    QListWidget* list = frmFFTCorrelation->lstImageB;
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    EXPECT_EQ(items, (QStringList{"T", "S", "C", "R"}));
    EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsEnabled);
    Correlate(dialog, "R", {"C", "S", "T"});
    // The reference's own line is now the one greyed out.
    EXPECT_TRUE(list->item(0)->flags() & Qt::ItemIsEnabled);
    EXPECT_FALSE(list->item(3)->flags() & Qt::ItemIsEnabled);
  });
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("FFT cross-correlation requires all images to have the same dimensions.\n"
                                          "Polynomial image registration can be used for images with diferent "
                                          "dimensions. The current image will be skipped."));
  EXPECT_EQ(Boxes[1].Text, QStringLiteral("FFT cross-correlation can only be performed on grey scale images.  The "
                                          "current image will be skipped."));
  EXPECT_EQ(WindowCount(), before + 1);
  ASSERT_NE(WindowCaptioned("T - Registered"), nullptr);

  // Nothing checked: the dialog closes and makes nothing.
  Boxes.clear();
  RunCommand("ProcessFFTCorrelation", [&](QWidget* dialog) { Correlate(dialog, "R", {}); });
  EXPECT_TRUE(LastActed);
  EXPECT_EQ(frmFFTCorrelation->result(), int(mrOk));
  EXPECT_EQ(WindowCount(), before + 1);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(FourierDialogsTest, CorrelationRefusesWhatItCannotDo) {
  struct Case {
    const char* Name;
    int W, H;
    float Value;
    const char* Message;  // start of the box's text
    bool StaysOpen;
  };
  const Case cases[] = {
      {"wider than 8192", 8193, 2, 1.0f, "FFT cross-correlation can only be performed on images of at most 8192 pixels",
       false},
      {"beyond single precision", 64, 64, 1.0e30f, "FFT cross-correlation of the image T failed", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<float> r(std::size_t(c.W) * c.H), t(r.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
      r[i] = c.Value * float(1 + i % 7);
      t[i] = c.Value * float(1 + (i + 3) % 7);
    }
    TChildForm* rw = Window(c.W, c.H, r, "R", 3);
    TChildForm* tw = Window(c.W, c.H, t, "T", 3);
    const int before = WindowCount();
    Boxes.clear();
    bool open = false;
    RunCommand("ProcessFFTCorrelation", [&](QWidget* dialog) {
      Correlate(dialog, "R", {"T"});
      open = dialog->isVisible();
      if (open) QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].Text.startsWith(QString::fromLatin1(c.Message))) << Boxes[0].Text.toStdString();
    EXPECT_EQ(open, c.StaysOpen);
    EXPECT_EQ(WindowCount(), before);
    Close(tw);
    Close(rw);
  }
}

// ------------------------------------------------------------ spectrum editor

class SpectrumEditorTest : public FourierDialogsTest {
 protected:
  static void Drag(QWidget* W, QPoint From, QPoint To) {
    QTest::mousePress(W, Qt::LeftButton, {}, From);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(W, From + (To - From) * i / 4);
    QTest::mouseRelease(W, Qt::LeftButton, {}, To);
  }
  static void ChooseWidth(int Width) {
    QComboBox* combo = frmFFTEdit->cmbPenWidth;
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 1; i < Width; ++i) QTest::keyClick(combo, Qt::Key_Down);
  }
  // What OK should give for a W x H image and the black pixels of the picture:
  // padded with the border mean, centred, transformed, masked, transformed
  // back, centred again, clipped at 0 and cut out.
  static std::vector<double> Expected(const std::vector<float>& Img, int W, int H, const QImage& Picture) {
    auto next = [](int n) {
      int p = 64;
      while (p < n) p *= 2;
      return p;
    };
    const int pw = next(W), ph = next(H), ox = (pw - W) / 2, oy = (ph - H) / 2;
    double border = 0;
    for (int y = 0; y < H; ++y) border += double(Img[std::size_t(y) * W]) + Img[std::size_t(y) * W + W - 1];
    for (int x = 0; x < W; ++x) border += double(Img[std::size_t(x)]) + Img[std::size_t(H - 1) * W + x];
    border /= 2.0 * (W + H);
    std::vector<cd> a(std::size_t(pw) * ph);
    for (int y = 0; y < ph; ++y)
      for (int x = 0; x < pw; ++x) {
        const bool in = x >= ox && x < ox + W && y >= oy && y < oy + H;
        const double v = in ? Img[std::size_t(y - oy) * W + (x - ox)] : border;
        a[std::size_t(y) * pw + x] = (x + y) % 2 ? -v : v;
      }
    a = DFT2(a, pw, ph, false);
    for (int y = 0; y < ph; ++y)
      for (int x = 0; x < pw; ++x)
        if ((Picture.pixel(x, y) & 0xFFFFFF) == 0) a[std::size_t(y) * pw + x] = 0;
    a = DFT2(a, pw, ph, true);
    std::vector<double> out(std::size_t(W) * H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double v = a[std::size_t(y + oy) * pw + (x + ox)].real();
        if ((x + ox + y + oy) % 2) v = -v;
        out[std::size_t(y) * W + x] = std::max(v, 0.0);
      }
    return out;
  }
  static double MaxDifference(const TDataImage& Result, const std::vector<double>& Want) {
    double worst = 0;
    for (std::size_t i = 0; i < Want.size(); ++i) worst = std::max(worst, std::abs(Result.Pixels[i] - Want[i]));
    return worst;
  }
  // Energy of 4 v - neighbours over the interior: how much fine detail there is.
  static double Detail(const std::function<double(int, int)>& V, int W, int H) {
    double s = 0;
    for (int y = 1; y < H - 1; ++y)
      for (int x = 1; x < W - 1; ++x) {
        const double l = 4 * V(x, y) - V(x - 1, y) - V(x + 1, y) - V(x, y - 1) - V(x, y + 1);
        s += l * l;
      }
    return s;
  }
};

TEST_F(SpectrumEditorTest, ColourImagesAreRefused) {
  ColourWindow(20, 20, [](int, int) { return TRGBPixel{1, 2, 3}; });
  RunCommand("FilterEditFFT", [](QWidget* d) { d->close(); });
  EXPECT_FALSE(LastActed);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("FFT editing can only be performed on grey scale images."));
}

TEST_F(SpectrumEditorTest, SpectrumShowsTheCentredLogMagnitude) {
  const int W = 64, H = 64;
  const std::vector<float> img = StarField(W, H, 50.0f, 400.0f, 12);
  Window(W, H, img, "Stars");
  QImage picture;
  RunCommand("FilterEditFFT", [&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("FFT Editing"));
    picture = frmFFTEdit->Image->Picture;
    if (const char* dir = std::getenv("CORVELLE_SHOT_DIR")) {
      dialog->resize(520, 420);
      dialog->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("fft-edit.png"));
    }
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
  });
  ASSERT_EQ(picture.size(), QSize(W, H));
  std::vector<cd> a(std::size_t(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) a[std::size_t(y) * W + x] = (x + y) % 2 ? -img[std::size_t(y) * W + x] : img[std::size_t(y) * W + x];
  a = DFT2(a, W, H, false);
  double max = 0;
  for (const cd& c : a) max = std::max(max, std::log(std::abs(c) + 0.5));
  int off = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double want = std::clamp(255.0 / max * std::log(std::abs(a[std::size_t(y) * W + x]) + 0.5), 0.0, 255.0);
      off += std::abs(qRed(picture.pixel(x, y)) - want) > 1.0;
    }
  EXPECT_EQ(off, 0);
  // The zero frequency is the brightest point, in the middle.
  EXPECT_EQ(qRed(picture.pixel(W / 2, H / 2)), 255);
  EXPECT_EQ(WindowCaptioned("FFT Edit"), nullptr);  // Cancel makes nothing
}

TEST_F(SpectrumEditorTest, PaintedMasksAreTransformedBack) {
  struct Case {
    const char* Name;
    std::function<void()> Paint;
    bool LowPass;
  };
  // 100 x 60 pads to a 128 x 64 picture, zero frequency at (64, 32).
  const Case cases[] = {
      {"nothing painted", [] {}, false},
      {"all but a middle square (low pass)",
       [] {
         QTest::mouseClick(frmFFTEdit->btnRectangle, Qt::LeftButton);
         ChooseWidth(1);
         QWidget* p = frmFFTEdit->Image;
         Drag(p, QPoint(0, 0), QPoint(127, 24));
         Drag(p, QPoint(0, 40), QPoint(127, 63));
         Drag(p, QPoint(0, 0), QPoint(56, 63));
         Drag(p, QPoint(72, 0), QPoint(127, 63));
       },
       true},
      {"an ellipse round the middle (high pass)",
       [] {
         QTest::mouseClick(frmFFTEdit->btnCircle, Qt::LeftButton);
         ChooseWidth(3);
         Drag(frmFFTEdit->Image, QPoint(54, 22), QPoint(74, 42));
       },
       false},
  };
  const int W = 100, H = 60;
  const std::vector<float> img = StarField(W, H, 30.0f, 300.0f, 15);
  double sourceMean = 0;
  for (float v : img) sourceMean += v / img.size();
  const double sourceDetail = Detail([&](int x, int y) { return img[std::size_t(y) * W + x]; }, W, H);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = Window(W, H, img, "Source");
    QImage painted;
    RunCommand("FilterEditFFT", [&](QWidget* dialog) {
      c.Paint();
      painted = frmFFTEdit->Image->Picture.copy();
      QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    ASSERT_EQ(painted.size(), QSize(128, 64));
    TChildForm* result = WindowCaptioned("FFT Edit");
    ASSERT_NE(result, nullptr);
    const TDataImage& r = *result->DataImage;
    ASSERT_EQ(r.Width, W);
    ASSERT_EQ(r.Height, H);
    EXPECT_EQ(r.DataType, 3);
    EXPECT_EQ(r.BlackPoint, 0.0f);
    EXPECT_EQ(r.WhitePoint, 255.0f);
    EXPECT_LT(MaxDifference(r, Expected(img, W, H, painted)), 0.05);
    const double detail = Detail([&](int x, int y) { return r.GetPixel(x, y); }, W, H);
    double mean = 0, min = 1e30;
    for (int i = 0; i < W * H; ++i) {
      mean += r.Pixels[i] / (W * H);
      min = std::min(min, double(r.Pixels[i]));
    }
    EXPECT_GE(min, 0.0);
    if (std::string(c.Name) == "nothing painted") {
      EXPECT_NEAR(mean, sourceMean, 0.05 * sourceMean);
    } else if (c.LowPass) {
      EXPECT_LT(detail, 0.3 * sourceDetail);  // blurred
      EXPECT_NEAR(mean, sourceMean, 0.05 * sourceMean);
    } else {
      EXPECT_LT(mean, 0.3 * sourceMean);  // the zero frequency is gone
    }
    Close(result);
    Close(source);
  }
}

TEST_F(SpectrumEditorTest, ToolsWidthsAndReset) {
  Window(64, 64, StarField(64, 64, 50.0f, 400.0f, 12), "Stars");
  struct Case {
    int Width;
    int Covered;  // rows a horizontal stroke covers in one column
  };
  const Case cases[] = {{1, 1}, {5, 5}, {9, 9}};
  RunCommand("FilterEditFFT", [&](QWidget* dialog) {
    QWidget* p = frmFFTEdit->Image;
    const QImage clean = frmFFTEdit->Image->Picture.copy();
    EXPECT_TRUE(frmFFTEdit->btnPencil->isChecked());
    EXPECT_EQ(frmFFTEdit->cmbPenWidth->currentText(), QStringLiteral("5"));
    auto changedInColumn = [&](int x) {
      int n = 0;
      for (int y = 0; y < 64; ++y) n += frmFFTEdit->Image->Picture.pixel(x, y) != clean.pixel(x, y);
      return n;
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.Width);
      QTest::mouseClick(frmFFTEdit->btnReset, Qt::LeftButton);
      EXPECT_EQ(frmFFTEdit->Image->Picture, clean);
      ChooseWidth(c.Width);
      Drag(p, QPoint(8, 20), QPoint(56, 20));
      EXPECT_EQ(changedInColumn(30), c.Covered);
      EXPECT_EQ(frmFFTEdit->Image->Picture.pixel(30, 20) & 0xFFFFFF, 0u);
    }
    // A rectangle is only a rubber band until the button comes up, then filled.
    QTest::mouseClick(frmFFTEdit->btnReset, Qt::LeftButton);
    QTest::mouseClick(frmFFTEdit->btnRectangle, Qt::LeftButton);
    EXPECT_FALSE(frmFFTEdit->btnPencil->isChecked());
    QTest::mousePress(p, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(p, QPoint(40, 30));
    EXPECT_EQ(frmFFTEdit->Image->Picture, clean);
    QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(40, 30));
    for (QPoint inside : {QPoint(12, 12), QPoint(25, 20), QPoint(37, 28)})
      EXPECT_EQ(frmFFTEdit->Image->Picture.pixel(inside) & 0xFFFFFF, 0u);
    EXPECT_EQ(frmFFTEdit->Image->Picture.pixel(50, 45), clean.pixel(50, 45));
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
  });
  EXPECT_TRUE(LastActed);
  // The tool and width stay for the next opening.
  EXPECT_TRUE(frmFFTEdit->btnRectangle->isChecked());
  EXPECT_EQ(frmFFTEdit->cmbPenWidth->currentText(), QStringLiteral("9"));
  EXPECT_TRUE(frmFFTEdit->Image->Picture.isNull());  // released on closing
}

TEST_F(SpectrumEditorTest, BlankImageShowsABlackSpectrum) {
  Window(40, 40, std::vector<float>(1600, 0.0f), "Blank");
  int lit = -1;
  RunCommand("FilterEditFFT", [&](QWidget* dialog) {
    lit = 0;
    const QImage& pic = frmFFTEdit->Image->Picture;
    for (int y = 0; y < pic.height(); ++y)
      for (int x = 0; x < pic.width(); ++x) lit += (pic.pixel(x, y) & 0xFFFFFF) != 0;
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  EXPECT_EQ(lit, 0);
  TChildForm* result = WindowCaptioned("FFT Edit");
  ASSERT_NE(result, nullptr);
  float max = 0.0f;
  for (int i = 0; i < 1600; ++i) max = std::max(max, std::abs(result->DataImage->Pixels[i]));
  EXPECT_EQ(max, 0.0f);
}

}  // namespace
