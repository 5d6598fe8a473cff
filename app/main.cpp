#include "app/Main.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  app.SetTitle(QStringLiteral("Corvelle Image 2.5ZUL"));
  app.SetHelpFile(QString());
  InstallEngineMessageBoxes();

  TMainForm form;
  MainForm = &form;
  form.show();
  const int rc = app.exec();
  MainForm = nullptr;
  return rc;
}
