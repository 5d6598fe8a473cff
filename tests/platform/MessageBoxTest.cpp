#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/Errors.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"

namespace {
struct Box {
  TMsgDlgType Type;
  QString Text;
  unsigned Buttons;
};

// Records every box and answers with Answer.
struct BoxRecorder {
  std::vector<Box> Boxes;
  int Answer = mrOk;
  MessageBox::THook Previous;
  BoxRecorder() {
    Previous = MessageBox::SetHook([this](TMsgDlgType t, const QString& s, unsigned b) {
      Boxes.push_back({t, s, b});
      return Answer;
    });
  }
  ~BoxRecorder() { MessageBox::SetHook(Previous); }
};
}  // namespace

TEST(MessageBoxHook, RecordsKindTextAndAnswer) {
  BoxRecorder rec;
  rec.Answer = mrNo;
  MessageBox::ShowWarning(QStringLiteral("This filter cannot be applied to a colour image."));
  MessageBox::ShowError(QStringLiteral("An error occured saving this file."));
  MessageBox::ShowInformation(QStringLiteral("Done"));
  const int answer = MessageBox::AskQuestion(QStringLiteral("Save?"), mbYesNoCancel);
  EXPECT_EQ(answer, mrNo);
  ASSERT_EQ(rec.Boxes.size(), 4u);
  EXPECT_EQ(rec.Boxes[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(rec.Boxes[0].Text, QStringLiteral("This filter cannot be applied to a colour image."));
  EXPECT_EQ(rec.Boxes[0].Buttons, unsigned(mbOK));
  EXPECT_EQ(rec.Boxes[1].Type, TMsgDlgType::mtError);
  EXPECT_EQ(rec.Boxes[2].Type, TMsgDlgType::mtInformation);
  EXPECT_EQ(rec.Boxes[3].Type, TMsgDlgType::mtConfirmation);
  EXPECT_EQ(rec.Boxes[3].Buttons, mbYesNoCancel);
}

TEST(MessageBoxHook, ModalResultNumbers) {
  EXPECT_EQ(mrOk, 1);
  EXPECT_EQ(mrCancel, 2);
  EXPECT_EQ(mrYes, 6);
  EXPECT_EQ(mrNo, 7);
}

TEST(MessageBoxReal, ShowsTextAndReturnsPressedButton) {
  // Without a hook a real box comes up; press its No button from a timer.
  // A start-up splash, which stays on top, gives way to it.
  auto previous = MessageBox::SetHook(nullptr);
  QWidget splash(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint);
  splash.show();
  QString seenText, seenTitle;
  bool splashUp = true;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
        seenText = box->text();
        seenTitle = box->windowTitle();
        splashUp = splash.isVisible();
        box->button(QMessageBox::No)->click();
      }
    }
  });
  const int r = MessageBox::AskQuestion(QStringLiteral("Overwrite?"), mbYesNo);
  MessageBox::SetHook(previous);
  EXPECT_EQ(r, mrNo);
  EXPECT_EQ(seenText, QStringLiteral("Overwrite?"));
  EXPECT_EQ(seenTitle, QStringLiteral("Confirm"));
  EXPECT_FALSE(splashUp);
}

