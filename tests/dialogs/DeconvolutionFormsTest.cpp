// The three deconvolution dialogs driven through the Restoration menu: runs on
// a blurred star field with a modelled and an extracted PSF, the rounds shown
// while they run, and the runs that stop without a window.
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <cmath>
#include <cstring>

#include "app/IntEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/DeconvolutionForms.h"
#include "dialogs/RestorationTestUtil.h"
#include "engine/FFT.h"
#include "engine/LucyRichardson1.h"
#include "engine/MaximumEntropy.h"
#include "engine/Measure.h"
#include "engine/PSF.h"
#include "engine/VanCittert.h"

namespace {

constexpr int W = 100, H = 80;
struct TStar {
  float X, Y, Peak;
};
const TStar Stars[] = {{30, 40, 1000}, {70, 25, 600}, {55, 62, 800}};

// Stars blurred by a Gaussian of sigma 2 on a background of 10.
float StarField(int x, int y) {
  float v = 10;
  for (const TStar& s : Stars) {
    const double d2 = (x - s.X) * (x - s.X) + (y - s.Y) * (y - s.Y);
    v += float(s.Peak * std::exp(-d2 / 8.0));
  }
  return v;
}

// Pixels of the box about a star above half its height over the box's
// minimum: the area inside the star's half maximum, which grows with the
// square of its full width at half maximum.
int HalfMaximumArea(const TDataImage& Im, const TStar& S) {
  float lo = 2.0e32f, hi = 0;
  for (int y = int(S.Y) - 7; y <= int(S.Y) + 7; ++y)
    for (int x = int(S.X) - 7; x <= int(S.X) + 7; ++x) {
      lo = std::min(lo, Im.GetPixel(x, y));
      hi = std::max(hi, Im.GetPixel(x, y));
    }
  int n = 0;
  for (int y = int(S.Y) - 7; y <= int(S.Y) + 7; ++y)
    for (int x = int(S.X) - 7; x <= int(S.X) + 7; ++x) n += Im.GetPixel(x, y) > lo + (hi - lo) / 2;
  return n;
}

void TypeInto(QWidget* D, const char* Name, const QString& Text) {
  auto* e = D->findChild<QLineEdit*>(QString::fromLatin1(Name));
  ASSERT_NE(e, nullptr) << Name;
  e->selectAll();
  QTest::keyClick(e, Qt::Key_Delete);
  QTest::keyClicks(e, Text);
}

void ChoosePSF(QWidget* D, int Item) {
  auto* r = D->findChild<QRadioButton*>(QStringLiteral("rdoPSF%1").arg(Item));
  QTest::mouseClick(r, Qt::LeftButton, {}, QPoint(6, r->height() / 2));
  ASSERT_TRUE(r->isChecked());
}

struct TDialogCase {
  const char* Action;
  TfrmDeconvolution** Form;
  const char* Caption;
  const char* Result;
  std::unique_ptr<TDataImage> (*Engine)(int, TDataImage&, TDataImage&);
};
const TDialogCase Dialogs[] = {
    {"RestorationLucyRichardson", reinterpret_cast<TfrmDeconvolution**>(&frmLucyRichardson),
     "Lucy-Richardson Deconvolution", "Lucy Richardson",
     [](int n, TDataImage& o, TDataImage& p) { return LucyRichardsonDeconvolve(n, o, p); }},
    {"RestorationMaxEntropy", reinterpret_cast<TfrmDeconvolution**>(&frmMaximumEntropy),
     "Maximum Entropy Deconvolution", "Maximum Entropy",
     [](int n, TDataImage& o, TDataImage& p) { return MaximumEntropyDeconvolve(n, o, p); }},
    {"RestorationVanCittert", reinterpret_cast<TfrmDeconvolution**>(&frmVanCittert), "Van Cittert Deconvolution",
     "Van Cittert", [](int n, TDataImage& o, TDataImage& p) { return VanCittertDeconvolve(n, o, p); }},
};

}  // namespace

class DeconvolutionFormsTest : public RestorationTest {
 protected:
  void SetUp() override {
    RestorationTest::SetUp();
    PreviousWarning = SetWarningHandler([this](const std::string& T) { Warnings.push_back(T); });
  }
  void TearDown() override {
    SetWarningHandler(PreviousWarning);
    RestorationTest::TearDown();
  }
  TChildForm* Field() { return GreyWindow(W, H, 3, StarField, QStringLiteral("Stars")); }
  std::vector<std::string> Warnings;
  TWarningHandler PreviousWarning;
};

