#include "dialogs/StoredSettings.h"

#include <QComboBox>
#include <algorithm>

#include "platform/NumFormat.h"
#include "platform/Registry.h"

namespace StoredSettings {

const char* const FiltersKey = "Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters\\";
const char* const PalettesKey = "Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Palettes\\";

namespace {
QList<TRegistry::TSubKey> Entries(const QString& Key) {
  TRegistry reg;
  if (!reg.OpenKey(Key, false)) return {};
  QList<TRegistry::TSubKey> entries = reg.GetSubKeys();
  reg.CloseKey();
  std::stable_sort(entries.begin(), entries.end(), [](const TRegistry::TSubKey& a, const TRegistry::TSubKey& b) {
    return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
  });
  return entries;
}
}  // namespace

QStringList EntryNames(const QString& Key) {
  QStringList names;
  for (const TRegistry::TSubKey& e : Entries(Key)) names << e.Name;
  return names;
}

QString StoredName(const QString& Key, const QString& Name) {
  // Only an entry stored as the program writes its name is the one that name opens.
  for (const TRegistry::TSubKey& e : Entries(Key))
    if (e.AsWritten && e.Name.compare(Name, Qt::CaseInsensitive) == 0) return e.Name;
  return Name;
}

bool UsableName(const QString& Name) {
  return !Name.isEmpty() && !Name.contains(QLatin1Char('\\')) && !Name.contains(QLatin1Char('/'));
}

namespace {
constexpr int NameRole = Qt::UserRole;
constexpr int DamagedRole = Qt::UserRole + 1;
constexpr int StoredRole = Qt::UserRole + 2;
}  // namespace

void ListEntries(QComboBox* List, const QString& Key) {
  List->clear();
  for (const TRegistry::TSubKey& e : Entries(Key)) {
    // A name stored in a spelling the program never writes ("%47ood" for
    // "Good") is not the entry that name opens.
    const bool damaged = !e.AsWritten || !UsableName(e.Name);
    List->addItem(damaged ? e.Name + QStringLiteral(" (damaged)") : e.Name);
    List->setItemData(List->count() - 1, e.Name, NameRole);
    List->setItemData(List->count() - 1, damaged, DamagedRole);
    List->setItemData(List->count() - 1, e.Stored, StoredRole);
  }
  List->setCurrentIndex(-1);
}

QString ItemName(const QComboBox* List, int Index) {
  const QVariant name = List->itemData(Index, NameRole);
  return name.isValid() ? name.toString() : List->itemText(Index);
}

bool ItemDamaged(const QComboBox* List, int Index) { return List->itemData(Index, DamagedRole).toBool(); }

bool DeleteEntry(const QString& Key, const QComboBox* List, int Index) {
  const QVariant stored = List->itemData(Index, StoredRole);
  if (!stored.isValid()) return false;
  TRegistry reg;
  return reg.OpenKey(Key, false) && reg.DeleteStoredSubKey(stored.toString());
}

QString FormatKernel(const long double (&Values)[9]) {
  QStringList parts;
  for (long double v : Values) parts << QString::fromStdString(NumFormat::FloatToStr(v, '.'));
  return parts.join(QLatin1Char(','));
}

}  // namespace StoredSettings
