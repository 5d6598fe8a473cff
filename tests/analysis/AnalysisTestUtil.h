#pragma once
// The analysis windows created as at start-up on a test's main window, a
// region dragged on an image window, modal dialogs answered, printing to PDF.
#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QTimer>
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
    QAction* a = Form->Action(QString::fromLatin1(Name));
    ASSERT_NE(a, nullptr) << Name;
    ASSERT_TRUE(a->isEnabled()) << Name;
    a->trigger();
  }
  // Runs Act on the modal dialog the next command opens, once it is open.
  static void OnModal(std::function<void(QWidget*)> Act) {
    QTimer::singleShot(0, [Act] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w) {
        ADD_FAILURE() << "no modal dialog";
        return;
      }
      Act(w);
    });
  }
  // For a command that may or may not open a modal dialog: closes it when it
  // does and tells so. Call FlushModal after the command.
  static void CloseAnyModal(bool& Opened) {
    Opened = false;
    QTimer::singleShot(0, [&Opened] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        Opened = true;
        w->close();
      }
    });
  }
  static void FlushModal() { QCoreApplication::processEvents(); }
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
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    ADD_FAILURE() << Program.toStdString() << " failed or is missing";
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

// "Pages: N" of pdfinfo; -1 when it cannot be read.
inline int PdfPages(const QString& Pdf) {
  for (const QString& line : RunTool(QStringLiteral("pdfinfo"), {Pdf}).split(QLatin1Char('\n')))
    if (line.startsWith(QLatin1String("Pages:"))) return line.mid(6).trimmed().toInt();
  return -1;
}
// "Page size: W x H pts" of pdfinfo's first page.
inline QSizeF PdfPageSize(const QString& Pdf) {
  for (const QString& line : RunTool(QStringLiteral("pdfinfo"), {Pdf}).split(QLatin1Char('\n')))
    if (line.startsWith(QLatin1String("Page size:"))) {
      const QStringList parts = line.mid(10).simplified().split(QLatin1Char(' '));
      if (parts.size() >= 3) return QSizeF(parts[0].toDouble(), parts[2].toDouble());
    }
  return {};
}
