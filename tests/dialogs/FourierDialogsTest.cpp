// The Fourier cross-correlation dialog and the spectrum editor, driven
// through their commands; results are checked against a plain
// double-precision Fourier transform written here.
#include <QToolButton>
#include <cmath>
#include <complex>

#include "RegistrationTestUtil.h"
#include "dialogs/FFTCorrelationForm.h"
#include "dialogs/FFTEditForm.h"

namespace {

using cd = std::complex<double>;

// The 2-D discrete transform of a W x H array by definition: forward
// unscaled, inverse scaled by 1 / (W H).
std::vector<cd> DFT2(std::vector<cd> a, int W, int H, bool Inverse) {
  auto pass = [&](int N, int Lines, auto At) {
    std::vector<cd> line(static_cast<std::size_t>(N));
    for (int l = 0; l < Lines; ++l) {
      for (int i = 0; i < N; ++i) line[i] = At(l, i);
      for (int k = 0; k < N; ++k) {
        cd s = 0;
        for (int i = 0; i < N; ++i) s += line[i] * std::polar(1.0, (Inverse ? 2.0 : -2.0) * M_PI * k * i / N);
        At(l, k) = Inverse ? s / double(N) : s;
      }
    }
  };
  pass(W, H, [&](int y, int x) -> cd& { return a[std::size_t(y) * W + x]; });
  pass(H, W, [&](int x, int y) -> cd& { return a[std::size_t(y) * W + x]; });
  return a;
}

// Gaussian stars on a sloping background, the same for every run.
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
      for (const auto& s : stars)
        v += s[2] * std::exp(-((x - s[0]) * (x - s[0]) + (y - s[1]) * (y - s[1])) / (2 * s[3] * s[3]));
      img[std::size_t(y) * W + x] = std::round(v);
    }
  return img;
}

// T(x, y) = R((x - SX) mod W, (y - SY) mod H).
std::vector<float> Cyclic(const std::vector<float>& R, int W, int H, int SX, int SY) {
  std::vector<float> t(R.size());
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) t[std::size_t(y) * W + x] = R[std::size_t((y - SY + H) % H) * W + (x - SX + W) % W];
  return t;
}

class FourierDialogsTest : public RegistrationTest {
 protected:
  TChildForm* Window(int W, int H, const std::vector<float>& Pixels, const QString& Caption, std::uint8_t Type = 1) {
    return GreyWindow(W, H, Type, [&](int x, int y) { return Pixels[std::size_t(y) * W + x]; }, Caption);
  }
  void Correlate(const QStringList& Targets, std::function<void(QWidget*)> After = {}) {
    RunCommand("ProcessFFTCorrelation", [&](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Image Registration - FFT Cross Correlation"));
      Choose(dialog, frmFFTCorrelation->cmbImageA, frmFFTCorrelation->lstImageB, "R", Targets);
      if (After) After(dialog);
    });
  }
};

TEST_F(FourierDialogsTest, PeakPositionGivesTheShift) {
  const int cases[][3] = {{0, 64, 0}, {5, 64, -5}, {32, 64, -32}, {33, 64, 31}, {63, 64, 1}, {64, 64, 0}, {128, 128, 0}};
  for (const auto& c : cases) EXPECT_EQ(PeakShift(c[0], c[1]), c[2]) << c[0] << " of " << c[1];
}

TEST_F(FourierDialogsTest, CorrelationRecoversCyclicShiftsExactly) {
  struct Case {
    int Side, SX, SY;      // the shift applied to the reference
    int ExpectX, ExpectY;  // the shift the peak rule gives back
    float Background;
  };
  // A 16-bit frame near 30000 has spectra whose squared modulus is beyond
  // the Single range.
  const Case cases[] = {{64, 5, 3, 5, 3, 40},     {64, -4, 7, -4, 7, 40},     {64, 0, 0, 0, 0, 40},
                        {64, 10, -12, 10, -12, 40}, {64, 32, 0, -32, 0, 40},  {64, 31, -31, 31, -31, 40},
                        {512, 7, -5, 7, -5, 30000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.SX) + "," + std::to_string(c.SY));
    const int W = c.Side, H = c.Side;
    const std::vector<float> r = StarField(W, H, c.Background, c.Background > 1000 ? 20000 : 900, 25);
    const std::vector<float> t = Cyclic(r, W, H, c.SX, c.SY);
    TChildForm* reference = Window(W, H, r, "R");
    TChildForm* target = Window(W, H, t, "T");
    Boxes.clear();
    Correlate({"T"});
    EXPECT_TRUE(Boxes.empty());
    TChildForm* result = WindowCaptioned("T - Registered");
    ASSERT_NE(result, nullptr);
    const TDataImage& img = *result->DataImage;
    EXPECT_EQ(img.DataType, 3);
    ASSERT_EQ(img.Width, W);
    ASSERT_EQ(img.Height, H);
    int differ = 0;
    float max = 0.0f;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int sx = x + c.ExpectX, sy = y + c.ExpectY;
        differ += img.GetPixel(x, y) != (sx >= 0 && sx < W && sy >= 0 && sy < H ? t[std::size_t(sy) * W + sx] : 0.0f);
        max = std::max(max, img.GetPixel(x, y));
      }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(img.WhitePoint, max);  // scaled to its own range
    for (TChildForm* w : {result, target, reference}) Close(w);
  }
}

