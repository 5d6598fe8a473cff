#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <random>

#include "DialogTestUtil.h"
#include "app/FloatEdit.h"
#include "dialogs/DDPForm.h"

class DDPProposals : public DialogTest {
 protected:
  TChildForm* Runs(std::uint8_t Type, const std::vector<std::pair<int, float>>& R, int W, int H) {
    std::vector<float> v;
    for (const auto& [n, value] : R) v.insert(v.end(), std::size_t(n), value);
    v.resize(std::size_t(W * H), R.back().second);
    return GreyWindow(W, H, Type, [&](int x, int y) { return v[std::size_t(y * W + x)]; });
  }
  // The proposals the dialog makes for the active image, after which OK is
  // clicked; Previews: the previews run before OK.
  struct TOpened {
    long double A = 0, B = 0, K = 0;
    int Previews = 0;
  };
  TOpened ProposeAndOK() {
    TOpened o;
    WithDialog("ScaleDDP", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmDDP);
      Settle(dialog);
      o.A = frmDDP->fedA->Value();
      o.B = frmDDP->fedB->Value();
      o.K = frmDDP->fedK->Value();
      o.Previews = frmDDP->PreviewCount();
      ClickOK(dialog);
    });
    return o;
  }
};

TEST_F(DDPProposals, EachActivationProposesFromTheWholeImage) {
  struct Case {
    const char* Name;
    std::function<TChildForm*()> Make;
    const char *A, *B, *K;
    bool PreviewFails;  // then the activation after its error box proposes and previews nothing
  };
  const Case cases[] = {
      // Maximum 40000: 96 of 100 pixels lie at or below bin 64, A = 64 x 40000 / 255;
      // the background is bin 0, B = 1 x 40000 / 255.
      {"16 bit", [&] { return Runs(1, {{90, 0.0f}, {6, 10039.2157f}, {4, 40000.0f}}, 10, 10); }, "10039.22", "156.86",
       "40000", false},
      // 1 of 510 pixels at 2 is below 1/255 of the total and is cleared: the
      // background is bin 5, one above gives 6.
      // 96 % zero: the mid-level comes from the pixels above 0 (A = 0 would
      // divide 0 by 0 under the weak edge blur).
      {"mostly zero", [&] { return Runs(0, {{96, 0.0f}, {4, 200.0f}}, 10, 10); }, "200", "0.78", "200", false},
      {"background", [&] { return Runs(0, {{1, 2.0f}, {10, 5.0f}, {499, 255.0f}}, 51, 10); }, "255", "6", "255", false},
      {"colour",
       [&] {
         return ColourWindow(10, 10, [](int x, int) {
           const std::uint8_t v = x < 9 ? 30 : 200;  // intensity 30 for 90 %, 200 for 10 %
           return TRGBPixel{v, v, v};
         });
       },
       "200", "31", "255", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = c.Make();
    Errors.clear();
    WithDialog("ScaleDDP", [&](QDialog* dialog) {
      ASSERT_EQ(dialog, frmDDP);
      EXPECT_EQ(frmDDP->fedA->text() + " " + frmDDP->fedB->text() + " " + frmDDP->fedK->text(),
                QString::fromLatin1(c.A) + " " + c.B + " " + c.K);
      EXPECT_EQ(std::count(Errors.begin(), Errors.end(), int(errDDP)) > 0, c.PreviewFails);
      const bool colour = source->DataImage->IsColour;
      for (QWidget* w : std::initializer_list<QWidget*>{frmDDP->cmbRed, frmDDP->cmbGreen, frmDDP->cmbBlue,
                                                        frmDDP->lblRed, frmDDP->lblGreen, frmDDP->lblBlue})
        EXPECT_EQ(w->isEnabled(), colour) << w->objectName().toStdString();
      // A return of the focus proposes again over what was typed, except the
      // one from the error box of a failing preview.
      const int runs = frmDDP->PreviewCount();
      if (!c.PreviewFails) {
        TypeInto(frmDDP->fedA, "77");
        frmDDP->cmbEdgeEnhancement->setFocus();
        Settle(dialog);
      }
      const auto reports = std::count(Errors.begin(), Errors.end(), int(errDDP));
      Activate(dialog);
      EXPECT_EQ(frmDDP->fedA->text(), QString::fromLatin1(c.A));
      EXPECT_EQ(std::count(Errors.begin(), Errors.end(), int(errDDP)), reports);
      EXPECT_TRUE(!c.PreviewFails || frmDDP->PreviewCount() == runs);
    });
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

// A frame that is 97 % zero: numpy's proposal, and OK makes the result window
// without an error. A black frame has nothing to propose from.
TEST_F(DDPProposals, MostlyEmptyFramesAgainstNumpy) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  const int W = 40, H = 30;
  std::vector<float> v(std::size_t(W * H), 0.0f);
  std::mt19937 rng(4);
  for (int k = 0; k < 36; ++k) v[rng() % v.size()] = float(100 + rng() % 40000);
  TChildForm* source = GreyWindow(W, H, 1, [&](int x, int y) { return v[std::size_t(y * W + x)]; });
  QTemporaryDir dir;
  const QString in = dir.filePath("in.f32");
  QFile f(in);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(source->DataImage->Pixels), qint64(v.size() * 4));
  f.close();
  QProcess python;
  python.start("/usr/bin/python3",
               {CORVELLE_SOURCE_DIR "/tests/oracles/ddp.py", in, QString::number(W), QString::number(H)});
  ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << python.readAllStandardError().toStdString();
  const QStringList abk = QString::fromUtf8(python.readAllStandardOutput()).simplified().split(' ');
  ASSERT_EQ(abk.size(), 4);

  Errors.clear();
  const int windows = WindowCount();
  WithDialog("ScaleDDP", [&](QDialog* dialog) {
    ASSERT_EQ(dialog, frmDDP);
    EXPECT_GT(frmDDP->fedA->Value(), 0);
    EXPECT_NEAR(frmDDP->fedA->Value(), abk[0].toDouble(), 0.006);
    EXPECT_NEAR(frmDDP->fedB->Value(), abk[1].toDouble(), 0.006);
    EXPECT_NEAR(frmDDP->fedK->Value(), abk[2].toDouble(), 1e-3);
    ClickOK(dialog);
  });
  EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int c) { return c > 0; }), 0);
  ASSERT_EQ(WindowCount(), windows + 1);
  EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("DDP Scale"));

  // Black frames, grey and colour, and a grey frame of -100 .. 0 (DDP takes
  // its pixels as 0): a warning that says why, no dialog, no window, no
  // error box.
  const QString black = "Corvelle Image cannot propose DDP parameters for this image because all its pixels are black.";
  const QString belowZero =
      "Corvelle Image cannot propose DDP parameters for this image because none of its pixels is above zero.";
  const std::pair<TChildForm*, QString> refused[] = {
      {GreyWindow(20, 10, 3, [](int, int) { return 0.0f; }), black},
      {ColourWindow(20, 10, [](int x, int) { return TRGBPixel{std::uint8_t(x == 3), 0, 0}; }), black},
      {GreyWindow(21, 11, 3, [](int x, int y) { return -100.0f + float((x * 5 + y * 9) % 101); }), belowZero},
  };
  for (const auto& [window, text] : refused) {
    Form->MDIArea()->setActiveSubWindow(window);
    Boxes.clear();
    Errors.clear();
    const int before = WindowCount();
    bool opened = false;
    WithDialog("ScaleDDP", [&](QDialog* dialog) { opened = dialog != nullptr; });
    EXPECT_FALSE(opened);
    EXPECT_EQ(WindowCount(), before);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, text);
    EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int c) { return c > 0; }), 0);
  }
}

