#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "platform/KeyboardReturn.h"

namespace MessageBox {
namespace {
THook& Hook() {
  static THook h;
  return h;
}
}  // namespace

QString Caption(TMsgDlgType Type) {
  switch (Type) {
    case TMsgDlgType::mtWarning: return QStringLiteral("Warning");
    case TMsgDlgType::mtError: return QStringLiteral("Error");
    case TMsgDlgType::mtInformation: return QStringLiteral("Information");
    case TMsgDlgType::mtConfirmation: return QStringLiteral("Confirm");
  }
  return {};
}

THook SetHook(THook NewHook) { return std::exchange(Hook(), std::move(NewHook)); }

int MessageDlg(const QString& Text, TMsgDlgType Type, unsigned Buttons, QWidget* Parent) {
  if (auto& h = Hook()) return h(Type, Text, Buttons);

  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (Type) {
    case TMsgDlgType::mtWarning: icon = QMessageBox::Warning; break;
    case TMsgDlgType::mtError: icon = QMessageBox::Critical; break;
    case TMsgDlgType::mtInformation: icon = QMessageBox::Information; break;
    case TMsgDlgType::mtConfirmation: icon = QMessageBox::Question; break;
  }
  const TKeyboardReturn back(Parent);
  if (!Parent) Parent = QApplication::activeWindow();
  // The start-up splash stays on top: a box raised while it is up (a
  // settings file that cannot be read) would sit behind it, unread.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowType() == Qt::SplashScreen) w->hide();
  QMessageBox box(icon, Caption(Type), Text, QMessageBox::NoButton, Parent);
  struct Entry {
    unsigned Flag;
    QMessageBox::StandardButton Button;
    int Result;
  };
  const Entry entries[] = {{mbYes, QMessageBox::Yes, mrYes},
                           {mbNo, QMessageBox::No, mrNo},
                           {mbOK, QMessageBox::Ok, mrOk},
                           {mbCancel, QMessageBox::Cancel, mrCancel}};
  for (const Entry& e : entries) {
    if (Buttons & e.Flag) box.addButton(e.Button);
  }
  if (!Buttons) box.addButton(QMessageBox::Ok);
  box.exec();
  back.Restore();
  const auto pressed = box.standardButton(box.clickedButton());
  for (const Entry& e : entries) {
    if (pressed == e.Button) return e.Result;
  }
  // Closed with Escape or the title bar: Cancel where offered, else the only answer.
  if (Buttons & mbCancel) return mrCancel;
  if (Buttons == mbYesNo) return mrNo;
  return mrOk;
}

void ShowError(const QString& Text, QWidget* Parent) { MessageDlg(Text, TMsgDlgType::mtError, mbOK, Parent); }

void ShowWarning(const QString& Text, QWidget* Parent) { MessageDlg(Text, TMsgDlgType::mtWarning, mbOK, Parent); }

void ShowInformation(const QString& Text, QWidget* Parent) {
  MessageDlg(Text, TMsgDlgType::mtInformation, mbOK, Parent);
}

int AskQuestion(const QString& Text, unsigned Buttons, QWidget* Parent) {
  return MessageDlg(Text, TMsgDlgType::mtConfirmation, Buttons, Parent);
}

}  // namespace MessageBox
