#pragma once
// The open and save dialogs of the main window. Filters are written the
// Windows way ("Name|*.a;*.b|Other|*.c"); matching ignores case. A test hook
// answers instead of the user.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

class TFileDialog {
 public:
  enum class TKind { Open, Save };
  explicit TFileDialog(TKind Kind) : Kind(Kind) {}

  TKind Kind;
  QString Title;
  QString Filter;
  int FilterIndex = 1;  // 1-based, as the dialog left it
  QString DefaultExt;   // appended when the chosen name has none
  QString InitialDir;
  bool MultiSelect = false;
  bool OverwritePrompt = false;
  QString FileName;   // the first (or only) file chosen
  QStringList Files;  // every file chosen, in the dialog's order
  // When set, the dialog shows a button of this caption that calls OnOptions.
  QString OptionsCaption;
  std::function<void()> OnOptions;

  // Runs the dialog; false on Cancel.
  bool Execute(QWidget* Parent = nullptr);

  // "Name|*.a;*.b|..." as Qt name filters "Name (*.a *.b)".
  static QStringList QtFilters(const QString& Filter);
  // 1-based position in Filter of the filter the dialog reports as chosen
  // (its Qt form or its name alone); 0 when none.
  static int FilterPosition(const QString& Filter, const QString& Chosen);
  // The name with the extension the dialog adds when it has none: the chosen
  // filter's own extension, else DefaultExt.
  QString WithDefaultExtension(const QString& Name) const;

  using THook = std::function<bool(TFileDialog& Dialog)>;
  static THook SetHook(THook Hook);  // returns the previous hook
};