TEST_F(DeconvolutionFormsTest, RunsSharpenTheStarsAndShowTheirRounds) {
  struct TCase {
    int Dialog;
    int PSF;  // 0 Gaussian, 2 extracted
    int Iterations;
    std::vector<int> Percents;
  };
  const std::vector<TCase> cases = {
      {0, 0, 4, {25, 50, 75, 100}},
      {0, 2, 8, {12, 25, 38, 50, 62, 75, 88, 100}},
      {1, 0, 8, {12, 25, 38, 50, 62, 75, 88, 100}},
      {1, 2, 4, {25, 50, 75, 100}},
      {2, 0, 4, {25, 50, 75, 100}},
      {2, 2, 8, {12, 25, 38, 50, 62, 75, 88, 100}},
  };
  for (const TCase& c : cases) {
    const TDialogCase& d = Dialogs[c.Dialog];
    SCOPED_TRACE(testing::Message() << d.Caption << ", PSF " << c.PSF);
    TChildForm* source = Field();
    // The star at (30, 40) is framed for the extraction.
    Drag(source->ImageOverlay, QPoint(24, 34), QPoint(36, 46));
    TfrmDeconvolution* form = *d.Form;
    // What the user sees after each round.
    std::vector<QString> labels;
    std::vector<int> bars;
    const TProgressHandler previous = SetProgressHandler([&](int, int) {
      labels.push_back(form->lblStatus->text());
      bars.push_back(form->ProgressBar->value());
    });
    QString idleBefore;
    RunCommand(d.Action, [&](QWidget* dlg) {
      EXPECT_EQ(dlg->windowTitle(), QString::fromLatin1(d.Caption));
      idleBefore = form->lblStatus->text();
      TypeInto(dlg, "iedIterations", QString::number(c.Iterations));
      ChoosePSF(dlg, c.PSF);
      Click(dlg, "btnOK");
    });
    SetProgressHandler(previous);
    EXPECT_EQ(idleBefore, QStringLiteral("Status: Idle"));
    std::vector<QString> wantLabels;
    for (int i = 1; i <= c.Iterations; ++i) wantLabels.push_back(QStringLiteral("Iteration: %1").arg(i));
    EXPECT_EQ(labels, wantLabels);
    EXPECT_EQ(bars, c.Percents);
    EXPECT_EQ(form->lblStatus->text(), QStringLiteral("Status: Idle"));
    EXPECT_EQ(form->ProgressBar->value(), 0);
    EXPECT_TRUE(form->btnPreview->isEnabled());

    TChildForm* result = Form->ActiveMDIChild();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->Caption(), QString::fromLatin1(d.Result));
    const TDataImage& out = *result->DataImage;
    ASSERT_EQ(out.Width, W);
    ASSERT_EQ(out.Height, H);
    EXPECT_EQ(out.DataType, 3);
    EXPECT_FALSE(out.IsColour);

    // The engine run on its own, on the padded image, cut back at the offsets.
    int ox = 0, oy = 0, pw = 0, ph = 0;
    auto padded = PadToPowerOfTwo(*source->DataImage, ox, oy, pw, ph);
    ASSERT_EQ(pw, 128);
    ASSERT_EQ(ph, 128);
    EXPECT_EQ(ox, 14);
    EXPECT_EQ(oy, 24);
    std::unique_ptr<TDataImage> psf;
    if (c.PSF == 0) {
      psf = CreateGaussianPSF(pw, ph, 2.0f);
    } else {
      float x = 0, y = 0;
      ASSERT_TRUE(CalcCentroid(x, y, *source));
      psf = ExtractPSF(pw, ph, 5, x, y, *source->DataImage);
    }
    auto want = d.Engine(c.Iterations, *padded, *psf);
    ASSERT_TRUE(want);
    int wrong = 0;
    float lo = 2.0e32f, hi = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const float v = want->GetPixel(x + ox, y + oy);
        wrong += std::memcmp(&v, &out.Pixels[y * W + x], 4) != 0;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(out.BlackPoint, lo);
    EXPECT_EQ(out.WhitePoint, hi);
    // Sharper than the blurred field.
    for (const TStar& s : Stars) EXPECT_LT(HalfMaximumArea(out, s), HalfMaximumArea(*source->DataImage, s));
  }
  EXPECT_TRUE(Boxes.empty());
  EXPECT_TRUE(Warnings.empty());
}