TEST_F(FourierDialogsTest, FlatImagesGiveAnUnchangedCopy) {
  // Only the zero frequency carries energy: every other coefficient has d = 0
  // and becomes 0, the back-transform is flat and its first point wins.
  Window(64, 48, std::vector<float>(64 * 48, 5.0f), "R", 0);
  Window(64, 48, std::vector<float>(64 * 48, 7.0f), "T", 0);
  Correlate({"T"});
  EXPECT_TRUE(Boxes.empty());
  TChildForm* result = WindowCaptioned("T - Registered");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->DataImage->DataType, 3);
  EXPECT_EQ(std::count(result->DataImage->Pixels, result->DataImage->Pixels + 64 * 48, 7.0f), 64 * 48);
}

TEST_F(FourierDialogsTest, CorrelationSkipsWithWarningsAndGoesOn) {
  const std::vector<float> r = StarField(64, 64, 40.0f, 900.0f, 20);
  Window(64, 64, r, "R");
  ColourWindow(64, 64, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 0}; }, "C");
  Window(32, 32, StarField(32, 32, 40.0f, 900.0f, 5), "S");
  Window(64, 64, Cyclic(r, 64, 64, 2, 1), "T");
  const int before = WindowCount();
  Correlate({"C", "S", "T"});  // in list order T, S, C
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("FFT cross-correlation requires all images to have the same dimensions.\n"
                                          "Polynomial image registration can be used for images with diferent "
                                          "dimensions. The current image will be skipped."));
  EXPECT_EQ(Boxes[1].Text, QStringLiteral("FFT cross-correlation can only be performed on grey scale images.  The "
                                          "current image will be skipped."));
  EXPECT_EQ(WindowCount(), before + 1);
  EXPECT_NE(WindowCaptioned("T - Registered"), nullptr);
  Boxes.clear();
  Correlate({});  // nothing checked: closes and makes nothing
  EXPECT_EQ(frmFFTCorrelation->result(), int(mrOk));
  EXPECT_EQ(WindowCount(), before + 1);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(FourierDialogsTest, CorrelationRefusesWhatItCannotDo) {
  // Too wide to pad, and values whose products leave the Single range: a
  // warning and no window, or an error box with the dialog left open.
  const std::tuple<int, float, const char*> cases[] = {
      {8193, 1.0f, "FFT cross-correlation can only be performed on images of at most 8192 pixels"},
      {64, 1.0e30f, "FFT cross-correlation of the image T failed"}};
  for (const auto& [w, value, message] : cases) {
    SCOPED_TRACE(message);
    std::vector<float> r(std::size_t(w) * 64), t(r.size());
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = value * float(1 + i % 7), t[i] = value * float(1 + (i + 3) % 7);
    TChildForm* rw = Window(w, 64, r, "R", 3);
    TChildForm* tw = Window(w, 64, t, "T", 3);
    Boxes.clear();
    bool open = false;
    Correlate({"T"}, [&](QWidget* dialog) {
      if ((open = dialog->isVisible())) QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].Text.startsWith(QString::fromLatin1(message))) << Boxes[0].Text.toStdString();
    EXPECT_EQ(Boxes[0].Type, open ? TMsgDlgType::mtError : TMsgDlgType::mtWarning);
    EXPECT_EQ(open, w == 64);
    EXPECT_EQ(WindowCount(), 2);
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
  // The centred spectrum of a W x H image padded with its border mean to PW x PH.
  static std::vector<cd> Spectrum(const std::vector<float>& Img, int W, int H, int PW, int PH) {
    const int ox = (PW - W) / 2, oy = (PH - H) / 2;
    double border = 0;
    for (int y = 0; y < H; ++y) border += double(Img[std::size_t(y) * W]) + Img[std::size_t(y) * W + W - 1];
    for (int x = 0; x < W; ++x) border += double(Img[x]) + Img[std::size_t(H - 1) * W + x];
    border /= 2.0 * (W + H);
    std::vector<cd> a(std::size_t(PW) * PH);
    for (int y = 0; y < PH; ++y)
      for (int x = 0; x < PW; ++x) {
        const bool in = x >= ox && x < ox + W && y >= oy && y < oy + H;
        const double v = in ? Img[std::size_t(y - oy) * W + (x - ox)] : border;
        a[std::size_t(y) * PW + x] = (x + y) % 2 ? -v : v;
      }
    return DFT2(a, PW, PH, false);
  }
  // What OK should give: the spectrum without the black pixels' coefficients
  // transformed back, centred again, clipped at 0 and cut out.
  static std::vector<double> Expected(const std::vector<float>& Img, int W, int H, const QImage& Picture) {
    const int pw = Picture.width(), ph = Picture.height(), ox = (pw - W) / 2, oy = (ph - H) / 2;
    std::vector<cd> a = Spectrum(Img, W, H, pw, ph);
    for (int y = 0; y < ph; ++y)
      for (int x = 0; x < pw; ++x)
        if ((Picture.pixel(x, y) & 0xFFFFFF) == 0) a[std::size_t(y) * pw + x] = 0;
    a = DFT2(a, pw, ph, true);
    std::vector<double> out(std::size_t(W) * H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double v = a[std::size_t(y + oy) * pw + (x + ox)].real();
        out[std::size_t(y) * W + x] = std::max((x + ox + y + oy) % 2 ? -v : v, 0.0);
      }
    return out;
  }
  // Energy of 4 v - neighbours over the interior: how much fine detail there is.
  static double Detail(const std::function<double(int, int)>& V, int W, int H) {
    double s = 0;
    for (int y = 1; y < H - 1; ++y)
      for (int x = 1; x < W - 1; ++x) s += std::pow(4 * V(x, y) - V(x - 1, y) - V(x + 1, y) - V(x, y - 1) - V(x, y + 1), 2);
    return s;
  }
};

TEST_F(SpectrumEditorTest, ColourAndOversizeImagesAreRefused) {
  ColourWindow(20, 20, [](int, int) { return TRGBPixel{1, 2, 3}; });
  RunCommand("FilterEditFFT", [](QWidget* d) { d->close(); });
  Window(2, 8193, std::vector<float>(2 * 8193, 1.0f), "Tall");
  RunCommand("FilterEditFFT", [](QWidget* d) { d->close(); });
  EXPECT_FALSE(LastActed);
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("FFT editing can only be performed on grey scale images."));
  EXPECT_EQ(Boxes[1].Text,
            QStringLiteral("FFT editing can only be performed on images of at most 8192 pixels on a side."));
}

