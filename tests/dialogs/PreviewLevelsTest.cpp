// The preview of the dialogs on a faint 16-bit sky with stars, against the
// result window that OK makes: the sky the preview shows is the sky the result
// window shows, with Quick Scale shown (the new window takes its "Max Pixel"
// levels) and hidden (it keeps the levels it was made with).
#include <QLineEdit>
#include <QSlider>

#include "DialogTestUtil.h"
#include "app/Child.h"
#include "app/Display.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/QuickScaleForm.h"
#include "dialogs/BrightnessContrastForm.h"
#include "dialogs/CustomFilterForm.h"
#include "dialogs/DeconvolutionForms.h"
#include "dialogs/GammaForm.h"
#include "dialogs/LinearForm.h"
#include "dialogs/LogForm.h"
#include "dialogs/PseudoColourForm.h"
#include "engine/ColProcessing.h"

namespace {
// A sky of about 900 (noise about 25) with 90 stars up to saturation: the
// thumbnail misses most of their peaks.
float SkyPixel(int x, int y) {
  std::uint32_t s = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u;
  auto next = [](std::uint32_t& g) {
    g = g * 1664525u + 1013904223u;
    return float(g >> 8) / float(1u << 24);
  };
  float noise = 0;
  for (int i = 0; i < 6; ++i) noise += next(s);
  float v = 900.0f + (noise - 3.0f) * 35.0f;
  std::uint32_t g = 12345u;
  for (int k = 0; k < 90; ++k) {
    const float cx = next(g) * 600, cy = next(g) * 400, peak = std::pow(10.0f, 2.3f + 2.7f * next(g)),
                sigma = 0.7f + 0.9f * next(g);
    const float d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    if (d2 < 49 * sigma * sigma) v += peak * std::exp(-d2 / (2 * sigma * sigma));
  }
  return std::min(65535.0f, std::max(0.0f, std::nearbyint(v)));
}

// The same sky in bytes, about 30.
TRGBPixel SkyBytes(int x, int y) {
  const auto b = std::uint8_t(std::min(255.0f, std::nearbyint(SkyPixel(x, y) / 30.0f)));
  return {b, b, b};
}

// The median grey a picture shows over the pixels that are sky in Image.
int SkyGrey(const QImage& Picture, const TDataImage& Image) {
  std::vector<int> greys;
  for (int y = 0; y < Image.Height; ++y)
    for (int x = 0; x < Image.Width; ++x) {
      const std::int64_t i = std::int64_t(y) * Image.Width + x;
      if (Image.IsColour ? Image.RGBPlane[i].Red < 32 : Image.Pixels[i] < 940.0f)
        greys.push_back(qGray(Picture.pixel(x, y)));
    }
  if (greys.size() < 100) return -1;
  std::nth_element(greys.begin(), greys.begin() + std::ptrdiff_t(greys.size() / 2), greys.end());
  return greys[greys.size() / 2];
}
}  // namespace

using PreviewLevels = AllFormsTest;

TEST_F(PreviewLevels, ThePreviewShowsTheSkyAsTheResultWindowDrawsIt) {
  // As opened (drawn over its range), and with its sky stretched by the user
  // (levels 850 to 1100, kept as "User").
  TChildForm* opened = GreyWindow(600, 400, 1, SkyPixel, QStringLiteral("sky.fts"));
  TChildForm* grey = GreyWindow(600, 400, 1, SkyPixel, QStringLiteral("sky stretched"));
  grey->DataImage->BlackPoint = 850;
  grey->DataImage->WhitePoint = 1100;
  grey->DataImage->ScaleMode = 2;
  grey->UpdateImage();
  TChildForm* colour = ColourWindow(600, 400, SkyBytes, QStringLiteral("sky.jpg"));
  TLUT stretch{};
  ASSERT_TRUE(MakeLinearTable(stretch, 20, 60));
  colour->DataImage->SetLUT(stretch);
  colour->DataImage->BlackPoint = 20;
  colour->DataImage->WhitePoint = 60;
  colour->DataImage->ScaleMode = 2;
  colour->UpdateImage();
  const auto ones = [](QDialog*) {
    for (auto& row : frmCustomFilter->fedR)
      for (TFloatEdit* box : row) box->SetValue(1);
  };
  struct TCase {
    const char* Action;
    TChildForm* Source;
    std::function<void(QDialog*)> Set;  // the user's moves before the preview is read
  };
  const TCase cases[] = {
      {"ScaleDDP", opened, [](QDialog*) {}},
      {"ScaleGamma", opened, [](QDialog*) { frmGamma->trkGamma->setValue(50); }},
      {"ScaleLog", opened, [](QDialog*) { frmLog->trkLog->setValue(5000); }},
      {"ScaleBriCon", opened,
       [](QDialog*) {
         frmBrightnessContrast->trkBrightness->setValue(40);
         frmBrightnessContrast->trkContrast->setValue(20);
       }},
      // Opened on the image's levels, and with levels typed, "8 bit".
      {"ScaleLinear", grey, [](QDialog*) { frmLinear->SetOutputRange(0); }},
      {"ScaleLinear", grey,
       [](QDialog*) {
         TypeInto(frmLinear->fedMin, "850");
         TypeInto(frmLinear->fedMax, "3000");
         QTest::keyClick(frmLinear->fedMax, Qt::Key_Return);
       }},
      {"FilterUnsharpMask", grey, [](QDialog*) {}},
      {"FilterCustom", grey, ones},
      {"FilterCustom", colour, ones},
      {"ScalePseudoColour", grey,
       [](QDialog*) {
         for (int level : {40, 250}) {
           frmPseudoColour->iedRed->SetValue(level);
           frmPseudoColour->iedGreen->SetValue(level);
           frmPseudoColour->iedBlue->SetValue(level);
           QTest::mouseClick(frmPseudoColour->btnAdd, Qt::LeftButton);
         }
       }},
      {"RestorationLucyRichardson", grey,
       [](QDialog* D) {
         auto* d = qobject_cast<TfrmDeconvolution*>(D);
         TypeInto(d->iedIterations, "2");
         QTest::mouseClick(d->btnPreview, Qt::LeftButton);
       }},
  };
  for (bool shown : {true, false}) {
    frmQuickLinearScale->setVisible(shown);
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << c.Action << (c.Source == colour ? " colour" : c.Source == grey ? " stretched" : " opened")
                                      << (shown ? ", Quick Scale shown" : ", Quick Scale hidden"));
      Form->MDIArea()->setActiveSubWindow(c.Source);
      int preview = -1;
      WithDialog(c.Action, [&](QDialog* D) {
        ASSERT_NE(D, nullptr);
        c.Set(D);
        Settle(D);
        auto* d = qobject_cast<TProcessingDialog*>(D);
        ASSERT_TRUE(d->fmePreview->HasImages());
        preview = SkyGrey(d->fmePreview->PreviewDisplay->Source(), *d->fmePreview->SourceImage);
        ClickOK(D);
      });
      TChildForm* result = Form->ActiveMDIChild();
      ASSERT_NE(result, c.Source);
      const int drawn = SkyGrey(result->ImageDisplay->Source(), *c.Source->DataImage);
      EXPECT_NEAR(preview, drawn, 3);
      result->close();
    }
  }
}
