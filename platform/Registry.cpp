#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "platform/MessageBox.h"

namespace {

QString& StorageOverride() {
  static QString path;
  return path;
}

// Marks a key as existing, so empty keys survive in the INI file.
const QString kMarker = QStringLiteral(".key");

// Names are stored percent-encoded so that separators in them stay literal.
QString Encode(const QString& Name) {
  QString out;
  for (QChar c : Name) {
    if (c == '%' || c == '/' || c == '\\' || (c == '.' && out.isEmpty())) {
      out += QStringLiteral("%%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')).toUpper();
    } else {
      out += c;
    }
  }
  return out;
}

QString Decode(const QString& Stored) {
  QString out;
  for (int i = 0; i < Stored.size(); ++i) {
    if (Stored[i] == '%' && i + 2 < Stored.size()) {
      bool ok = false;
      int code = Stored.mid(i + 1, 2).toInt(&ok, 16);
      if (ok) {
        out += QChar(code);
        i += 2;
        continue;
      }
    }
    out += Stored[i];
  }
  return out;
}

QStringList SplitPath(const QString& Path) { return Path.split('\\', Qt::SkipEmptyParts); }

QString ReadErrorText(const QString& Name) { return QStringLiteral("Invalid data type for '%1'").arg(Name); }

// Every name in the path is a name: an empty one would stand for its parent.
bool NamesEveryKey(const QString& Key) {
  const QString path = Key.startsWith('\\') ? Key.mid(1) : Key;
  if (path.isEmpty()) return false;
  for (const QString& name : path.split('\\'))
    if (name.isEmpty()) return false;
  return true;
}

}  // namespace

void TRegistry::SetStorageFile(const QString& Path) { StorageOverride() = Path; }

QString TRegistry::StorageFile() {
  if (!StorageOverride().isEmpty()) return StorageOverride();
  const QByteArray dir = qgetenv("CORVELLE_SETTINGS_DIR");
  if (!dir.isEmpty()) return QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("registry.ini"));
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/Quorvath/Corvelle Image/registry.ini");
}

namespace {
constexpr std::size_t kStoreHeadroom = 64 * 1024;
// Where the headroom is shown to be used, so that no compiler leaves it out.
char* volatile HeadroomSeen = nullptr;

enum class TStoreFile { Readable, Unreadable, NotAFile, TooLarge };

// The store is text as the program writes it: UTF-8 lines. Anything else
// (UTF-16 or UTF-32, text in another 8-bit encoding, random bytes) would be
// read as something it is not and written back over what it held. A named
// pipe or a device in its place is not opened at all (a pipe would hold the
// start until someone writes to it, a device may never end), nor is a file
// far larger than any store the program writes.
TStoreFile ReadableAsWritten(const QString& File) {
  const QByteArray name = QFile::encodeName(File);
  struct stat st {};
  if (::stat(name.constData(), &st) != 0) return TStoreFile::Readable;  // nothing there to lose
  if (!S_ISREG(st.st_mode)) return TStoreFile::NotAFile;
  if (st.st_size > TRegistry::LargestStore) return TStoreFile::TooLarge;
  // Without waiting: what the name holds may have changed since.
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return TStoreFile::Readable;
  TStoreFile verdict = TStoreFile::Readable;
  QByteArray data;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    verdict = TStoreFile::NotAFile;
  } else {
    // One byte beyond the limit tells a file that grew past it.
    const qsizetype limit = qsizetype(TRegistry::LargestStore) + 1;
    data.resize(std::min<qsizetype>(qsizetype(st.st_size) + 1, limit));
    qsizetype used = 0;
    for (;;) {
      if (used == data.size()) {
        if (used == limit) break;
        data.resize(std::min<qsizetype>(2 * used, limit));
      }
      const ssize_t n = ::read(fd, data.data() + used, size_t(data.size() - used));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      used += n;
    }
    data.truncate(used);
    if (used == limit) verdict = TStoreFile::TooLarge;
  }
  ::close(fd);
  if (verdict != TStoreFile::Readable) return verdict;
  if (data.contains('\0')) return TStoreFile::Unreadable;
  QStringDecoder utf8(QStringDecoder::Utf8);
  [[maybe_unused]] const QString text = utf8.decode(data);  // decoding sets the error
  return utf8.hasError() ? TStoreFile::Unreadable : TStoreFile::Readable;
}