TEST_F(SpectrumEditorTest, SpectrumShowsTheCentredLogMagnitude) {
  struct Case {
    int W, H;
    float Background, Peak;
  };
  // An all-zero image has no positive log magnitude: its spectrum is black.
  const Case cases[] = {{64, 64, 50.0f, 400.0f}, {40, 40, 0.0f, 0.0f}};
  for (const Case& c : cases) {
    const std::vector<float> img = c.Peak > 0 ? StarField(c.W, c.H, c.Background, c.Peak, 12)
                                              : std::vector<float>(std::size_t(c.W) * c.H, 0.0f);
    Window(c.W, c.H, img, "Stars");
    QImage picture;
    RunCommand("FilterEditFFT", [&](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("FFT Editing"));
      picture = frmFFTEdit->Image->Picture;
      QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    });
    ASSERT_EQ(picture.size(), QSize(64, 64));
    const std::vector<cd> a = Spectrum(img, c.W, c.H, 64, 64);
    double max = 0;
    for (const cd& v : a) max = std::max(max, std::log(std::abs(v) + 0.5));
    int off = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const double d = max > 0 ? 255.0 / max * std::log(std::abs(a[std::size_t(y) * 64 + x]) + 0.5) : 0.0;
        off += std::abs(qRed(picture.pixel(x, y)) - std::clamp(d, 0.0, 255.0)) > 1.0;
      }
    EXPECT_EQ(off, 0);
    EXPECT_EQ(qRed(picture.pixel(32, 32)), c.Peak > 0 ? 255 : 0);  // the zero frequency, in the middle
    EXPECT_EQ(WindowCaptioned("FFT Edit"), nullptr);  // Cancel makes nothing
  }
}

