#include "dialogs/StoredSettings.h"

#include <QComboBox>
#include <algorithm>

#include "platform/NumFormat.h"
#include "platform/Registry.h"

namespace StoredSettings {

const char* const FiltersKey = "Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters\\";
const char* const PalettesKey = "Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Palettes\\";

QStringList EntryNames(const QString& Key) {
  TRegistry reg;
  if (!reg.OpenKey(Key, false)) return {};
  QStringList names = reg.GetKeyNames();
  reg.CloseKey();
  std::stable_sort(names.begin(), names.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  return names;
}

QString StoredName(const QString& Key, const QString& Name) {
  for (const QString& n : EntryNames(Key))
    if (n.compare(Name, Qt::CaseInsensitive) == 0) return n;
  return Name;
}

bool UsableName(const QString& Name) {
  return !Name.isEmpty() && !Name.contains(QLatin1Char('\\')) && !Name.contains(QLatin1Char('/'));
}

namespace {
constexpr int NameRole = Qt::UserRole;
constexpr int DamagedRole = Qt::UserRole + 1;
}  // namespace

void ListEntries(QComboBox* List, const QString& Key) {
  List->clear();
  for (const QString& name : EntryNames(Key)) {
    const bool damaged = !UsableName(name);
    List->addItem(damaged ? name + QStringLiteral(" (damaged)") : name);
    List->setItemData(List->count() - 1, name, NameRole);
    List->setItemData(List->count() - 1, damaged, DamagedRole);
  }
  List->setCurrentIndex(-1);
}

QString ItemName(const QComboBox* List, int Index) {
  const QVariant name = List->itemData(Index, NameRole);
  return name.isValid() ? name.toString() : List->itemText(Index);
}

bool ItemDamaged(const QComboBox* List, int Index) { return List->itemData(Index, DamagedRole).toBool(); }

bool DeleteEntry(const QString& Key, const QString& Name) {
  TRegistry reg;
  return reg.OpenKey(Key, false) && reg.DeleteSubKey(Name);
}

QString FormatKernel(const long double (&Values)[9]) {
  QStringList parts;
  for (long double v : Values) parts << QString::fromStdString(NumFormat::FloatToStr(v, '.'));
  return parts.join(QLatin1Char(','));
}

}  // namespace StoredSettings
