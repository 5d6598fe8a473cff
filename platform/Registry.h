#pragma once
// A TRegistry-like store of keys and typed values, kept in an INI file. Keys
// keep their Windows paths ("Software\Quorvath\..."); a key exists once it has
// been created, even when empty; creating a key creates its parents.
//
// The file is $CORVELLE_SETTINGS_DIR/registry.ini when that variable is set
// (tests, CI), otherwise registry.ini in the user's configuration folder.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

class QSettings;

class ERegistryException : public std::runtime_error {
 public:
  explicit ERegistryException(const QString& Message) : std::runtime_error(Message.toStdString()) {}
};

enum class TRegRootKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };
enum class TRegDataType { rdUnknown, rdString, rdInteger, rdBinary };

class TRegistry {
 public:
  // A store file that cannot be parsed is first renamed to "registry.ini.damaged"
  // (or "registry.ini.damaged-2" and on), so that nothing written later
  // replaces it, and the user is told in a warning box. One that is not a
  // regular file (a named pipe, a device, a link to one), is larger than
  // LargestStore or cannot be read (no permission, on it or on its folder) is
  // neither opened nor replaced: the values start empty and live for the
  // program's run only, and the user is told once.
  //
  // The values are worked on in a copy of the file, in the temporary folder
  // or, where that cannot hold it, beside the file. Where neither can, they
  // are read from the file and live for the run only, which the user is told
  // once. A start removes the copies that runs ended by a signal left.
  TRegistry();
  // Stores what was written: the whole new file takes the old one's place, or
  // nothing changes. A store that fails (a full disk, a file-size limit, no
  // memory left, a lock file that is not a regular file or is held too long)
  // keeps the old file byte for byte; the user is told once, and the program
  // goes on.
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  TRegRootKey RootKey = TRegRootKey::HKEY_CURRENT_USER;

  // A key starting with '\' is absolute; otherwise it is relative to the open
  // key. Without CanCreate a missing key fails (returns false, nothing changes).
  // With CanCreate, as in CreateKey and DeleteKey, every name in the path must
  // be a name: a path with an empty name (two separators in a row, one at the
  // end) fails, so that it can never stand for its parent key.
  bool OpenKey(const QString& Key, bool CanCreate);
  bool OpenKeyReadOnly(const QString& Key) { return OpenKey(Key, false); }
  void CloseKey();
  bool HasCurrentKey() const { return Open; }
  QString CurrentPath() const { return Current; }

  bool CreateKey(const QString& Key);
  bool DeleteKey(const QString& Key);  // with all its subkeys and values
  // Deletes the one subkey of the open key called Name, taken as it stands
  // (separators in it are part of the name); an empty name deletes nothing.
  bool DeleteSubKey(const QString& Name);
  bool KeyExists(const QString& Key) const;
  QStringList GetKeyNames() const;    // subkeys of the open key
  // The subkeys of the open key as the store holds them: each one's name, its
  // spelling in the store, and whether that is the spelling the program writes
  // for the name. A hand-edited or damaged file can hold two spellings of one
  // name ("Good" and "%47ood"), or one the program never writes (".x"):
  // Stored tells them apart, and DeleteStoredSubKey deletes exactly that one.
  struct TSubKey {
    QString Name;
    QString Stored;
    bool AsWritten = true;
  };
  QList<TSubKey> GetSubKeys() const;
  bool DeleteStoredSubKey(const QString& Stored);
  QStringList GetValueNames() const;  // values of the open key
  bool HasSubKeys() const { return !GetKeyNames().isEmpty(); }

  bool ValueExists(const QString& Name) const;
  bool DeleteValue(const QString& Name);
  TRegDataType GetDataType(const QString& Name) const;
  int GetDataSize(const QString& Name) const;  // -1 when the value is missing

  // Reading a missing integer, float, boolean or binary value, or a value of
  // another type, throws ERegistryException. A missing string reads as "".
  int ReadInteger(const QString& Name) const;
  bool ReadBool(const QString& Name) const;
  double ReadFloat(const QString& Name) const;  // stored as 8 binary bytes
  QString ReadString(const QString& Name) const;
  // Copies the value into Buffer and returns its size; throws when it is
  // missing, not binary or larger than BufSize.
  int ReadBinaryData(const QString& Name, void* Buffer, int BufSize) const;
  QByteArray ReadBinary(const QString& Name) const;

  // Writing with no key open throws.
  void WriteInteger(const QString& Name, int Value);
  void WriteBool(const QString& Name, bool Value);
  void WriteFloat(const QString& Name, double Value);
  void WriteString(const QString& Name, const QString& Value);
  void WriteBinaryData(const QString& Name, const void* Buffer, int BufSize);

  // Where the store lives; an empty path restores the default rule.
  static void SetStorageFile(const QString& Path);
  static QString StorageFile();
  // Far above any store the program writes (some kilobytes of layouts,
  // filters and palettes).
  static constexpr qint64 LargestStore = 16 << 20;

 private:
  QString Resolve(const QString& Key) const;  // absolute key path, '\' separated
  QString Group(const QString& Path) const;   // QSettings group of a key path
  QString ValueKey(const QString& Name) const;
  QString RawValue(const QString& Name, bool& Found) const;
  void Put(const QString& Name, const QString& Raw);
  // False when the values, read without a copy, are not all as written.
  bool WorkOnPrivateCopy(const QByteArray& Data);
  bool KeepInMemory(const QString (&Reasons)[2]);
  void SetAsideUnreadableStore(const QByteArray& Data);
  void LeaveStoreAlone(const QString& Reason);
  // Why the store failed, or empty; InPlace when only the folder's sync did.
  QString PutInPlace(bool& InPlace);
  void Sync() noexcept;

  QString File;  // the settings file
  std::unique_ptr<QSettings> Store;
  bool StandIn = false;  // the store file is left alone
  bool Dirty = false;    // written since the last sync
  bool Open = false;
  QString Current;
};
