#include "app/MRUFList.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

#include "platform/Application.h"
#include "platform/Registry.h"

namespace {
QString EntryCaption(int Number, const QString& FileName) {
  return QStringLiteral("&%1 %2").arg(Number).arg(QString(FileName).replace(QLatin1Char('&'), QStringLiteral("&&")));
}
}  // namespace

TRecentFiles::TRecentFiles(QObject* Parent) : QObject(Parent) {
  FSeparator = new QAction(this);
  // A line, not an item captioned "-".
  FSeparator->setSeparator(true);
}

TRecentFiles::~TRecentFiles() = default;

QString TRecentFiles::Key() {
  if (RegistryKey.isEmpty()) {
    const TApplication* app = Application();
    RegistryKey = QStringLiteral("\\Software\\") + (app ? app->Title() : QCoreApplication::applicationName());
  }
  return RegistryKey;
}

int TRecentFiles::SeparatorIndex() const {
  if (!FMenu) return -1;
  if (FStandAloneMenu) return -1;  // the entries start at the top
  return int(FMenu->actions().indexOf(FSeparator));
}

QList<QAction*> TRecentFiles::Entries() const {
  QList<QAction*> result;
  if (!FMenu) return result;
  const QList<QAction*> items = FMenu->actions();
  int first;
  if (FStandAloneMenu) first = 0;
  else {
    const int sep = int(items.indexOf(FSeparator));
    if (sep < 0) return result;
    first = sep + 1;
  }
  for (int i = first; i < items.size(); ++i) result.push_back(items[i]);
  return result;
}

QStringList TRecentFiles::Files() const {
  QStringList result;
  for (QAction* a : Entries()) result.push_back(EntryFileName(a));
  return result;
}

QString TRecentFiles::EntryFileName(const QAction* Entry) { return Entry->data().toString(); }

void TRecentFiles::Renumber() {
  const QList<QAction*> entries = Entries();
  for (int i = 0; i < entries.size(); ++i) entries[i]->setText(EntryCaption(i + 1, EntryFileName(entries[i])));
}

void TRecentFiles::AddFile(const QString& FileName) {
  FLastFile = FileName;
  if (!FMenu || FMaxFiles < 1 || FileName.isEmpty() || !QFileInfo(FileName).isFile()) return;
  FMenu->menuAction()->setEnabled(true);
  if (!FStandAloneMenu && !FMenu->actions().contains(FSeparator)) FMenu->addAction(FSeparator);
  QList<QAction*> entries = Entries();
  QAction* entry = nullptr;
  for (QAction* a : entries)
    if (EntryFileName(a) == FileName) entry = a;
  QAction* before = entries.isEmpty() ? nullptr : entries.first();
  if (entry) {
    if (entry != before) {
      FMenu->removeAction(entry);
      FMenu->insertAction(before, entry);
    }
  } else {
    entry = new QAction(EntryCaption(1, FileName), FMenu);
    entry->setData(FileName);
    connect(entry, &QAction::triggered, this, [this, entry] { EntryClick(entry); });
    FMenu->insertAction(before, entry);
  }
  Renumber();
  const QList<QAction*> items = FMenu->actions();
  if (items.size() > SeparatorIndex() + FMaxFiles + 1) {
    QAction* last = items.last();
    FMenu->removeAction(last);
    if (last != FSeparator) last->deleteLater();
  }
}

void TRecentFiles::EntryClick(QAction* Entry) {
  const QString fileName = EntryFileName(Entry);
  if (DeleteEntry) {
    FMenu->removeAction(Entry);
    Entry->deleteLater();
  }
  if (FStandAloneMenu) {
    FMenu->menuAction()->setEnabled(!FMenu->actions().isEmpty());
  } else if (!FMenu->actions().isEmpty() && FMenu->actions().last() == FSeparator) {
    FMenu->removeAction(FSeparator);
  } else {
    Renumber();
  }
  if (OnClick) OnClick(this, fileName);
}

void TRecentFiles::SetMaxFiles(int Value) {
  FMaxFiles = std::min(Value, 9);
  if (!FMenu) return;
  const int sep = SeparatorIndex();
  if (!FStandAloneMenu && sep < 0) return;
  while (FMenu->actions().size() > sep + 1 + FMaxFiles) {
    QAction* last = FMenu->actions().last();
    if (last == FSeparator) break;
    FMenu->removeAction(last);
    last->deleteLater();
  }
  if (FMaxFiles == 0 && !FStandAloneMenu && !FMenu->actions().isEmpty() && FMenu->actions().last() == FSeparator)
    FMenu->removeAction(FSeparator);
}

void TRecentFiles::SetStandAloneMenu(bool Value) {
  if (FMenu) FMenu->menuAction()->setEnabled(false);
  FStandAloneMenu = Value;
}

void TRecentFiles::SaveToRegistry() {
  if (!FMenu) return;
  const QString key = Key() + QStringLiteral("\\FileHistory");
  TRegistry reg;
  if (reg.KeyExists(key)) reg.DeleteKey(key);
  if (!reg.OpenKey(key, true)) return;
  const QStringList files = Files();
  for (int i = 0; i < files.size(); ++i) reg.WriteString(QStringLiteral("File%1").arg(i + 1), files[i]);
  reg.CloseKey();
}

void TRecentFiles::LoadFromRegistry() {
  if (!FMenu) return;
  TRegistry reg;
  if (!reg.OpenKey(Key() + QStringLiteral("\\FileHistory"), false)) return;
  for (int n = FMaxFiles; n >= 1; --n) {
    // A bad entry is dropped alone; the good ones stay.
    QString file;
    try {
      file = reg.ReadString(QStringLiteral("File%1").arg(n));
    } catch (...) {
      continue;
    }
    if (!file.isEmpty()) AddFile(file);
  }
  reg.CloseKey();
  if (FStandAloneMenu) FMenu->menuAction()->setEnabled(!FMenu->actions().isEmpty());
}