TEST_F(DeconvolutionFormsTest, RunsThatStopMakeNoWindowAndSayWhy) {
  struct TCase {
    const char* What;
    int Dialog;
    std::function<TChildForm*()> Window;
    int PSF;
    bool Closes;
    std::vector<std::string> EngineWarnings;
    std::vector<QString> BoxTexts;
    std::vector<int> Reported;  // positive error numbers
  };
  const std::vector<TCase> cases = {
      {"extraction without a region", 0, [this] { return Field(); }, 2, true,
       {"There is no area currently defined.  To define an area, draw a bounding box around the region of "
        "interest."},
       {QString::fromLatin1(msgNoPSF)},
       {}},
      {"colour image", 1,
       [this] {
         return ColourWindow(40, 30, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 7}; });
       },
       0, false, {}, {QStringLiteral("Maximum entropy deconvolution can only be performed on grey scale images.")},
       {}},
      {"wider than the transform takes", 2,
       [this] { return GreyWindow(8193, 1, 3, [](int x, int) { return float(x); }); }, 0,
       true, {}, {QString::fromLatin1(msgFourierTooLarge)}, {}},
      // A black image leaves Van Cittert nothing to scale: the engine says so
      // once and the dialog adds nothing.
      {"engine failure", 2, [this] { return GreyWindow(50, 40, 3, [](int, int) { return 0.0f; }); },
       0, true, {}, {}, {errVanCittertDeconvolve}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Boxes.clear();
    Warnings.clear();
    Errors.clear();
    c.Window();
    const int before = WindowCount();
    bool open = false;
    RunCommand(Dialogs[c.Dialog].Action, [&](QWidget* dlg) {
      ChoosePSF(dlg, c.PSF);
      Click(dlg, "btnOK");
      open = dlg->isVisible();
    });
    EXPECT_EQ(open, !c.Closes);
    EXPECT_EQ(WindowCount(), before);
    EXPECT_EQ(Warnings, c.EngineWarnings);
    std::vector<QString> texts;
    for (const auto& b : Boxes) texts.push_back(b.Text);
    EXPECT_EQ(texts, c.BoxTexts);
    std::vector<int> reported;
    for (int e : Errors)
      if (e > 0) reported.push_back(e);
    EXPECT_EQ(reported, c.Reported);
    EXPECT_EQ((*Dialogs[c.Dialog].Form)->lblStatus->text(), QStringLiteral("Status: Idle"));
  }
}

TEST_F(DeconvolutionFormsTest, PSFChoiceEnablesItsRadiusAndRunsCannotBeClosed) {
  Field();
  RunCommand("RestorationVanCittert", [&](QWidget* dlg) {
    TfrmDeconvolution* f = frmVanCittert;
    struct TStep {
      int Item;
      bool Curve, Extraction;
    };
    EXPECT_TRUE(f->fedCurveRad->isEnabled());
    EXPECT_FALSE(f->iedExtractionRad->isEnabled());
    for (const TStep& s : {TStep{2, false, true}, TStep{1, true, false}, TStep{2, false, true}, TStep{0, true, false}}) {
      ChoosePSF(dlg, s.Item);
      EXPECT_EQ(f->fedCurveRad->isEnabled(), s.Curve);
      EXPECT_EQ(f->lblCurveRad->isEnabled(), s.Curve);
      EXPECT_EQ(f->iedExtractionRad->isEnabled(), s.Extraction);
      EXPECT_EQ(f->lblExtractionRad->isEnabled(), s.Extraction);
    }
    EXPECT_EQ(f->iedIterations->text(), QStringLiteral("5"));
    // Escape and the close button during a round change nothing.
    int rounds = 0;
    bool visibleDuring = true, buttonsOff = true;
    const TProgressHandler previous = SetProgressHandler([&](int, int) {
      ++rounds;
      QTest::keyClick(dlg, Qt::Key_Escape);
      dlg->close();
      visibleDuring = visibleDuring && dlg->isVisible();
      buttonsOff = buttonsOff && !f->btnPreview->isEnabled() && !dlg->findChild<QPushButton*>(QStringLiteral("btnCancel"))->isEnabled();
    });
    Click(dlg, "btnOK");
    SetProgressHandler(previous);
    EXPECT_EQ(rounds, 5);
    EXPECT_TRUE(visibleDuring);
    EXPECT_TRUE(buttonsOff);
    EXPECT_FALSE(dlg->isVisible());
  });
  ASSERT_EQ(WindowCount(), 2);
  EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("Van Cittert"));
  // Labels reach their boxes.
  for (TfrmDeconvolution* f : {static_cast<TfrmDeconvolution*>(frmLucyRichardson),
                               static_cast<TfrmDeconvolution*>(frmMaximumEntropy),
                               static_cast<TfrmDeconvolution*>(frmVanCittert)}) {
    EXPECT_EQ(f->lblCurveRad->buddy(), f->fedCurveRad);
    EXPECT_EQ(f->lblExtractionRad->buddy(), f->iedExtractionRad);
    EXPECT_FALSE(f->iedIterations->accessibleName().isEmpty());
  }
}