// Normalised float frames (0..1, and 0..1e-3) with a zero border, as after
// rotation or registration, whose sky lies in the first bin above 0 (a
// mid-level of 1/255 of the maximum, which shows as 0.00 with two decimals),
// and a bias-subtracted frame: the proposals keep
// the levels' precision (A above 0, each within a twentieth of a histogram
// bin of numpy's exact level), preview and OK run without a message, and the
// result is numpy's DDP with the proposed A, B and K.
TEST_F(DDPProposals, FloatFramesGetUsableProposalsAndNumpysPicture) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy, scipy' 2>/dev/null"), 0)
      << "python3-numpy or python3-scipy is missing: the cross-check cannot run";
  const int W = 41, H = 31;
  auto frame = [&](float Peak, float Sky, int Border) {
    return [=](int x, int y) {
      if (x < Border || y < Border || x >= W - Border || y >= H - Border) return 0.0f;
      const double star = std::exp(-((x - 20) * (x - 20) + (y - 15) * (y - 15)) / 3.0);
      return float(Peak * star + Sky * (1 + 0.2 * ((x * 7 + y * 3) % 5)));
    };
  };
  const struct {
    const char* Name;
    std::function<float(int, int)> Pixel;
  } cases[] = {
      {"normalised 0..1", frame(1.0f, 0.003f, 3)},
      {"normalised 0..1e-3", frame(1.0e-3f, 3.0e-6f, 4)},
      {"bias subtracted", [](int x, int y) { return float((x * 37 + y * 11) % 23) - 11.0f + (x == 9 && y == 7 ? 30000.0f : 0.0f); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* source = GreyWindow(W, H, 3, c.Pixel);
    QTemporaryDir dir;
    QFile f(dir.filePath("in.f32"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(source->DataImage->Pixels), qint64(W * H * 4));
    f.close();
    QProcess python;
    python.start("/usr/bin/python3", {CORVELLE_SOURCE_DIR "/tests/oracles/ddp.py", f.fileName(), QString::number(W),
                                      QString::number(H), "exact"});
    ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << python.readAllStandardError().toStdString();
    const QStringList abk = QString::fromUtf8(python.readAllStandardOutput()).simplified().split(' ');
    ASSERT_EQ(abk.size(), 4);
    const double bin = abk[2].toDouble() / 255;  // a histogram bin's width
    Errors.clear();
    Boxes.clear();
    const int windows = WindowCount();
    const TOpened opened = ProposeAndOK();
    const long double A = opened.A, B = opened.B, K = opened.K;
    EXPECT_GT(A, 0);
    EXPECT_NEAR(double(A), abk[0].toDouble(), bin / 20);
    EXPECT_NEAR(double(B), abk[1].toDouble(), bin / 20);
    EXPECT_NEAR(double(K), abk[2].toDouble(), bin / 20);
    EXPECT_GT(opened.Previews, 0);
    EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int e) { return e > 0; }), 0);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(WindowCount(), windows + 1);
    TChildForm* result = Form->ActiveMDIChild();
    EXPECT_EQ(result->Caption(), QStringLiteral("DDP Scale"));
    // The weak edge enhancement (3 x 3 mean) is the dialog's default.
    const std::vector<float> want =
        OraclePlane("ddp_apply.py", *source->DataImage,
                    {QString::number(W), QString::number(H), "1", QString::number(double(A), 'g', 17),
                     QString::number(double(B), 'g', 17), QString::number(double(K), 'g', 17), "max"});
    EXPECT_EQ(PixelsApart(*result->DataImage, want, 1e-5f, float(K)), 0);
    Form->MDIArea()->setActiveSubWindow(source);
  }
}

