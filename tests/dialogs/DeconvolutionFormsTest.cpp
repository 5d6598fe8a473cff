// The Restoration commands: runs and previews on a blurred star field with a
// modelled and an extracted PSF against the engine run on its own, the rounds
// shown while they run, and the runs that stop without a window.
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <cmath>

#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/PreviewFrame.h"
#include "app/Utilities.h"
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
  for (const TStar& s : Stars) v += float(s.Peak * std::exp(-((x - s.X) * (x - s.X) + (y - s.Y) * (y - s.Y)) / 8.0));
  return v;
}
// The pixels about a star above half its height over the box's floor; this
// area grows with the square of the star's full width at half maximum.
int HalfMaximumArea(const TDataImage& Im, const TStar& S) {
  std::vector<float> box;
  for (int y = int(S.Y) - 7; y <= int(S.Y) + 7; ++y)
    for (int x = int(S.X) - 7; x <= int(S.X) + 7; ++x) box.push_back(Im.GetPixel(x, y));
  const auto [lo, hi] = std::minmax_element(box.begin(), box.end());
  return int(std::count_if(box.begin(), box.end(), [&](float v) { return v > *lo + (*hi - *lo) / 2; }));
}
struct TDialog {
  const char* Action;
  TfrmDeconvolution** Form;
  const char* Result;
  std::unique_ptr<TDataImage> (*Engine)(int, TDataImage&, TDataImage&);
};
const TDialog Dialogs[] = {
    {"RestorationLucyRichardson", reinterpret_cast<TfrmDeconvolution**>(&frmLucyRichardson), "Lucy Richardson",
     [](int n, TDataImage& o, TDataImage& p) { return LucyRichardsonDeconvolve(n, o, p); }},
    {"RestorationMaxEntropy", reinterpret_cast<TfrmDeconvolution**>(&frmMaximumEntropy), "Maximum Entropy",
     [](int n, TDataImage& o, TDataImage& p) { return MaximumEntropyDeconvolve(n, o, p); }},
    {"RestorationVanCittert", reinterpret_cast<TfrmDeconvolution**>(&frmVanCittert), "Van Cittert",
     [](int n, TDataImage& o, TDataImage& p) { return VanCittertDeconvolve(n, o, p); }},
};
}  // namespace

class DeconvolutionFormsTest : public RestorationTest {
 protected:
  TChildForm* Field() { return GreyWindow(W, H, 3, StarField, QStringLiteral("Stars")); }
  static void ChoosePSF(QWidget* D, int Item) { Tick(Find<QRadioButton>(D, QStringLiteral("rdoPSF%1").arg(Item))); }
};

