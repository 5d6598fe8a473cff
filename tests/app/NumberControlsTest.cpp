#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QFocusEvent>
#include <QTest>
#include <vector>

#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/QVRSlider.h"
#include "platform/MessageBox.h"

namespace {
// Leaving a box with a bad text raises, and the application shows the text:
// record those boxes instead.
std::vector<QString> Shown;
struct BoxRecorder : ::testing::Environment {
  void SetUp() override {
    MessageBox::SetHook([](TMsgDlgType, const QString& Text, unsigned) {
      Shown.push_back(Text);
      return int(mrOk);
    });
  }
};
const auto* const Recorder = ::testing::AddGlobalTestEnvironment(new BoxRecorder);
}  // namespace

TEST(FloatEdit, ConstrainWithAndWithoutBounds) {
  TFloatEdit e;
  e.SetMaxValue(10);
  e.SetValue(12);
  EXPECT_EQ(e.text(), QStringLiteral("10"));
  e.SetValue(-1);
  EXPECT_EQ(e.text(), QStringLiteral("0"));
  e.SetValue(2.5L);
  EXPECT_EQ(e.text(), QStringLiteral("2.5"));
  e.SetIncludeBounds(false);  // re-constrains: 2.5 is strictly inside
  EXPECT_EQ(e.text(), QStringLiteral("2.5"));
  e.SetValue(10);
  EXPECT_EQ(e.text(), QStringLiteral("5"));
  e.SetValue(12);
  EXPECT_EQ(e.text(), QStringLiteral("5"));
  e.SetValue(0);
  EXPECT_EQ(e.text(), QStringLiteral("5"));
}

TEST(FloatEdit, NoRangeGeneralFormatAndDefault) {
  TFloatEdit e;
  EXPECT_EQ(e.text(), QStringLiteral("0"));
  e.SetValue(2.0e32L);
  EXPECT_EQ(e.text(), QStringLiteral("2E32"));
  EXPECT_EQ(e.Value(), 2.0e32L);  // program-written "E" parses back
  e.SetValue(-123456.75L);
  EXPECT_EQ(e.text(), QStringLiteral("-123456.75"));
  e.setText(QString());
  EXPECT_EQ(e.Value(), 0.0L);
  // The default must lie in the range; bounds set first make a valid setup.
  e.SetMinValue(1);
  e.SetMaxValue(3);
  EXPECT_THROW(e.SetDefaultValue(4), EPropertyError);
  try {
    e.SetDefaultValue(7);
  } catch (const EPropertyError& x) {
    EXPECT_STREQ(x.what(), "The default value must be between MinValue and MaxValue.");
  }
  e.SetDefaultValue(2);
  e.setText(QString());
  EXPECT_EQ(e.Value(), 2.0L);
  // Moving a bound re-constrains the value and the default.
  e.SetValue(3);
  e.SetMaxValue(2.5L);
  EXPECT_EQ(e.text(), QStringLiteral("2.5"));
  e.SetMinValue(2.25L);
  EXPECT_EQ(e.DefaultValue(), 2.25L);
}

TEST(FloatEdit, BadTextRaisesAndFocuses) {
  QWidget w;
  auto* other = new QLineEdit(&w);
  auto* e = new TFloatEdit(&w);
  w.show();
  QApplication::setActiveWindow(&w);
  other->setFocus();
  e->setText(QStringLiteral("1.5x"));
  try {
    (void)e->Value();
    ADD_FAILURE() << "no exception";
  } catch (const EPropertyError& x) {
    EXPECT_STREQ(x.what(), "'1.5x' is not a valid floating point value");
  }
  EXPECT_TRUE(e->hasFocus());
  // Tabbing away from a bad text shows the error once and comes back.
  Shown.clear();
  other->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0], QStringLiteral("'1.5x' is not a valid floating point value"));
  EXPECT_TRUE(e->hasFocus());
  // Another window taking the focus leaves the box alone.
  Shown.clear();
  QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QApplication::sendEvent(e, &away);
  EXPECT_TRUE(Shown.empty());
  e->setText(QStringLiteral("2"));
}

