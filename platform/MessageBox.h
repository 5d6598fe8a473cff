#pragma once
// Modal message boxes with fixed texts. A test installs a hook that records
// each box and gives the answer, so nothing modal ever blocks a test.
#include <QString>
#include <functional>

class QWidget;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

// Buttons, combinable.
enum TMsgDlgButton : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
};
constexpr unsigned mbYesNo = mbYes | mbNo;
constexpr unsigned mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr unsigned mbOKCancel = mbOK | mbCancel;

// Modal results, with the class library's numbers (OK 1, Cancel 2, Yes 6, No 7).
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };

namespace MessageBox {

// Shows the box and returns the button pressed.
int MessageDlg(const QString& Text, TMsgDlgType Type, unsigned Buttons, QWidget* Parent = nullptr);

void ShowError(const QString& Text, QWidget* Parent = nullptr);
void ShowWarning(const QString& Text, QWidget* Parent = nullptr);
void ShowInformation(const QString& Text, QWidget* Parent = nullptr);
int AskQuestion(const QString& Text, unsigned Buttons = mbYesNo, QWidget* Parent = nullptr);

// The box title of each kind.
QString Caption(TMsgDlgType Type);

// While a hook is installed it answers every box instead of the user.
using THook = std::function<int(TMsgDlgType Type, const QString& Text, unsigned Buttons)>;
THook SetHook(THook Hook);  // returns the previous hook

}  // namespace MessageBox