TEST(EngineBoxes, InternalErrorShowsOnlyPositiveCodes) {
  BoxRecorder rec;
  InstallEngineMessageBoxes();
  ReportInternalError(0);
  ReportInternalError(-1);
  EXPECT_TRUE(rec.Boxes.empty());
  ReportInternalError(39);
  ASSERT_EQ(rec.Boxes.size(), 1u);
  EXPECT_EQ(rec.Boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(rec.Boxes[0].Buttons, unsigned(mbOK));
  EXPECT_EQ(rec.Boxes[0].Text,
            QStringLiteral("An internal error has occured in Corvelle Image.  Please note the following error number: 39"));
  ShowEngineWarning("Division by zero is not allowed.");
  ASSERT_EQ(rec.Boxes.size(), 2u);
  EXPECT_EQ(rec.Boxes[1].Type, TMsgDlgType::mtWarning);
  SetInternalErrorHandler(nullptr);
  SetWarningHandler(nullptr);
}

TEST(EngineBoxes, ExhaustedMemorySaysSoInsteadOfANumber) {
  BoxRecorder rec;
  InstallEngineMessageBoxes();
  const QString memory = QStringLiteral("Out of memory");
  const QString number = QStringLiteral("An internal error has occured in Corvelle Image.  Please note the following "
                                        "error number: 56");
  // A guard that reports from its handler: what it caught decides the text.
  const struct {
    std::function<void()> Throw;
    QString Text;
  } cases[] = {
      {[] { throw std::bad_alloc(); }, memory},
      {[] { throw std::length_error("vector::_M_default_append"); }, memory},
      {[] { throw std::overflow_error("overflow"); }, number},
  };
  for (const auto& c : cases) {
    rec.Boxes.clear();
    try {
      c.Throw();
    } catch (...) {
      ReportInternalError(56);
    }
    ASSERT_EQ(rec.Boxes.size(), 1u) << c.Text.toStdString();
    EXPECT_EQ(rec.Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(rec.Boxes[0].Text, c.Text);
  }
  // Outside a handler, and after one, a number is a number again.
  rec.Boxes.clear();
  ReportInternalError(56);
  ReportOutOfMemory(102);
  ReportOutOfMemory(0);  // success says nothing either way
  ReportInternalError(56);
  ASSERT_EQ(rec.Boxes.size(), 3u);
  EXPECT_EQ(rec.Boxes[0].Text, number);
  EXPECT_EQ(rec.Boxes[1].Text, memory);
  EXPECT_EQ(rec.Boxes[2].Text, number);
  EXPECT_FALSE(ReportIsOutOfMemory());
  SetInternalErrorHandler(nullptr);
  SetWarningHandler(nullptr);
}

namespace {
class Thrower : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("Conversion failed: 'abc' is not a valid floating point value");
    return QObject::event(e);
  }
};
}  // namespace

TEST(ApplicationObject, ExceptionFromHandlerBecomesErrorBox) {
  ASSERT_NE(Application(), nullptr);
  BoxRecorder rec;
  Thrower t;
  QEvent ev(QEvent::User);
  EXPECT_NO_THROW(QCoreApplication::sendEvent(&t, &ev));
  ASSERT_EQ(rec.Boxes.size(), 1u);
  EXPECT_EQ(rec.Boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(rec.Boxes[0].Text, QStringLiteral("Conversion failed: 'abc' is not a valid floating point value"));
}

namespace {
// A handler that needs memory there is not, as a chart's layout does while
// memory is exhausted: it fails on its first Failures runs, and each failure
// asks for it to run again (as a layout that was not done is asked for again).
class ShortOfMemory : public QObject {
 public:
  int Failures = 4, Runs = 0;
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    if (++Runs > Failures) return true;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    throw std::bad_alloc();
  }
};
}  // namespace

// Memory that runs out in a handler is said once, in one box, and nothing
// crosses the event loop: not when the box's own loop runs the failing handler
// again, and not when the box itself cannot be made for want of memory.
TEST(ApplicationObject, ExhaustedMemoryIsSaidOnceAndNothingCrossesTheLoop) {
  ASSERT_NE(Application(), nullptr);
  const struct {
    const char* What;
    int Failures;       // of the handler
    bool BoxRunsLoop;   // as a modal box does while it is up
    int BoxFailures;    // boxes that cannot be made first
    std::size_t Boxes;  // "Out of memory" boxes seen
  } cases[] = {
      {"a box", 1, false, 0, 1},
      {"a box whose loop runs the handler again", 4, true, 0, 1},
      {"a box that cannot be made at first", 4, true, 1, 1},
      {"a box that can never be made", 4, true, 1000, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    ShortOfMemory handler;
    handler.Failures = c.Failures;
    std::vector<QString> boxes;
    int failures = c.BoxFailures;
    const MessageBox::THook previous = MessageBox::SetHook([&](TMsgDlgType, const QString& Text, unsigned) -> int {
      if (failures > 0) {
        --failures;
        throw std::bad_alloc();
      }
      boxes.push_back(Text);
      if (c.BoxRunsLoop)
        for (int i = 0; i < 12; ++i) QCoreApplication::processEvents();
      return mrOk;
    });
    QCoreApplication::postEvent(&handler, new QEvent(QEvent::User));
    EXPECT_NO_THROW({
      for (int i = 0; i < 24; ++i) QCoreApplication::processEvents();
    });
    MessageBox::SetHook(previous);
    EXPECT_EQ(boxes, std::vector<QString>(c.Boxes, QStringLiteral("Out of memory")));
    // The handler ran on once memory was there again.
    EXPECT_EQ(handler.Runs, handler.Failures + 1);
  }
}