TEST(FloatEdit, KeysWheelAndFiltering) {
  QWidget w;
  auto* e = new TFloatEdit(&w);
  w.show();
  QApplication::setActiveWindow(&w);
  e->setFocus();
  e->SetMaxValue(10);
  e->SetIncrement(2.5L);
  e->SetValue(1);
  QTest::keyClick(e, Qt::Key_Up);
  EXPECT_EQ(e->text(), QStringLiteral("3.5"));
  QTest::keyClick(e, Qt::Key_Down);
  QTest::keyClick(e, Qt::Key_Down);
  EXPECT_EQ(e->text(), QStringLiteral("0"));  // -1.5 clamped
  e->clear();
  QTest::keyClicks(e, QStringLiteral("1e2a.5-+"));
  EXPECT_EQ(e->text(), QStringLiteral("12.5-+"));  // "e" and "a" dropped
  // Every accepted key, Enter included, reaches OnKeyPress; 0 consumes it.
  QString seen;
  e->OnKeyPress = [&](TFloatEdit*, QChar& k) {
    seen += k.unicode() == 13 ? QStringLiteral("<CR>") : QString(k);
    if (k == QLatin1Char('7')) k = QChar(0);
  };
  e->clear();
  QTest::keyClicks(e, QStringLiteral("17x"));
  QTest::keyClick(e, Qt::Key_Return);
  EXPECT_EQ(seen, QStringLiteral("17<CR>"));
  EXPECT_EQ(e->text(), QStringLiteral("1"));
  // Leaving the box normalises its text.
  e->setText(QStringLiteral("+04.50"));
  auto* other = new QLineEdit(&w);
  other->show();
  other->setFocus();
  EXPECT_EQ(e->text(), QStringLiteral("4.5"));
}

TEST(IntEdit, RulesTextsAndErrors) {
  QWidget w;
  auto* e = new TIntEdit(&w);
  w.show();
  EXPECT_EQ(e->text(), QStringLiteral("0"));
  e->SetMinValue(1);
  EXPECT_EQ(e->text(), QStringLiteral("1"));  // re-constrained
  e->SetMaxValue(1999);
  e->SetDefaultValue(1);
  e->SetValue(100);
  e->SetValue(0);
  EXPECT_EQ(e->text(), QStringLiteral("1"));
  e->SetValue(5000);
  EXPECT_EQ(e->text(), QStringLiteral("1999"));
  e->setText(QString());
  EXPECT_EQ(e->Value(), 1);
  // A typed value out of range is read as it stands; dialogs constrain it.
  e->setText(QStringLiteral("0"));
  EXPECT_EQ(e->Value(), 0);
  EXPECT_EQ(e->ConstrainedValue(), 1);
  EXPECT_THROW(e->SetDefaultValue(0), EPropertyError);
  try {
    e->SetDefaultValue(2000);
  } catch (const EPropertyError& x) {
    EXPECT_STREQ(x.what(), "DefaultValue must be between MinValue and MaxValue");
  }
  e->setText(QStringLiteral("abc"));
  try {
    (void)e->Value();
    ADD_FAILURE() << "no exception";
  } catch (const EPropertyError& x) {
    EXPECT_STREQ(x.what(), "'abc' is not a valid integer value");
  }
  e->setText(QStringLiteral("1.5"));
  EXPECT_THROW((void)e->Value(), EPropertyError);
  e->setText(QStringLiteral("99999999999"));
  EXPECT_THROW((void)e->Value(), EPropertyError);
  e->setText(QStringLiteral("  -42"));
  EXPECT_EQ(e->Value(), -42);
  // No range: anything goes; the decimal separator cannot be typed.
  TIntEdit free;
  free.SetValue(-7);
  EXPECT_EQ(free.text(), QStringLiteral("-7"));
  free.clear();
  QTest::keyClicks(&free, QStringLiteral("1.2e3"));
  EXPECT_EQ(free.text(), QStringLiteral("123"));
}

class SliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Slider.resize(266, 12);
    Slider.show();
    Slider.OnChange = [this](TQVRSlider*) { ++Changes; };
  }
  TQVRSlider Slider;
  int Changes = 0;
};

