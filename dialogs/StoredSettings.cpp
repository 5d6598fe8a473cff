#include "dialogs/StoredSettings.h"

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

QString FormatKernel(const long double (&Values)[9]) {
  QStringList parts;
  for (long double v : Values) parts << QString::fromStdString(NumFormat::FloatToStr(v, '.'));
  return parts.join(QLatin1Char(','));
}

}  // namespace StoredSettings