// Said in a box, or on one line of the error stream where no box can be made
// (no application object, or not even the memory for a box).
void Say(const std::function<QString()>& Text, const char* Short) noexcept {
  try {
    const QString text = Text();
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
      MessageBox::ShowWarning(text);
      return;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return;
  } catch (...) {
  }
  std::fprintf(stderr, "%s\n", Short);
}

// What a store that is left alone holds while the program runs: a file of
// its own in a private folder that goes with the program.
QString StandInFor(const QString& File) {
  static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/corvelle-settings-XXXXXX"));
  static QHash<QString, QString> standIns;
  // Without that folder the values live until the store is closed: nothing
  // can be made under /proc.
  if (!folder.isValid()) return QStringLiteral("/proc/self/corvelle-settings/registry.ini");
  auto it = standIns.find(File);
  if (it == standIns.end())
    it = standIns.insert(File, folder.filePath(QStringLiteral("registry-%1.ini").arg(standIns.size() + 1)));
  return *it;
}
}  // namespace

TRegistry::TRegistry() {
  const QString file = StorageFile();
  QDir().mkpath(QFileInfo(file).absolutePath());
  switch (ReadableAsWritten(file)) {
    case TStoreFile::NotAFile:
    case TStoreFile::TooLarge: LeaveStoreAlone(file); return;
    case TStoreFile::Unreadable: SetAsideUnreadableStore(file); return;
    case TStoreFile::Readable: break;
  }
  Store = std::make_unique<QSettings>(file, QSettings::IniFormat);
  // The INI reader drops what it cannot parse and the next write would lose
  // it for good.
  if (Store->status() == QSettings::FormatError) SetAsideUnreadableStore(file);
}

void TRegistry::LeaveStoreAlone(const QString& File) {
  Store = std::make_unique<QSettings>(StandInFor(File), QSettings::IniFormat);
  StandIn = true;
  static QSet<QString> told;
  if (told.contains(File)) return;
  told.insert(File);
  Say(
      [&File] {
        const QFileInfo info(File);
        const QString what =
            info.isFile() ? QStringLiteral("is far larger than any settings file Corvelle Image writes (%1 bytes)")
                                .arg(info.size())
                          : QStringLiteral("is not a regular file");
        return QStringLiteral("The settings file %1 %2. It has been left as it is, neither read nor replaced: the "
                              "settings start from their defaults and are not kept after the program ends.")
            .arg(QDir::toNativeSeparators(File), what);
      },
      "The settings file is not one the program can read; the settings start from their defaults.");
}

void TRegistry::SetAsideUnreadableStore(const QString& File) {
  Store.reset();  // nothing was written through it
  QString aside = File + QStringLiteral(".damaged");
  for (int n = 2; QFileInfo::exists(aside) && n < 1000; ++n) aside = File + QStringLiteral(".damaged-%1").arg(n);
  QFile file(File);
  const bool kept = !QFileInfo::exists(aside) && file.rename(aside);
  Store = std::make_unique<QSettings>(File, QSettings::IniFormat);
  // Once for each file that stays unreadable where it is.
  static QSet<QString> told;
  if (!kept && told.contains(File)) return;
  told.insert(File);
  const QString name = QDir::toNativeSeparators(File);
  if (kept)
    MessageBox::ShowWarning(QStringLiteral("The settings file %1 could not be read. It has been kept as %2, and the "
                                           "settings start again from their defaults.")
                                .arg(name, QDir::toNativeSeparators(aside)));
  else
    MessageBox::ShowWarning(QStringLiteral("The settings file %1 could not be read, and it could not be kept aside "
                                           "(%2). The settings that cannot be read take their defaults.")
                                .arg(name, file.errorString()));
}

TRegistry::~TRegistry() { Sync(); }

