#pragma once
// The analysis windows created as at start-up on a test's main window, a
// region dragged on an image window, modal dialogs answered, printing to PDF,
// and how many pixels of a chart as shown are near a colour.
#include <QtCharts>
#include <QtPrintSupport>
#include <QtTest>
#include <QtWidgets>
#include <functional>

#include "../app/AppTestUtil.h"
#include "analysis/TextReport.h"
#include "app/FormGroups.h"

class AnalysisTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateAnalysisForms(Form.get());
  }
  void TearDown() override {
    PrintDialog::SetHook(nullptr);
    for (TChildForm* c : Form->MDIChildren()) {
      c->setAttribute(Qt::WA_DeleteOnClose, false);
      delete c;
    }
    FreeAnalysisForms();
    AppTest::TearDown();
  }
  // The menu command, as the user picks it.
  void Command(const char* Name) {
    ASSERT_TRUE(Form->Action(Name) && Form->Action(Name)->isEnabled()) << Name;
    Form->Action(Name)->trigger();
  }
  // Act runs on the modal dialog the next command opens; with Optional, a
  // command that opens none is fine (Act is not run).
  static void OnModal(std::function<void(QWidget*)> Act, bool Optional = false) {
    QTimer::singleShot(0, [Act, Optional] {
      if (QWidget* w = QApplication::activeModalWidget()) Act(w);
      else if (!Optional) ADD_FAILURE() << "no modal dialog";
    });
  }
  // Drags a region on the window's image (zoom 100: screen = image pixels).
  static void DragRegion(TChildForm* Child, QPoint From, QPoint To) {
    QWidget* w = Child->ImageOverlay;
    auto send = [w](QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
      QMouseEvent e(Type, QPointF(P), w->mapToGlobal(QPointF(P)), Button, Buttons, Qt::NoModifier);
      QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, (From + To) / 2, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
  }
  // The print dialog answers OK with Copies, printing to Pdf.
  static void PrintToPdf(const QString& Pdf, int Copies) {
    PrintDialog::SetHook([Pdf, Copies](QPrinter& P) {
      P.setOutputFormat(QPrinter::PdfFormat);
      P.setOutputFileName(Pdf);
      P.setCopyCount(Copies);
      return true;
    });
  }
};

// Output of a command-line tool; a failure when it is missing or fails.
inline QString RunTool(const QString& Program, const QStringList& Args) {
  QProcess p;
  p.start(Program, Args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    ADD_FAILURE() << Program.toStdString() << " failed or is missing";
  return QString::fromUtf8(p.readAllStandardOutput());
}

// A field of pdfinfo's report ("Pages", "Page size").
inline QString PdfInfo(const QString& Pdf, const QString& Field) {
  for (const QString& line : RunTool(QStringLiteral("pdfinfo"), {Pdf}).split(QLatin1Char('\n')))
    if (line.startsWith(Field + QLatin1Char(':'))) return line.mid(Field.size() + 1).simplified();
  return {};
}

inline int PixelsNear(QChartView* View, QColor C) {
  const QImage shown = View->grab().toImage();
  int n = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) {
      const QColor p = shown.pixelColor(x, y);
      n += std::abs(p.red() - C.red()) + std::abs(p.green() - C.green()) + std::abs(p.blue() - C.blue()) < 200;
    }
  return n;
}
