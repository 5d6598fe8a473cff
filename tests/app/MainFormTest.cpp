#include <gtest/gtest.h>

#include <QLabel>
#include <QMdiArea>
#include <QStatusBar>

#include "app/Main.h"

TEST(MainForm, CaptionFrameAndStatusPanels) {
  TMainForm form;
  form.show();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Corvelle Image 2.5ZUL"));
  ASSERT_NE(form.MDIArea(), nullptr);
  EXPECT_TRUE(form.centralWidget()->isAncestorOf(form.MDIArea()));
  const int widths[] = {250, 85, 125, 125, 50};
  for (int i = 0; i < 5; ++i) {
    ASSERT_NE(form.Panel(i), nullptr);
    EXPECT_EQ(form.Panel(i)->width(), widths[i]) << "panel " << i;
    EXPECT_TRUE(form.Panel(i)->isVisible());
  }
  // Left to right in panel order.
  for (int i = 1; i < 5; ++i) EXPECT_LT(form.Panel(i - 1)->x(), form.Panel(i)->x());
  form.SetPanelText(1, QStringLiteral("640 x 480"));
  EXPECT_EQ(form.Panel(1)->text(), QStringLiteral("640 x 480"));
  EXPECT_EQ(form.PanelText(1), QStringLiteral("640 x 480"));
  form.SetPanelText(9, QStringLiteral("ignored"));
  EXPECT_EQ(form.PanelText(9), QString());
}