void TRegistry::Sync() noexcept {
  if (!Store) return;
  const bool writing = Dirty;
  Dirty = false;
  QString failure;
  try {
    // The toolkit cannot survive every allocation that fails in the middle of
    // a store (its lock file's cleanup allocates): a store starts only with
    // some memory to spare, which it then finds in the heap.
    if (writing) HeadroomSeen = std::make_unique<char[]>(kStoreHeadroom).get();
    Store->sync();
    if (writing && Store->status() == QSettings::AccessError) failure = QStringLiteral("the file could not be written");
  } catch (const std::bad_alloc&) {
    failure = QStringLiteral("Out of memory");
  } catch (...) {
    failure = QStringLiteral("the file could not be written");
  }
  if (!writing || StandIn) return;
  // Told once for a run of failures; a store that goes through ends the run.
  static bool failing = false;
  if (failure.isEmpty() || failing) {
    failing = !failure.isEmpty();
    return;
  }
  failing = true;
  Say(
      [&] {
        return QStringLiteral("The settings could not be stored (%1). The settings file %2 has been left as it was.")
            .arg(failure, QDir::toNativeSeparators(Store->fileName()));
      },
      "The settings could not be stored; the settings file has been left as it was.");
}

QString TRegistry::Resolve(const QString& Key) const {
  QStringList parts = SplitPath(Key);
  if (!Key.startsWith('\\') && Open) parts = SplitPath(Current) + parts;
  return parts.join('\\');
}

QString TRegistry::Group(const QString& Path) const {
  QStringList g{RootKey == TRegRootKey::HKEY_CURRENT_USER ? QStringLiteral("HKEY_CURRENT_USER")
                                                          : QStringLiteral("HKEY_LOCAL_MACHINE")};
  for (const QString& p : SplitPath(Path)) g << Encode(p);
  return g.join('/');
}

bool TRegistry::KeyExists(const QString& Key) const {
  const QString path = Resolve(Key);
  if (SplitPath(path).isEmpty()) return true;  // the root key
  return Store->contains(Group(path) + '/' + kMarker);
}

bool TRegistry::CreateKey(const QString& Key) {
  if (!NamesEveryKey(Key)) return false;
  const QStringList parts = SplitPath(Resolve(Key));
  QString path;
  for (const QString& p : parts) {
    path = path.isEmpty() ? p : path + '\\' + p;
    const QString marker = Group(path) + '/' + kMarker;
    if (!Store->contains(marker)) {
      Store->setValue(marker, QStringLiteral("1"));
      Dirty = true;
    }
  }
  Sync();
  return true;
}

bool TRegistry::OpenKey(const QString& Key, bool CanCreate) {
  if (CanCreate && !NamesEveryKey(Key)) return false;
  const QString path = Resolve(Key);
  if (!KeyExists(QLatin1Char('\\') + path)) {
    if (!CanCreate) return false;
    CreateKey(QLatin1Char('\\') + path);
  }
  Current = path;
  Open = true;
  return true;
}

void TRegistry::CloseKey() {
  Sync();
  Open = false;
  Current.clear();
}

bool TRegistry::DeleteKey(const QString& Key) {
  if (!NamesEveryKey(Key)) return false;
  const QString path = Resolve(Key);
  if (SplitPath(path).isEmpty() || !KeyExists(QLatin1Char('\\') + path)) return false;
  Store->remove(Group(path));
  Dirty = true;
  Sync();
  return true;
}

bool TRegistry::DeleteSubKey(const QString& Name) {
  if (!Open || Name.isEmpty()) return false;
  const QString group = Group(Current) + '/' + Encode(Name);
  if (!Store->contains(group + '/' + kMarker)) return false;
  Store->remove(group);
  Dirty = true;
  Sync();
  return true;
}

QStringList TRegistry::GetKeyNames() const {
  QStringList out;
  Store->beginGroup(Group(Current));
  for (const QString& g : Store->childGroups()) {
    if (Store->contains(g + '/' + kMarker)) out << Decode(g);
  }
  Store->endGroup();
  return out;
}

QList<TRegistry::TSubKey> TRegistry::GetSubKeys() const {
  QList<TSubKey> out;
  Store->beginGroup(Group(Current));
  for (const QString& g : Store->childGroups()) {
    if (!Store->contains(g + '/' + kMarker)) continue;
    const QString name = Decode(g);
    out.push_back({name, g, Encode(name) == g});
  }
  Store->endGroup();
  return out;
}

bool TRegistry::DeleteStoredSubKey(const QString& Stored) {
  if (!Open || Stored.isEmpty() || Stored.contains(QLatin1Char('/'))) return false;
  const QString group = Group(Current) + '/' + Stored;
  if (!Store->contains(group + '/' + kMarker)) return false;
  Store->remove(group);
  Dirty = true;
  Sync();
  return true;
}