TEST_F(DeconvolutionFormsTest, RunsAndPreviewsSharpenTheStarsAndShowTheirRounds) {
  struct TCase {
    int Dialog, PSF, Iterations;  // PSF 0 Gaussian, 2 extracted
    bool Preview;
    std::vector<int> Bars;
  };
  const std::vector<int> four = {25, 50, 75, 100}, eight = {12, 25, 38, 50, 62, 75, 88, 100};
  const std::vector<TCase> cases = {{0, 0, 4, false, four}, {0, 2, 8, false, eight}, {1, 0, 8, false, eight},
                                    {1, 2, 4, false, four}, {2, 0, 4, false, four},  {2, 2, 8, false, eight},
                                    {0, 2, 4, true, four},  {1, 0, 4, true, four},   {2, 2, 4, true, four}};
  for (const TCase& c : cases) {
    const TDialog& d = Dialogs[c.Dialog];
    SCOPED_TRACE(testing::Message() << d.Result << ", PSF " << c.PSF << (c.Preview ? ", preview" : ""));
    CloseWindows();
    TChildForm* source = Field();
    Drag(source->ImageOverlay, QPoint(24, 34), QPoint(36, 46));  // frames the star at (30, 40)
    TfrmDeconvolution* form = *d.Form;
    std::vector<QString> labels;  // what the user sees after each round
    std::vector<int> bars;
    const TProgressHandler previous = SetProgressHandler([&](int Iteration, int) {
      if (!form->Running()) return;
      labels.push_back(form->lblStatus->text());
      bars.push_back(form->ProgressBar->value());
      if (Iteration == 2 && !c.Preview && c.Dialog == 0) Save(form->grab().toImage(), "lucy-richardson-running.png");
    });
    auto thumb = std::make_unique<TDataImage>(), shown = std::make_unique<TDataImage>();
    RunCommand(d.Action, [&](QWidget* dlg) {
      EXPECT_EQ(form->lblStatus->text(), QStringLiteral("Status: Idle"));
      Find<QLineEdit>(dlg, QStringLiteral("iedIterations"))->selectAll();
      QTest::keyClicks(Find<QLineEdit>(dlg, QStringLiteral("iedIterations")), QString::number(c.Iterations));
      ChoosePSF(dlg, c.PSF);
      Click(dlg, c.Preview ? "btnPreview" : "btnOK");
      EXPECT_EQ(dlg->isVisible(), c.Preview);
      if (!c.Preview) return;
      CopyImageData(*form->fmePreview->SourceImage, *thumb);
      CopyImageData(*form->fmePreview->ResultImage, *shown);
      // The preview's result spans its own range, as the result window will.
      shown->AutoScale();
      EXPECT_EQ(form->fmePreview->ResultImage->WhitePoint, shown->WhitePoint);
      EXPECT_EQ(form->fmePreview->ResultImage->BlackPoint, shown->BlackPoint);
      Click(dlg, "btnCancel");
    });
    SetProgressHandler(previous);
    std::vector<QString> want;
    for (int i = 1; i <= c.Iterations; ++i) want.push_back(QStringLiteral("Iteration: %1").arg(i));
    EXPECT_EQ(labels, want);
    EXPECT_EQ(bars, c.Bars);
    EXPECT_EQ(form->lblStatus->text(), QStringLiteral("Status: Idle"));
    EXPECT_EQ(form->ProgressBar->value(), 0);
    ASSERT_EQ(WindowCount(), c.Preview ? 1 : 2);
    const TDataImage* out = c.Preview ? shown.get() : Form->ActiveMDIChild()->DataImage.get();
    if (!c.Preview) {
      EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QString::fromLatin1(d.Result));
      EXPECT_EQ(out->DataType, 3);
      for (const TStar& s : Stars) EXPECT_LT(HalfMaximumArea(*out, s), HalfMaximumArea(*source->DataImage, s));
    }
    // The engine on its own on the padded image (or thumbnail 160 x 128 in a
    // 256 x 128 frame); an extracted PSF takes the full image's star.
    const TDataImage& in = c.Preview ? *thumb : *source->DataImage;
    ASSERT_EQ(out->Width, c.Preview ? 160 : W);
    ASSERT_EQ(out->Height, c.Preview ? 128 : H);
    int ox = 0, oy = 0, pw = 0, ph = 0;
    auto padded = PadToPowerOfTwo(in, ox, oy, pw, ph);
    ASSERT_EQ(pw, c.Preview ? 256 : 128);
    float x = 0, y = 0;
    ASSERT_TRUE(CalcCentroid(x, y, *source));
    auto psf = c.PSF == 0 ? CreateGaussianPSF(pw, ph, 2.0f) : ExtractPSF(pw, ph, 5, x, y, *source->DataImage);
    auto result = d.Engine(c.Iterations, *padded, *psf);
    std::vector<float> cut;
    for (int j = 0; j < out->Height; ++j)
      for (int i = 0; i < out->Width; ++i) cut.push_back(result->GetPixel(i + ox, j + oy));
    EXPECT_EQ(Differing(cut, *out), 0);
    if (!c.Preview) {
      EXPECT_EQ(out->WhitePoint, *std::max_element(cut.begin(), cut.end()));
    }
  }
  EXPECT_TRUE(Boxes.empty());
  EXPECT_TRUE(Warnings.empty());
}