TEST_F(SpectrumEditorTest, PaintedMasksAreTransformedBack) {
  struct Case {
    const char* Name;
    int W, H;
    std::function<void()> Paint;
    int Pass;  // 0 all, 1 low, 2 high
  };
  // Each size pads to a 128 x 64 picture with the zero frequency at (64, 32);
  // 100 x 61 and 101 x 60 sit at offsets whose sum is odd, so the centring
  // sign must be undone in padded coordinates.
  const Case cases[] = {
      {"nothing painted", 100, 60, [] {}, 0},
      {"nothing painted, odd height", 100, 61, [] {}, 0},
      {"all but a middle square", 100, 60,
       [] {
         QTest::mouseClick(frmFFTEdit->btnRectangle, Qt::LeftButton);
         ChooseWidth(1);
         for (auto [a, b] : {std::pair{QPoint(0, 0), QPoint(127, 24)}, {QPoint(0, 40), QPoint(127, 63)},
                             {QPoint(0, 0), QPoint(56, 63)}, {QPoint(72, 0), QPoint(127, 63)}})
           Drag(frmFFTEdit->Image, a, b);
       },
       1},
      {"an ellipse round the middle", 100, 60,
       [] {
         QTest::mouseClick(frmFFTEdit->btnCircle, Qt::LeftButton);
         ChooseWidth(3);
         Drag(frmFFTEdit->Image, QPoint(54, 22), QPoint(74, 42));
       },
       2},
      {"an ellipse round the middle, odd width", 101, 60,
       [] {
         QTest::mouseClick(frmFFTEdit->btnCircle, Qt::LeftButton);
         ChooseWidth(3);
         Drag(frmFFTEdit->Image, QPoint(54, 22), QPoint(74, 42));
       },
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const int W = c.W, H = c.H;
    const std::vector<float> img = StarField(W, H, 30.0f, 300.0f, 15);
    double sourceMean = 0;
    for (float v : img) sourceMean += v / img.size();
    const double sourceDetail = Detail([&](int x, int y) { return img[std::size_t(y) * W + x]; }, W, H);
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
    EXPECT_EQ(r.WhitePoint, 255.0f);  // no automatic scaling
    const std::vector<double> want = Expected(img, W, H, painted);
    double worst = 0, mean = 0, min = 1e30;
    for (int i = 0; i < W * H; ++i) {
      worst = std::max(worst, std::abs(r.Pixels[i] - want[std::size_t(i)]));
      mean += r.Pixels[i] / (W * H);
      min = std::min(min, double(r.Pixels[i]));
    }
    EXPECT_LT(worst, 0.05);
    EXPECT_GE(min, 0.0);
    if (c.Pass < 2) {
      EXPECT_NEAR(mean, sourceMean, 0.05 * sourceMean);
    }
    if (c.Pass == 1) {
      EXPECT_LT(Detail([&](int x, int y) { return r.GetPixel(x, y); }, W, H), 0.3 * sourceDetail);
    }
    if (c.Pass == 2) {
      EXPECT_LT(mean, 0.3 * sourceMean);  // the zero frequency is gone
    }
    Close(result);
    Close(source);
  }
}

TEST_F(SpectrumEditorTest, ToolsWidthsAndReset) {
  Window(64, 64, StarField(64, 64, 50.0f, 400.0f, 12), "Stars");
  RunCommand("FilterEditFFT", [&](QWidget* dialog) {
    QWidget* p = frmFFTEdit->Image;
    const QImage& pic = frmFFTEdit->Image->Picture;
    const QImage clean = pic.copy();
    EXPECT_TRUE(frmFFTEdit->btnPencil->isChecked());
    EXPECT_EQ(frmFFTEdit->cmbPenWidth->currentText(), QStringLiteral("5"));
    for (int width : {1, 5, 9}) {  // a horizontal stroke covers that many rows
      QTest::mouseClick(frmFFTEdit->btnReset, Qt::LeftButton);
      EXPECT_EQ(pic, clean);
      ChooseWidth(width);
      Drag(p, QPoint(8, 20), QPoint(56, 20));
      int changed = 0;
      for (int y = 0; y < 64; ++y) changed += pic.pixel(30, y) != clean.pixel(30, y);
      EXPECT_EQ(changed, width);
      EXPECT_EQ(pic.pixel(30, 20) & 0xFFFFFF, 0u);
    }
    // A rectangle is only a rubber band until the button comes up, then filled.
    QTest::mouseClick(frmFFTEdit->btnReset, Qt::LeftButton);
    QTest::mouseClick(frmFFTEdit->btnRectangle, Qt::LeftButton);
    EXPECT_FALSE(frmFFTEdit->btnPencil->isChecked());
    QTest::mousePress(p, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(p, QPoint(40, 30));
    EXPECT_EQ(pic, clean);
    QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(40, 30));
    for (QPoint inside : {QPoint(12, 12), QPoint(25, 20), QPoint(37, 28)}) EXPECT_EQ(pic.pixel(inside) & 0xFFFFFF, 0u);
    EXPECT_EQ(pic.pixel(50, 45), clean.pixel(50, 45));
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
  });
  EXPECT_TRUE(LastActed);
  EXPECT_TRUE(frmFFTEdit->btnRectangle->isChecked());  // kept for the next opening
  EXPECT_EQ(frmFFTEdit->cmbPenWidth->currentText(), QStringLiteral("9"));
  EXPECT_TRUE(frmFFTEdit->Image->Picture.isNull());  // released on closing
}

}  // namespace
