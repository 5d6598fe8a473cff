// What the tool windows show and take from the keyboard: Add Aperture's
// first box, its keys beside the main window's menus, the channel labels of
// the chart windows, and texts as the user reads them.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <tuple>

#include "PhotometryTestSupport.h"
#include "analysis/AddApatureForm.h"
#include "analysis/HistogramForm.h"
#include "analysis/LinePlotForm.h"
#include "app/FloatEdit.h"
#include "dialogs/AddPointForm.h"
#include "dialogs/FFTFilterForm.h"

namespace {
QString Shown(QString Text) { return Text.remove(QLatin1Char('&')); }
}  // namespace

TEST_F(PhotometryTest, AddApertureTakesTypedValuesAndLeavesTheMainMenusTheirKeys) {
  StarField(60, 50, {{30, 25, 5000}}, QStringLiteral("star"));
  frmAddApature->fedX->setText(QStringLiteral("12.5"));
  Form->Action("PhotometryAddApature")->trigger();
  ASSERT_TRUE(frmAddApature->isVisible());
  // The first box has the focus and its text is selected: a typed value
  // replaces it.
  ASSERT_EQ(frmAddApature->focusWidget(), frmAddApature->fedX);
  QTest::keyClick(frmAddApature->fedX, Qt::Key_7);
  EXPECT_EQ(frmAddApature->fedX->text(), QStringLiteral("7"));
  // No key of Add Aperture's or Add Marker's own but Centroid's, which they
  // were given, is a main menu title's key: Alt+O still opens Photometry.
  QList<QKeySequence> titles;
  for (QAction* a : Form->menuBar()->actions()) titles << QKeySequence::mnemonic(a->text());
  for (const auto& [window, centroid, close] :
       {std::tuple<QWidget*, QAbstractButton*, QAbstractButton*>{frmAddApature, frmAddApature->btnCentroid,
                                                                 frmAddApature->btnClose},
        {frmAddPoint, frmAddPoint->btnCentroid, frmAddPoint->btnClose}}) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
      const QKeySequence key = QKeySequence::mnemonic(b->text());
      if (b == centroid) continue;
      EXPECT_FALSE(key.isEmpty() || titles.contains(key))
          << window->objectName().toStdString() << ": " << b->text().toStdString();
    }
    EXPECT_EQ(QKeySequence::mnemonic(close->text()), QKeySequence(Qt::ALT | Qt::Key_L));
  }
  EXPECT_TRUE(titles.contains(QKeySequence(Qt::ALT | Qt::Key_O)));
  // Escape still puts it away.
  QTest::keyClick(frmAddApature->fedX, Qt::Key_Escape);
  EXPECT_FALSE(frmAddApature->isVisible());
}

// A chart window's channel list is off for a grey image: its label is off
// too and shows no key, which would lead nowhere; on, it shows its key.
TEST_F(PhotometryTest, AChannelLabelShowsItsKeyOnlyWhileItsListIsOn) {
  TChildForm* grey = StarField(20, 10, {{10, 5, 500}}, QStringLiteral("grey"));
  auto* colour = new TChildForm;
  colour->DataImage->Allocate(20, 10, 0, true);
  colour->SetCaption(QStringLiteral("colour"));
  colour->UpdateImage();
  struct TCase {
    const char* Window;
    std::function<void(TChildForm*)> Plot;
    QComboBox* List;
    QLabel* Label;
  };
  const TCase cases[] = {
      {"Histogram", [](TChildForm*) { frmHistogram->Execute(false); }, frmHistogram->cmbChannel,
       frmHistogram->lblChannel},
      {"Line Plot",
       [](TChildForm* C) {
         if (C->DataImage->IsColour)
           frmLinePlot->PlotColour(std::vector<TRGBPixel>(20), 3, true);
         else
           frmLinePlot->PlotGrey(std::vector<float>(20, 1.0f), 3, true);
       },
       frmLinePlot->cmbChannel, frmLinePlot->lblChannel},
  };
  for (const TCase& c : cases) {
    ASSERT_NE(c.Label, nullptr) << c.Window;
    ASSERT_EQ(c.Label->buddy(), c.List) << c.Window;
    // Grey, colour and grey again.
    for (TChildForm* image : {grey, colour, grey}) {
      SCOPED_TRACE(testing::Message() << c.Window << " of " << image->Caption().toStdString());
      Form->MDIArea()->setActiveSubWindow(image);
      c.Plot(image);
      const bool on = image == colour;
      EXPECT_EQ(c.List->isEnabled(), on);
      EXPECT_EQ(c.Label->isEnabled(), on);
      EXPECT_EQ(Shown(c.Label->text()), QStringLiteral("Channel"));
      EXPECT_EQ(QKeySequence::mnemonic(c.Label->text()), on ? QKeySequence(Qt::ALT | Qt::Key_C) : QKeySequence());
    }
  }
}

TEST_F(PhotometryTest, TextsAreSpelledAsUsersReadThem) {
  const std::pair<QString, QString> texts[] = {
      {Shown(frmFFTFilter->FilterTypeButtons->button(3)->text()), QStringLiteral("Butterworth highpass")},
      {frmAddApature->findChild<QGroupBox*>()->title(), QStringLiteral("Aperture Settings")},
  };
  for (const auto& [seen, wanted] : texts) EXPECT_EQ(seen, wanted);
  // The reference star without apertures.
  StarField(20, 10, {}, QStringLiteral("empty"));
  Form->Action("PhotometrySetRef")->trigger();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], QStringLiteral("There are no apertures currently defined.  Before setting the reference star "
                                     "first use the Add Aperture command."));
}
