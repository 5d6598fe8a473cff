#include "platform/Application.h"

#include <QSemaphore>
#include <QThreadPool>
#include <pthread.h>

#include <clocale>
#include <cstdio>
#include <csignal>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>

#include "engine/Errors.h"
#include "platform/MessageBox.h"

namespace {
bool SystemGivesAThread() {
  pthread_t probe;
  if (pthread_create(&probe, nullptr, [](void*) -> void* { return nullptr; }, nullptr) != 0) return false;
  pthread_join(probe, nullptr);
  return true;
}

// Qt draws and converts large pictures in parts on its global thread pool
// and waits for every part; a part handed to a thread the system refused to
// start is never done, and the program hangs. The pool's threads are started
// here, while the system still gives threads, and kept for good, so that
// later drawing never needs a new one (when the user's limit of processes is
// reached, say). Where none can be had, the image windows paint without the
// pool.
void KeepToolkitThreads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);
  struct TGate {
    QSemaphore Started, Hold;
  };
  const auto gate = std::make_shared<TGate>();
  const int wanted = pool->maxThreadCount();
  int kept = 0;
  // One at a time, each part holding its thread, so that each gets its own.
  while (kept < wanted && SystemGivesAThread()) {
    pool->start([gate] {
      gate->Started.release();
      gate->Hold.acquire();
    });
    if (!gate->Started.tryAcquire(1, 5000)) break;
    ++kept;
  }
  gate->Hold.release(wanted);
  if (kept > 0 && kept < wanted) pool->setMaxThreadCount(kept);
}
}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The engine and the codecs read and write numbers with '.', whatever the
  // user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  // A file-size limit makes a write fail, which every save reports, instead of
  // ending the program with unsaved work.
  std::signal(SIGXFSZ, SIG_IGN);
  KeepToolkitThreads();
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
  } catch (...) {
    ReportEscaped(std::current_exception(), 0);
  }
  return false;
}

void TApplication::ReportEscaped(const std::exception_ptr& E, int Retries) {
  // The box runs an event loop of its own, which can run the failing handler
  // again (a layout that needs the memory that is missing): one box says it.
  if (FReporting) return;
  FReporting = true;
  try {
    try {
      std::rethrow_exception(E);
    } catch (const std::exception& e) {
      HandleException(e);
    } catch (...) {
      MessageBox::ShowError(QStringLiteral("An unknown error has occurred."));
    }
    ++FShown;
  } catch (...) {
    // Not even the box could be had. Nothing may leave here: an exception
    // from this handler would cross the event loop and end the program. The
    // box is tried again once the loop has come round and memory may be back.
    bool queued = false;
    if (Retries < 3) {
      try {
        // Unless a box has said it meanwhile.
        QMetaObject::invokeMethod(
            this, [this, E, Retries, shown = FShown] { if (FShown == shown) ReportEscaped(E, Retries + 1); },
            Qt::QueuedConnection);
        queued = true;
      } catch (...) {
      }
    }
    if (!queued) std::fputs("Corvelle Image: an error could not be shown for want of memory\n", stderr);
  }
  FReporting = false;
}

void InstallEngineMessageBoxes() {
  SetInternalErrorHandler([](int Code) {
    if (Code <= 0) return;
    MessageBox::ShowError(ReportIsOutOfMemory() ? QString::fromLatin1(OutOfMemoryText)
                                                : QString::fromStdString(InternalErrorText(Code)));
  });
  SetWarningHandler([](const std::string& Text) { MessageBox::ShowWarning(QString::fromStdString(Text)); });
}
