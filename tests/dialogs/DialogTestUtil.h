#pragma once
// A main window with the processing dialogs, and a user's hands inside a
// modal dialog opened by a menu command.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"
#include "app/PreviewFrame.h"
#include "app/StartUp.h"
#include "dialogs/ProcessingDialog.h"
#include "engine/ColGeometry.h"
#include "engine/Geometry.h"

class DialogTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateProcessingForms(Form.get());
  }
  void TearDown() override {
    FreeProcessingForms();
    AppTest::TearDown();
  }
  // Triggers action Name; Act runs inside the modal dialog it opens (nullptr
  // when none opened), after its activation. A dialog left open is cancelled.
  void WithDialog(const char* Name, const std::function<void(QDialog*)>& Act) {
    bool ran = false;
    QTimer::singleShot(0, Form.get(), [&] {
      ran = true;
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QCoreApplication::processEvents();
      QCoreApplication::processEvents();
      Act(dialog);
      if (dialog && dialog->isVisible()) dialog->reject();
    });
    QAction* action = Form->Action(QString::fromLatin1(Name));
    ASSERT_TRUE(action && action->isEnabled()) << Name;
    action->trigger();
    if (!ran) QCoreApplication::processEvents();
  }
  static void Click(QDialog* Dialog, const char* Button) {
    QTest::mouseClick(Dialog->findChild<QPushButton*>(QString::fromLatin1(Button)), Qt::LeftButton);
  }
  static void ClickOK(QDialog* Dialog) { Click(Dialog, "btnOK"); }
  static void ClickCancel(QDialog* Dialog) { Click(Dialog, "btnCancel"); }
  // A track bar moved with the keyboard: Home, then Right to Position.
  static void SlideTo(QSlider* Slider, int Position) {
    Slider->setFocus();
    QTest::keyClick(Slider, Qt::Key_Home);
    for (int i = Slider->minimum(); i < Position; ++i) QTest::keyClick(Slider, Qt::Key_Right);
  }
  // A click on a radio button's round indicator.
  static void ClickRadio(QAbstractButton* Button) {
    QTest::mouseClick(Button, Qt::LeftButton, Qt::NoModifier, QPoint(6, Button->height() / 2));
  }
  // A number box's text replaced as typed.
  static void TypeInto(QWidget* Box, const QString& Text) {
    Box->setFocus();
    QTest::keyClick(Box, Qt::Key_End);
    QTest::keyClick(Box, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClicks(Box, Text);
  }
  // Runs the preview the dialog has been asked for.
  static void Settle(QDialog* Dialog) {
    QCoreApplication::processEvents();
    if (auto* d = qobject_cast<TProcessingDialog*>(Dialog)) d->FlushPreview();
  }
  static void Activate(QDialog* Dialog) {
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(Dialog, &e);
  }
};

// Every window of the program, as its start makes them, beside the dialog helpers.
class AllFormsTest : public DialogTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateForms(Form.get());
  }
  void TearDown() override {
    FreeForms();
    AppTest::TearDown();
  }
};

// Same sides, kind, data type and pixels.
inline bool SamePixels(const TDataImage& A, const TDataImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.IsColour != B.IsColour) return false;
  const std::size_t n = std::size_t(A.PixelCount());
  if (A.IsColour) return std::memcmp(A.RGBPlane, B.RGBPlane, n * 3) == 0;
  return A.DataType == B.DataType && std::memcmp(A.Pixels, B.Pixels, n * sizeof(float)) == 0;
}

// A copy of the pixels and points, the way a result window starts.
inline std::unique_ptr<TDataImage> CopyOf(const TDataImage& S) {
  auto d = std::make_unique<TDataImage>();
  d->Allocate(S.Width, S.Height, S.IsColour ? 0 : S.DataType, S.IsColour);
  std::memcpy(S.IsColour ? (void*)d->RGBPlane : (void*)d->Pixels, S.IsColour ? (void*)S.RGBPlane : (void*)S.Pixels,
              std::size_t(S.PixelCount()) * (S.IsColour ? 3 : sizeof(float)));
  d->BlackPoint = S.BlackPoint;
  d->WhitePoint = S.WhitePoint;
  return d;
}

