#pragma once
// Named entries kept as subkeys of one settings key ("Filters", "Palettes"):
// names listed as the registry lists them, matched without regard to case
// as registry keys are, and refused where they would not make one subkey.
#include <QString>
#include <QStringList>

class QComboBox;

namespace StoredSettings {

extern const char* const FiltersKey;   // "Software\Quorvath\Corvelle Image\2.0ZUL\Filters\"
extern const char* const PalettesKey;  // "Software\Quorvath\Corvelle Image\2.0ZUL\Palettes\"

// The subkey names of Key, in the registry's order (alphabetical, case
// ignored); empty when the key is absent.
QStringList EntryNames(const QString& Key);
// The stored name that Name refers to: an existing subkey whose name differs
// only in case, otherwise Name itself.
QString StoredName(const QString& Key, const QString& Name);
// A name that makes exactly one subkey: not empty, no key separators.
bool UsableName(const QString& Name);

// Replaces the items of List by the entries of Key, with nothing chosen. An
// entry whose name the program could not have written (see UsableName), or
// that is stored in a spelling the program does not write, is listed as
// damaged; each item keeps the entry's name and its place in the store.
void ListEntries(QComboBox* List, const QString& Key);
// The stored name of item Index, and whether it is damaged.
QString ItemName(const QComboBox* List, int Index);
bool ItemDamaged(const QComboBox* List, int Index);
// Deletes exactly the entry of Key that item Index of List stands for,
// whatever its name holds.
bool DeleteEntry(const QString& Key, const QComboBox* List, int Index);

// The nine kernel values R1C1 .. R3C3 joined by commas, each in the shortest
// general format, always with "." as the decimal separator.
QString FormatKernel(const long double (&Values)[9]);

}  // namespace StoredSettings