TEST_F(SliderTest, PositionsAndValues) {
  EXPECT_EQ(Slider.LowPosition(), 5.0f);
  EXPECT_EQ(Slider.HighPosition(), 64.0f);
  Slider.SetPositions(0, 255);
  EXPECT_EQ(Slider.LowPixel(), 5);
  EXPECT_EQ(Slider.HighPixel(), 261);
  EXPECT_EQ(Slider.Val1, 0.0f);
  EXPECT_EQ(Slider.Val2, 255.0f);
  EXPECT_EQ(Changes, 1);
  Slider.SetPositions(-1, 10);
  Slider.SetPositions(10, 256);
  EXPECT_EQ(Slider.HighPixel(), 261);
  EXPECT_EQ(Changes, 1);
  // Single arithmetic: step 255/256 as a float; 100 maps to 100/step + 5.
  Slider.SetPositions(100, 200);
  const float step = 255.0f / 256.0f;
  EXPECT_EQ(Slider.LowPosition(), float((long double)100 / step + 5));
  EXPECT_EQ(Slider.LowPixel(), int(std::nearbyint(Slider.LowPosition())));
  // The values come back from the unrounded positions.
  EXPECT_EQ(Slider.Val1, float(((long double)Slider.LowPosition() - 5) * step));
  // Thumbs: blue high thumb, red low thumb, tips on row 0.
  const QImage& pic = Slider.Picture();
  EXPECT_EQ(pic.pixelColor(Slider.HighPixel(), 4), QColor(0, 0, 255));
  EXPECT_EQ(pic.pixelColor(Slider.LowPixel(), 4), QColor(255, 0, 0));
  EXPECT_EQ(pic.pixelColor(150, 4), QColor(255, 255, 255));
}

TEST_F(SliderTest, NoMappingWithoutLengthOrRange) {
  Slider.MaxVal = 0.0f;
  Slider.SetPositions(0, 0);
  EXPECT_EQ(Changes, 0);
  Slider.MaxVal = 255.0f;
  Slider.resize(10, 12);
  Slider.SetPositions(0, 255);
  EXPECT_EQ(Changes, 0);
}

TEST_F(SliderTest, DraggingTheThumbs) {
  Slider.SetPositions(0, 255);  // 5 and 261
  Changes = 0;
  QTest::mousePress(&Slider, Qt::LeftButton, {}, QPoint(7, 4));
  EXPECT_TRUE(Slider.Drag1);
  EXPECT_FALSE(Slider.Drag2);
  QMouseEvent move(QEvent::MouseMove, QPointF(105, 4), Slider.mapToGlobal(QPointF(105, 4)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Slider, &move);
  EXPECT_EQ(Slider.LowPixel(), 105);
  EXPECT_EQ(Slider.Val1, float(100.0L * (255.0f / 256.0f)));
  EXPECT_EQ(Changes, 1);
  // Outside 4 < x < width - 4 nothing moves.
  QMouseEvent far(QEvent::MouseMove, QPointF(263, 4), Slider.mapToGlobal(QPointF(263, 4)), Qt::NoButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Slider, &far);
  EXPECT_EQ(Slider.LowPixel(), 105);
  QTest::mouseRelease(&Slider, Qt::LeftButton, {}, QPoint(105, 4));
  EXPECT_FALSE(Slider.Drag1);
  // Both thumbs in reach: the low one wins; the thumbs may cross.
  Slider.SetPositions(100, 102);
  QTest::mousePress(&Slider, Qt::LeftButton, {}, QPoint(Slider.LowPixel() + 1, 4));
  EXPECT_TRUE(Slider.Drag1);
  EXPECT_FALSE(Slider.Drag2);
  QMouseEvent cross(QEvent::MouseMove, QPointF(200, 4), Slider.mapToGlobal(QPointF(200, 4)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Slider, &cross);
  EXPECT_GT(Slider.Val1, Slider.Val2);
  QTest::mouseRelease(&Slider, Qt::LeftButton, {}, QPoint(200, 4));
  // A press away from both thumbs drags nothing.
  QTest::mousePress(&Slider, Qt::LeftButton, {}, QPoint(30, 4));
  EXPECT_FALSE(Slider.Drag1);
  EXPECT_FALSE(Slider.Drag2);
}
