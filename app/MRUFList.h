#pragma once
// The recently opened files as numbered entries ("&1 path", newest first)
// under a parent menu, kept in the registry under RegistryKey + "\FileHistory"
// as "File1".."File9". Each entry keeps its full path; the caption only shows it.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QMenu;

class TRecentFiles : public QObject {
  Q_OBJECT
 public:
  explicit TRecentFiles(QObject* Parent = nullptr);
  ~TRecentFiles() override;

  QMenu* Menu() const { return FMenu; }
  void SetMenu(QMenu* Menu) { FMenu = Menu; }
  int MaxFiles() const { return FMaxFiles; }
  void SetMaxFiles(int Value);  // at most 9
  QString RegistryKey;
  bool StandAloneMenu() const { return FStandAloneMenu; }
  void SetStandAloneMenu(bool Value);
  bool DeleteEntry = false;
  std::function<void(TRecentFiles* Sender, const QString& FileName)> OnClick;

  // A file that exists goes to the top: an entry of the same name (case
  // sensitive) moves there, otherwise a new one is inserted; the list is cut
  // at MaxFiles.
  void AddFile(const QString& FileName);
  void SaveToRegistry();
  void LoadFromRegistry();

  QString LastFileName() const { return FLastFile; }
  QStringList Files() const;          // newest first
  QList<QAction*> Entries() const;    // the entry items, top first
  QAction* Separator() const { return FSeparator; }
  static QString EntryFileName(const QAction* Entry);
  // Clicking an entry, as the menu does.
  void EntryClick(QAction* Entry);

 private:
  QString Key();
  int SeparatorIndex() const;
  void Renumber();

  QMenu* FMenu = nullptr;
  int FMaxFiles = 0;
  bool FStandAloneMenu = false;
  QAction* FSeparator = nullptr;
  QString FLastFile;
};