TEST_F(DeconvolutionFormsTest, PreviewRunsOnTheThumbnailAndKeepsTheDialogOpen) {
  TChildForm* source = Field();
  Drag(source->ImageOverlay, QPoint(24, 34), QPoint(36, 46));
  struct TCase {
    int Dialog, PSF, Iterations;
  };
  for (const TCase& c : {TCase{0, 0, 3}, TCase{1, 2, 2}, TCase{2, 2, 3}}) {
    const TDialogCase& d = Dialogs[c.Dialog];
    SCOPED_TRACE(d.Caption);
    TfrmDeconvolution* form = *d.Form;
    std::vector<QString> labels;
    const TProgressHandler previous =
        SetProgressHandler([&](int, int) {
          if (form->Running()) labels.push_back(form->lblStatus->text());
        });
    RunCommand(d.Action, [&](QWidget* dlg) {
      TfmePreview& frame = *form->fmePreview;
      ASSERT_TRUE(frame.HasImages());
      const TDataImage& thumb = *frame.SourceImage;
      const TDataImage& shown = *frame.ResultImage;
      ASSERT_EQ(thumb.Width, 160);
      ASSERT_EQ(thumb.Height, 128);
      // The full image's display range, kept through the preview.
      EXPECT_EQ(shown.WhitePoint, source->DataImage->WhitePoint);
      EXPECT_EQ(shown.BlackPoint, source->DataImage->BlackPoint);
      TypeInto(dlg, "iedIterations", QString::number(c.Iterations));
      ChoosePSF(dlg, c.PSF);
      Click(dlg, "btnPreview");
      EXPECT_TRUE(dlg->isVisible());
      EXPECT_EQ(shown.WhitePoint, source->DataImage->WhitePoint);
      EXPECT_EQ(form->lblStatus->text(), QStringLiteral("Status: Idle"));

      // The engine on the padded thumbnail; an extracted PSF takes the full
      // image's star with the thumbnail's frame.
      int ox = 0, oy = 0, pw = 0, ph = 0;
      auto padded = PadToPowerOfTwo(thumb, ox, oy, pw, ph);
      ASSERT_EQ(pw, 256);
      ASSERT_EQ(ph, 128);
      std::unique_ptr<TDataImage> psf;
      if (c.PSF == 0) {
        psf = CreateGaussianPSF(pw, ph, 2.0f);
      } else {
        float x = 0, y = 0;
        ASSERT_TRUE(CalcCentroid(x, y, *source));
        psf = ExtractPSF(pw, ph, 5, x, y, *source->DataImage);
      }
      auto want = d.Engine(c.Iterations, *padded, *psf);
      ASSERT_TRUE(want);
      int wrong = 0;
      for (int y = 0; y < thumb.Height; ++y)
        for (int x = 0; x < thumb.Width; ++x) {
          const float v = want->GetPixel(x + ox, y + oy);
          wrong += std::memcmp(&v, &shown.Pixels[y * thumb.Width + x], 4) != 0;
        }
      EXPECT_EQ(wrong, 0);
      Click(dlg, "btnCancel");
    });
    SetProgressHandler(previous);
    std::vector<QString> want;
    for (int i = 1; i <= c.Iterations; ++i) want.push_back(QStringLiteral("Iteration: %1").arg(i));
    EXPECT_EQ(labels, want);
    EXPECT_EQ(WindowCount(), 1);
  }
  // A colour image shows its thumbnails; Preview and OK only warn.
  ColourWindow(60, 60, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 9}; });
  RunCommand("RestorationLucyRichardson", [&](QWidget* dlg) {
    ASSERT_TRUE(frmLucyRichardson->fmePreview->HasImages());
    EXPECT_TRUE(frmLucyRichardson->fmePreview->SourceImage->IsColour);
    Click(dlg, "btnPreview");
    Click(dlg, "btnOK");
    EXPECT_TRUE(dlg->isVisible());
  });
  ASSERT_EQ(Boxes.size(), 2u);
  for (const auto& b : Boxes) {
    EXPECT_EQ(b.Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(b.Text, QStringLiteral("Lucy Richardson deconvolution can only be performed on grey scale images."));
  }
  EXPECT_EQ(WindowCount(), 2);
}
