#include "platform/Application.h"

#include <clocale>
#include <exception>

#include "engine/Errors.h"
#include "platform/MessageBox.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The engine and the codecs read and write numbers with '.', whatever the
  // user's locale says.
  std::setlocale(LC_NUMERIC, "C");
}

TApplication* Application() { return qobject_cast<TApplication*>(QCoreApplication::instance()); }

void TApplication::HandleException(const std::exception& E) {
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
    if (Code > 0) MessageBox::ShowError(QString::fromStdString(InternalErrorText(Code)));
  });
  SetWarningHandler([](const std::string& Text) { MessageBox::ShowWarning(QString::fromStdString(Text)); });
}
