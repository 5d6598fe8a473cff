#pragma once
// The application object: its title, and the default handler that shows the
// text of any exception escaping an event handler in an error box, so no C++
// exception ever crosses the event loop.
#include <QApplication>
#include <QString>
#include <exception>

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);

  QString Title() const { return FTitle; }
  void SetTitle(const QString& Title) { FTitle = Title; }
  QString HelpFile() const { return FHelpFile; }
  void SetHelpFile(const QString& File) { FHelpFile = File; }

  bool notify(QObject* Receiver, QEvent* Event) override;

  // Shows an exception's text the way the default handler does.
  static void HandleException(const std::exception& E);

 private:
  // The default handler: one box at a time, and nothing escapes it, also
  // when the box itself cannot be made.
  void ReportEscaped(const std::exception_ptr& E, int Retries);
  bool FReporting = false;
  unsigned FShown = 0;  // boxes shown by the default handler
  QString FTitle;
  QString FHelpFile;
};

// The running application object, or nullptr.
TApplication* Application();

// Routes the engine's error reports and warnings to message boxes.
void InstallEngineMessageBoxes();
