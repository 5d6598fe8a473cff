#pragma once
// The registration group's windows on a fresh main window, and a helper that
// acts on a modal dialog once the command has opened it.
#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"

class RegistrationTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateRegistrationForms(Form.get());
  }
  void TearDown() override {
    for (TChildForm* c : Form->MDIChildren()) {
      c->setAttribute(Qt::WA_DeleteOnClose, false);
      delete c;
    }
    FreeRegistrationForms();
    AppTest::TearDown();
  }
  // Triggers the main window's action Name; Act runs on the modal dialog it
  // opens and must close it. A dialog left open is a failure and is closed.
  void RunCommand(const char* Name, std::function<void(QWidget*)> Act) {
    bool acted = false;
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, Act, &acted] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog && ++*tries < 400) return;
      timer->stop();
      timer->deleteLater();
      if (!dialog) return;
      acted = true;
      Act(dialog);
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the dialog was left open";
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
      }
    });
    timer->start();
    Form->Action(QString::fromLatin1(Name))->trigger();
    if (!acted) {
      timer->stop();
      timer->deleteLater();
    }
    LastActed = acted;
  }
  bool LastActed = false;

  QList<TChildForm*> Windows() const { return Form->MDIChildren(); }
  TChildForm* WindowCaptioned(const QString& Caption) const {
    for (TChildForm* c : Form->MDIChildren())
      if (c->Caption() == Caption) return c;
    return nullptr;
  }
};