TEST_F(DeconvolutionFormsTest, RunsThatStopMakeNoWindowAndSayWhy) {
  struct TCase {
    int Dialog;
    std::function<TChildForm*()> Window;
    int PSF;
    const char* Button;
    bool Closes;
    std::vector<std::string> EngineWarnings;
    std::vector<QString> BoxTexts;
    std::vector<int> Reported;
  };
  auto colour = [this] { return ColourWindow(40, 30, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 7}; }); };
  const QString grey = QStringLiteral("Maximum entropy deconvolution can only be performed on grey scale images.");
  const std::vector<TCase> cases = {
      {0, [this] { return Field(); }, 2, "btnOK", true,
       {"There is no area currently defined.  To define an area, draw a bounding box around the region of "
        "interest."},
       {QString::fromLatin1(msgNoPSF)}, {}},
      {1, colour, 0, "btnOK", false, {}, {grey}, {}},
      {1, colour, 0, "btnPreview", false, {}, {grey}, {}},
      {2, [this] { return GreyWindow(8193, 1, 3, [](int x, int) { return float(x); }); }, 0, "btnOK", true, {},
       {QString::fromLatin1(msgFourierTooLarge)}, {}},
      // A blur with nothing above zero of an image with something leaves Van
      // Cittert nothing to scale: it says so once. (A black image gives black.)
      {2, [this] { return GreyWindow(50, 40, 3, [](int x, int y) { return x == 25 && y == 20 ? 0.001f : -100.0f; }); },
       0, "btnOK", true, {}, {}, {errVanCittertDeconvolve}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << Dialogs[c.Dialog].Result << " " << c.Button);
    Boxes.clear(), Warnings.clear(), Errors.clear();
    CloseWindows();
    c.Window();
    bool open = false;
    RunCommand(Dialogs[c.Dialog].Action, [&](QWidget* dlg) {
      ChoosePSF(dlg, c.PSF);
      Click(dlg, c.Button);
      open = dlg->isVisible();
    });
    EXPECT_EQ(open, !c.Closes);
    EXPECT_EQ(WindowCount(), 1);
    EXPECT_EQ(Warnings, c.EngineWarnings);
    EXPECT_EQ(BoxTexts(), c.BoxTexts);
    Errors.erase(std::remove(Errors.begin(), Errors.end(), 0), Errors.end());
    EXPECT_EQ(Errors, c.Reported);
  }
}

TEST_F(DeconvolutionFormsTest, PSFChoiceEnablesItsRadiusAndARunCannotBeClosed) {
  Field();
  RunCommand("RestorationVanCittert", [&](QWidget* dlg) {
    TfrmDeconvolution* f = frmVanCittert;
    EXPECT_EQ(f->iedIterations->text(), QStringLiteral("5"));
    EXPECT_EQ(f->lblCurveRad->buddy(), f->fedCurveRad);
    EXPECT_EQ(f->lblExtractionRad->buddy(), f->iedExtractionRad);
    for (int item : {0, 2, 1, 2, 0}) {
      ChoosePSF(dlg, item);
      EXPECT_EQ(f->fedCurveRad->isEnabled(), item != 2);
      EXPECT_EQ(f->lblCurveRad->isEnabled(), item != 2);
      EXPECT_EQ(f->iedExtractionRad->isEnabled(), item == 2);
      EXPECT_EQ(f->lblExtractionRad->isEnabled(), item == 2);
    }
    // Escape and the close button during the rounds change nothing.
    int rounds = 0;
    bool stayed = true;
    const TProgressHandler previous = SetProgressHandler([&](int, int) {
      ++rounds;
      QTest::keyClick(dlg, Qt::Key_Escape);
      dlg->close();
      stayed = stayed && dlg->isVisible() && !f->btnPreview->isEnabled();
    });
    Click(dlg, "btnOK");
    SetProgressHandler(previous);
    EXPECT_EQ(rounds, 5);
    EXPECT_TRUE(stayed);
    EXPECT_FALSE(dlg->isVisible());
  });
  ASSERT_EQ(WindowCount(), 2);
  EXPECT_EQ(Form->ActiveMDIChild()->Caption(), QStringLiteral("Van Cittert"));
}
