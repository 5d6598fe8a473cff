#include "formats/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/CodecMessage.h"

std::string NonFiniteWarning(std::int64_t Count) {
  return "Warning: " + std::to_string(Count) +
         (Count == 1 ? " value in this file was not a number or infinite and has been set to 0."
                     : " values in this file were not numbers or infinite and have been set to 0.");
}

TByteSource::TByteSource(const void* Data, std::size_t Size)
    : Mem(static_cast<const std::uint8_t*>(Data)), MemSize(Size), Opened(true), TotalSize(Size) {}

TByteSource::~TByteSource() {
  if (Fd >= 0) ::close(Fd);
}

std::string NotAFileReason(const std::string& FileName) {
  struct stat st {};
  return ::stat(FileName.c_str(), &st) == 0 ? FileKindReason(st.st_mode) : std::string();
}

std::string CannotOpenText(const std::string& FileName, const std::string& Reason) {
  return "Cannot open file \"" + FileName + "\". " + Reason;
}

bool TByteSource::OpenFile(const std::string& FileName) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
  Opened = false;
  Pos = TotalSize = 0;
  IOError = false;
  FReason.clear();
  // Opening a named pipe waits for a writer that may never come, and opening
  // a device can have effects of its own: look before opening. Non-blocking,
  // so that one put in the file's place meanwhile cannot hang the program.
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) {
    FReason = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    FReason = FileKindReason(st.st_mode);
    return false;
  }
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    FReason = std::strerror(errno);
    return false;
  }
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    FReason = known ? FileKindReason(st.st_mode) : std::strerror(errno);
    ::close(fd);
    return false;
  }
  Fd = fd;
  Opened = true;
  TotalSize = std::uint64_t(st.st_size);
  return true;
}

std::size_t TByteSource::Read(void* Buffer, std::size_t Count) {
  if (!Opened || Pos >= TotalSize) return 0;
  Count = std::size_t(std::min<std::uint64_t>(Count, TotalSize - Pos));
  if (Fd < 0) {
    std::memcpy(Buffer, Mem + Pos, Count);
    Pos += Count;
    return Count;
  }
  auto* out = static_cast<unsigned char*>(Buffer);
  std::size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::pread(Fd, out + done, Count - done, off_t(Pos + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      IOError = true;
      FReason = std::strerror(errno);
      break;
    }
    if (n == 0) break;  // the file shrank under us
    done += std::size_t(n);
  }
  Pos += done;
  return done;
}

bool TByteSource::ReadExact(void* Buffer, std::size_t Count) {
  if (Remaining() < Count) return false;
  const std::uint64_t start = Pos;
  if (Read(Buffer, Count) != Count) {
    Pos = start;
    return false;
  }
  return true;
}