// A grey thumbnail of Image that holds the image's range: held within it,
// then its first darkest and its first brightest pixel written where the
// thumbnail samples their places.
inline void WithImageRange(TDataImage& Thumbnail, const TDataImage& Image) {
  if (Image.IsColour) return;
  std::int64_t low = 0, high = 0;
  for (std::int64_t i = 1; i < Image.PixelCount(); ++i) {
    if (Image.Pixels[i] < Image.Pixels[low]) low = i;
    if (Image.Pixels[i] > Image.Pixels[high]) high = i;
  }
  for (std::int64_t i = 0; i < Thumbnail.PixelCount(); ++i)
    Thumbnail.Pixels[i] = std::clamp(Thumbnail.Pixels[i], Image.Pixels[low], Image.Pixels[high]);
  for (std::int64_t i : {low, high}) {
    const std::int64_t x = i % Image.Width * Thumbnail.Width / Image.Width;
    const std::int64_t y = i / Image.Width * Thumbnail.Height / Image.Height;
    Thumbnail.Pixels[y * Thumbnail.Width + x] = Image.Pixels[i];
  }
  Thumbnail.CalcMaxValue();
}

// The preview frame's thumbnail of Image: resampled, holding the image's
// range, auto-scaled.
inline std::unique_ptr<TDataImage> ThumbnailOf(const TDataImage& Image) {
  int tw = 0, th = 0;
  TfmePreview::ThumbnailSize(Image.Width, Image.Height, tw, th);
  auto t = std::make_unique<TDataImage>();
  if (Image.IsColour)
    ColResample(tw, th, *t, Image);
  else
    Resample(tw, th, *t, Image);
  WithImageRange(*t, Image);
  t->AutoScale();
  return t;
}

inline float Largest(const TDataImage& Image) {
  float top = 0;
  for (std::int64_t i = 0; i < Image.PixelCount(); ++i) top = std::max(top, Image.Pixels[i]);
  return top;
}

// Runs /usr/bin/python3 tests/oracles/<Script> IN OUT Args on Image's plane
// (float32) and returns the float32 plane the oracle wrote; empty after a
// failure, which it records.
inline std::vector<float> OraclePlane(const char* Script, const TDataImage& Image, const QStringList& Args) {
  QTemporaryDir dir;
  const QString in = dir.filePath(QStringLiteral("in.f32")), out = dir.filePath(QStringLiteral("out.f32"));
  QFile f(in);
  if (!f.open(QIODevice::WriteOnly) ||
      f.write(reinterpret_cast<const char*>(Image.Pixels), Image.PixelCount() * 4) != Image.PixelCount() * 4) {
    ADD_FAILURE() << "cannot write the oracle's input";
    return {};
  }
  f.close();
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               QStringList{QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles/") + QString::fromLatin1(Script), in, out} +
                   Args);
  if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
    ADD_FAILURE() << Script << " failed: " << python.readAllStandardError().toStdString();
    return {};
  }
  QFile r(out);
  if (!r.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = r.readAll();
  std::vector<float> plane(std::size_t(bytes.size()) / 4);
  std::memcpy(plane.data(), bytes.constData(), plane.size() * 4);
  return plane;
}

// Pixels of Got that differ from Want by more than Relative of the larger of
// Unit and the wanted value (the first few are recorded as failures).
inline int PixelsApart(const TDataImage& Got, const std::vector<float>& Want, float Relative, float Unit = 1.0f) {
  if (std::int64_t(Want.size()) != Got.PixelCount()) {
    ADD_FAILURE() << "the oracle gave " << Want.size() << " pixels for " << Got.PixelCount();
    return int(Got.PixelCount());
  }
  int bad = 0;
  for (std::int64_t k = 0; k < Got.PixelCount(); ++k)
    if (std::fabs(Got.Pixels[k] - Want[std::size_t(k)]) > Relative * std::max(Unit, std::fabs(Want[std::size_t(k)])) &&
        ++bad <= 3)
      ADD_FAILURE() << "pixel " << k << ": " << Got.Pixels[k] << " against " << Want[std::size_t(k)];
  return bad;
}