namespace {
// The words an oracle script prints for Image's plane (float32), run as
// tests/oracles/<Script> IN WIDTH HEIGHT Extra.
QStringList OracleWords(const char* Script, const TDataImage& Image, const QStringList& Extra = {}) {
  QTemporaryDir dir;
  QFile f(dir.filePath("in.f32"));
  if (!f.open(QIODevice::WriteOnly)) return {};
  f.write(reinterpret_cast<const char*>(Image.Pixels), qint64(Image.PixelCount() * 4));
  f.close();
  QProcess python;
  python.start("/usr/bin/python3", QStringList{CORVELLE_SOURCE_DIR "/tests/oracles/" + QString::fromLatin1(Script),
                                               f.fileName(), QString::number(Image.Width),
                                               QString::number(Image.Height)} +
                                       Extra);
  if (!python.waitForFinished(60000) || python.exitCode() != 0) {
    ADD_FAILURE() << Script << ": " << python.readAllStandardError().toStdString();
    return {};
  }
  return QString::fromUtf8(python.readAllStandardOutput()).simplified().split(' ');
}
}  // namespace

// Frames whose sky lies far below their brightest star, as 16-bit and as
// floating-point data, alone and as the inside of a registered mosaic whose
// zero border is more than 95 % of it: A and B are numpy's levels to the
// decimals of the bins they come from (a twentieth of a bin), also where the
// finer bins are refined once more (a sky at 1e-6 of the peak) and where 95 %
// of the pixels end exactly at a bin's edge or lie exactly at or below 0.
// Where 95 % of the pixels (of those above 0, in a mosaic) lie in the
// histogram's lowest bin, A is also numpy's 95 % level of them (within a
// twentieth of the sky's noise), between the sky's median and five sigma
// above it, B lies below the sky, and the DDP picture shows the sky grey.
// Frames whose level lies higher keep the histogram's levels (their sky in
// bin 3 or above, where a decimal too few would show), and K is the maximum
// to a millionth.
TEST_F(DDPProposals, LevelsAtTheFramesOwnResolutionAgainstNumpy) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null"), 0)
      << "python3-numpy is missing: the cross-check cannot run";
  struct TFrame {
    int W, H;
    std::vector<float> V;
    QRect Sky;  // sky far from the stars; empty for a drawn frame
  };
  // A sky of Sky +- Sigma with stars of Peak on 201 x 151 pixels (95 % of them
  // is no whole number), or on a mosaic of 601 x 451 that is 0 outside Inside.
  auto skyFrame = [](std::uint8_t Type, double Sky, double Sigma, double Peak, QRect Inside, QRect SkyArea) {
    const int W = Inside.isNull() ? 201 : 601, H = Inside.isNull() ? 151 : 451;
    if (Inside.isNull()) Inside = QRect(0, 0, W, H);
    std::mt19937 rng(41);
    std::normal_distribution<double> noise(Sky, Sigma);
    TFrame f{W, H, std::vector<float>(std::size_t(W * H)), SkyArea};
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const double star = Peak * std::exp(-((x - 40) * (x - 40) + (y - 30) * (y - 30)) / 4.5) +
                            Peak / 7 * std::exp(-((x - 70) * (x - 70) + (y - 60) * (y - 60)) / 3.0);
        const double p = std::min(noise(rng) + star, Peak);
        f.V[std::size_t(y * W + x)] = Inside.contains(x, y) ? float(Type == 1 ? std::nearbyint(p) : p) : 0.0f;
      }
    return f;
  };
  const QRect whole, top(0, 0, 201, 20);
  // Mosaics: 104 x 104 pixels of sky (96.01 % zero), and 52 x 52 (99.00 % zero).
  const QRect mosaic(10, 10, 104, 104), mosaicSky(10, 90, 104, 24), small(14, 4, 52, 52), smallSky(14, 45, 52, 11);
  // W x H pixels (1000 unless given), a star of 20000 and Runs below it.
  auto drawn = [](const std::vector<std::pair<int, float>>& Runs, int W = 40, int H = 25) {
    TFrame f{W, H, {}, {}};
    for (const auto& [n, value] : Runs) f.V.insert(f.V.end(), std::size_t(n), value);
    f.V.resize(std::size_t(W * H - 1), Runs.back().second);
    f.V.push_back(20000.0f);
    return f;
  };
  const struct {
    const char* Name;
    std::uint8_t Type;
    TFrame Frame;
    double Sky, Sigma;  // of the sky; 0 for drawn frames
    bool Lowest;        // 95 % of the frame (above 0 in a mosaic) in the histogram's lowest bin
    bool Mosaic;
  } cases[] = {
      {"calibrated, 16 bit", 1, skyFrame(1, 100, 10, 60000, whole, top), 100, 10, true, false},
      {"calibrated, float", 3, skyFrame(3, 100, 10, 60000, whole, top), 100, 10, true, false},
      {"faint sky, 16 bit", 1, skyFrame(1, 20, 3, 20000, whole, top), 20, 3, true, false},
      {"faint sky, float", 3, skyFrame(3, 20, 3, 20000, whole, top), 20, 3, true, false},
      {"normalised, float", 3, skyFrame(3, 0.0015, 0.00018, 1, whole, top), 0.0015, 0.00018, true, false},
      {"normalised, as 16 bit", 1, skyFrame(1, 0.0015 * 65535, 0.00018 * 65535, 65535, whole, top),
       0.0015 * 65535, 0.00018 * 65535, true, false},
      {"sky subtracted, 16 bit", 1, skyFrame(1, 0, 8, 30000, whole, top), 0, 8, true, false},
      {"sky subtracted, float", 3, skyFrame(3, 0, 8, 30000, whole, top), 0, 8, true, false},
      {"sky in bin 3", 3, skyFrame(3, 0.0123, 0.0003, 0.987654, whole, top), 0.0123, 0.0003, false, false},
      {"sky in bin 5 of 1e-3", 3, skyFrame(3, 0.0000196, 0.0000003, 0.000987654, whole, top), 0.0000196,
       0.0000003, false, false},
      // The first finer bins hold it all again: a second refinement.
      {"sky at 1e-6 of the peak, float", 3, skyFrame(3, 1e-6, 2e-7, 1, whole, top), 1e-6, 2e-7, true, false},
      {"sky at 1e-6 of 60000, float", 3, skyFrame(3, 0.06, 0.012, 60000, whole, top), 0.06, 0.012, true, false},
      {"mosaic 96 % zero, 16 bit", 1, skyFrame(1, 20, 3, 20000, mosaic, mosaicSky), 20, 3, true, true},
      {"mosaic 96 % zero, float", 3, skyFrame(3, 20, 3, 20000, mosaic, mosaicSky), 20, 3, true, true},
      {"mosaic 99 % zero, 16 bit", 1, skyFrame(1, 20, 3, 20000, small, smallSky), 20, 3, true, true},
      {"mosaic 99 % zero, float", 3, skyFrame(3, 20, 3, 20000, small, smallSky), 20, 3, true, true},
      {"mosaic of a calibrated sky, 16 bit", 1, skyFrame(1, 100, 10, 65000, mosaic, mosaicSky), 100, 10, true, true},
      {"mosaic whose sky is in bin 1 or 2", 3, skyFrame(3, 100, 10, 20000, mosaic, mosaicSky), 100, 10, false, true},
      {"mosaic at 1e-6 of the peak, float", 3, skyFrame(3, 1e-6, 2e-7, 1, mosaic, mosaicSky), 1e-6, 2e-7, true,
       true},
      // The running count reaches 950 of 1000 exactly at the bin of 20: the
      // level is the next one, 30.
      {"95 % end at a finer bin's edge", 1, drawn({{950, 20.0f}, {49, 30.0f}}), 0, 0, true, false},
      // 950 of 1000 at or below 0 are not more than 95 %: the level is the
      // lowest sky's, not the 95 % level of the pixels above 0.
      {"exactly 95 % at or below 0", 3,
       drawn({{900, 0.0f}, {50, -5.0f}, {10, 20.0f}, {10, 22.5f}, {10, 25.0f}, {10, 27.5f}, {9, 30.0f}}), 0, 0,
       true, false},
      // 951 of them are: the 95 % level of the 49 above 0.
      {"95.1 % at or below 0", 3, drawn({{951, 0.0f}, {16, 20.0f}, {16, 25.0f}, {16, 30.0f}}), 0, 0, true, true},
      // A mosaic (96 % zero) whose pixels above 0 lie 10 % in bin 0, 85.5 % in
      // bin 1 and 4.5 % in bin 2: the level is bin 1's, counting those of bin 0.
      {"mosaic above 0 in bins 0, 1 and 2", 3,
       drawn({{24000, 0.0f}, {100, 20.0f}, {855, 80.0f}, {45, 150.0f}}, 250, 100), 0, 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const int W = c.Frame.W, H = c.Frame.H;
    TChildForm* source = GreyWindow(W, H, c.Type, [&](int x, int y) { return c.Frame.V[std::size_t(y * W + x)]; });
    const float top = Largest(*source->DataImage);
    const QStringList exact = OracleWords("ddp.py", *source->DataImage, {"exact"});
    ASSERT_EQ(exact.size(), 4);
    const double bin = exact[3].toDouble();  // the width of the bins A and B come from
    Errors.clear();
    Boxes.clear();
    const int windows = WindowCount();
    const TOpened opened = ProposeAndOK();
    const long double A = opened.A, B = opened.B, K = opened.K;
    EXPECT_NEAR(double(K), top, 1e-6 * top);
    EXPECT_EQ(bin < top / 255.0 * 0.999, c.Lowest) << "the case reaches the finer bins";
    EXPECT_NEAR(double(A), exact[0].toDouble(), bin / 20);
    EXPECT_NEAR(double(B), exact[1].toDouble(), bin / 20);
    if (c.Sigma > 0) {
      const QStringList levels =
          OracleWords("percentile.py", *source->DataImage, c.Mosaic ? QStringList{"above"} : QStringList{});
      ASSERT_GE(levels.size(), 2);
      const double level = levels[0].toDouble(), median = levels[1].toDouble();
      EXPECT_NEAR(double(A), level, bin / 2 + bin / 20);
      if (c.Lowest) {
        EXPECT_NEAR(double(A), level, c.Sigma / 20);
        EXPECT_GT(A, median);
        EXPECT_LT(A, median + 5 * c.Sigma);
        // The border lies at 0, below the sky: the background is its bin's.
        if (!c.Mosaic) {
          EXPECT_GE(B, median - 5 * c.Sigma);
        }
        EXPECT_LT(B, median + c.Sigma / 20);
      }
    }
    EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int e) { return e > 0; }), 0);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(WindowCount(), windows + 1);
    // The sky, away from the stars, is drawn grey, not black.
    TChildForm* result = Form->ActiveMDIChild();
    const QImage picture = result->ImageDisplay->grab().toImage();
    double grey = 0;
    int n = 0;
    for (int y = c.Frame.Sky.top(); y <= c.Frame.Sky.bottom(); ++y)
      for (int x = c.Frame.Sky.left(); x <= c.Frame.Sky.right(); ++x, ++n) grey += qGray(picture.pixel(x, y));
    if (c.Lowest && n > 0) {
      EXPECT_GT(grey / n, 40) << "the sky's mean grey level";
      EXPECT_LT(grey / n, 215) << "the sky's mean grey level";
    }
    Form->MDIArea()->setActiveSubWindow(source);
  }
}
