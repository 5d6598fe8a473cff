#include "platform/Application.h"

#include <clocale>
#include <csignal>
#include <exception>
#include <new>
#include <stdexcept>

#include "engine/Errors.h"
#include "platform/MessageBox.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The engine and the codecs read and write numbers with '.', whatever the
  // user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  // A file-size limit makes a write fail, which every save reports, instead of
  // ending the program with unsaved work.
  std::signal(SIGXFSZ, SIG_IGN);
}

TApplication* Application() { return qobject_cast<TApplication*>(QCoreApplication::instance()); }

void TApplication::HandleException(const std::exception& E) {
  // The library's texts for exhausted memory mean nothing to a user.
  if (dynamic_cast<const std::bad_alloc*>(&E) || dynamic_cast<const std::length_error*>(&E))
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText));
  else
    MessageBox::ShowError(QString::fromStdString(E.what()));
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    MessageBox::ShowError(QStringLiteral("An unknown error has occurred."));
  }
  return false;
}

void InstallEngineMessageBoxes() {
  SetInternalErrorHandler([](int Code) {
    if (Code <= 0) return;
    MessageBox::ShowError(ReportIsOutOfMemory() ? QString::fromLatin1(OutOfMemoryText)
                                                : QString::fromStdString(InternalErrorText(Code)));
  });
  SetWarningHandler([](const std::string& Text) { MessageBox::ShowWarning(QString::fromStdString(Text)); });
}
