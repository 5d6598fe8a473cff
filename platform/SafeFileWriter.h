#pragma once
// The one way the program puts a file in place: the whole new file or none.
#include <sys/types.h>

#include <cstddef>
#include <string>

// "Is a directory" or "Not a regular file" for what is not a regular file
// (a named pipe, a device, a socket); empty for a regular file.
std::string FileKindReason(mode_t Mode);

// Writes into a temporary file beside the target and renames it over the
// target in Commit, so a failed save never destroys the old file. A writer
// that is destroyed without Commit removes its temporary file; one that an
// interrupted save left behind is removed by the next save of that file.
// A file-size limit makes a write fail (the signal that would end the
// program is ignored). A symbolic link whose file does not exist, or that
// loops, is refused rather than replaced by a plain file; so is, before
// anything is written, a name that is not a regular file (a device, a pipe,
// a socket, a folder, also behind a link) and a write-protected file. The
// data are synced to the disk before the rename and the folder after it.
class TSafeFileWriter {
 public:
  TSafeFileWriter() = default;
  ~TSafeFileWriter();
  TSafeFileWriter(const TSafeFileWriter&) = delete;
  TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

  bool Open(const std::string& TargetName);
  // Buffered; false once any write has failed.
  bool Write(const void* Data, std::size_t Count);
  bool WriteZeros(std::size_t Count);
  // Flushes and renames; false on any failure, with the target untouched
  // unless InPlace says otherwise.
  bool Commit();
  // Commit failed only at the folder's sync, after the rename: the new file
  // has taken the name, but its entry may not yet be lasting.
  bool InPlace() const { return FInPlace; }
  void Abort();
  bool Ok() const { return Fd >= 0 && !Error; }
  // The system's reason for the first failure ("No space left on device"),
  // empty when there was none.
  const std::string& Reason() const { return FReason; }
  // The temporary name a save of Target writes into begins with this.
  static std::string TemporaryPrefix(const std::string& Target);
  // The call that syncs a file or a folder to the disk (fsync); tests put one
  // that fails in its place. Returns the one it replaces; null restores fsync.
  using TSyncCall = int (*)(int Fd);
  static TSyncCall SetSyncCall(TSyncCall Call);

 private:
  void Fail(int Errno);
  void Fail(const std::string& Reason);
  std::string FReason;
  bool Flush();
  bool WriteAll(const unsigned char* Data, std::size_t Count);
  int Fd = -1;
  std::string Target, TempName;
  bool Error = false;
  bool FInPlace = false;
  unsigned char* Buf = nullptr;
  std::size_t Used = 0;
};

// The first line of the message when only the folder's sync failed.
inline constexpr const char* msgFolderNotSynced =
    "The file has been written, but the folder it is in could not be synced to the disk. The new file is in place.";

// Text followed by the writer's reason on a second line, when it has one;
// msgFolderNotSynced in place of Text when the new file is in place.
std::string SaveFailureText(const std::string& Text, const TSafeFileWriter& Writer);
