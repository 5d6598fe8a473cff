#pragma once
// The application object: its title, and the default handler that shows the
// text of any exception escaping an event handler in an error box, so no C++
// exception ever crosses the event loop.
#include <QApplication>
#include <QString>

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
  QString FTitle;
  QString FHelpFile;
};

// The running application object, or nullptr.
TApplication* Application();

// Routes the engine's error reports and warnings to message boxes.
void InstallEngineMessageBoxes();