QStringList TRegistry::GetValueNames() const {
  QStringList out;
  Store->beginGroup(Group(Current));
  for (const QString& k : Store->childKeys()) {
    if (k != kMarker) out << Decode(k);
  }
  Store->endGroup();
  return out;
}

QString TRegistry::ValueKey(const QString& Name) const { return Group(Current) + '/' + Encode(Name); }

QString TRegistry::RawValue(const QString& Name, bool& Found) const {
  Found = false;
  if (!Open) return {};
  const QVariant v = Store->value(ValueKey(Name));
  if (!v.isValid()) return {};
  Found = true;
  return v.toString();
}

bool TRegistry::ValueExists(const QString& Name) const {
  bool found;
  RawValue(Name, found);
  return found;
}

bool TRegistry::DeleteValue(const QString& Name) {
  if (!ValueExists(Name)) return false;
  Store->remove(ValueKey(Name));
  Dirty = true;
  return true;
}

TRegDataType TRegistry::GetDataType(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found) return TRegDataType::rdUnknown;
  if (raw.startsWith(QLatin1String("sz:"))) return TRegDataType::rdString;
  if (raw.startsWith(QLatin1String("dword:"))) return TRegDataType::rdInteger;
  if (raw.startsWith(QLatin1String("hex:"))) return TRegDataType::rdBinary;
  return TRegDataType::rdUnknown;
}

int TRegistry::GetDataSize(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found) return -1;
  switch (GetDataType(Name)) {
    case TRegDataType::rdString: return int(raw.mid(3).toUtf8().size()) + 1;
    case TRegDataType::rdInteger: return 4;
    case TRegDataType::rdBinary: return int(QByteArray::fromHex(raw.mid(4).toLatin1()).size());
    default: return 0;
  }
}

void TRegistry::Put(const QString& Name, const QString& Raw) {
  if (!Open) throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(Name));
  Store->setValue(ValueKey(Name), Raw);
  Dirty = true;
}

int TRegistry::ReadInteger(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  bool ok = false;
  int v = 0;
  if (found && raw.startsWith(QLatin1String("dword:"))) v = raw.mid(6).toInt(&ok);
  if (!ok) throw ERegistryException(ReadErrorText(Name));
  return v;
}

bool TRegistry::ReadBool(const QString& Name) const { return ReadInteger(Name) != 0; }

double TRegistry::ReadFloat(const QString& Name) const {
  double v = 0;
  if (ReadBinaryData(Name, &v, sizeof v) != int(sizeof v)) throw ERegistryException(ReadErrorText(Name));
  return v;
}

QString TRegistry::ReadString(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found) return {};
  if (!raw.startsWith(QLatin1String("sz:"))) throw ERegistryException(ReadErrorText(Name));
  return raw.mid(3);
}

QByteArray TRegistry::ReadBinary(const QString& Name) const {
  bool found;
  const QString raw = RawValue(Name, found);
  if (!found || !raw.startsWith(QLatin1String("hex:"))) throw ERegistryException(ReadErrorText(Name));
  return QByteArray::fromHex(raw.mid(4).toLatin1());
}

int TRegistry::ReadBinaryData(const QString& Name, void* Buffer, int BufSize) const {
  const QByteArray data = ReadBinary(Name);
  if (data.size() > BufSize) throw ERegistryException(ReadErrorText(Name));
  if (!data.isEmpty()) std::memcpy(Buffer, data.constData(), size_t(data.size()));
  return int(data.size());
}

void TRegistry::WriteInteger(const QString& Name, int Value) { Put(Name, QStringLiteral("dword:%1").arg(Value)); }

void TRegistry::WriteBool(const QString& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

void TRegistry::WriteFloat(const QString& Name, double Value) { WriteBinaryData(Name, &Value, sizeof Value); }

void TRegistry::WriteString(const QString& Name, const QString& Value) { Put(Name, QStringLiteral("sz:") + Value); }

void TRegistry::WriteBinaryData(const QString& Name, const void* Buffer, int BufSize) {
  const QByteArray data(static_cast<const char*>(Buffer), BufSize < 0 ? 0 : BufSize);
  Put(Name, QStringLiteral("hex:") + QString::fromLatin1(data.toHex()));
}
