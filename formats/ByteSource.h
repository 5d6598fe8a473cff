#pragma once
// Input and output for the codecs: a byte source that is either a file or a
// block of memory (so every decoder can be tested and fuzzed without files),
// and a writer that replaces its target only when the whole file is written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SafeFileWriter.h"

class TByteSource {
 public:
  TByteSource() = default;
  TByteSource(const void* Data, std::size_t Size);  // memory; the caller keeps it alive
  ~TByteSource();
  TByteSource(const TByteSource&) = delete;
  TByteSource& operator=(const TByteSource&) = delete;

  // Opens a file read-only; false when it cannot be opened or is not a
  // regular file. A named pipe or a device is refused before it is opened,
  // and the open never waits.
  bool OpenFile(const std::string& FileName);
  // The system's reason for the last failure of OpenFile or of a read
  // ("Too many open files", "Not a regular file"); empty when there was none.
  const std::string& Reason() const { return FReason; }
  bool IsOpen() const { return Opened; }

  std::uint64_t Size() const { return TotalSize; }
  std::uint64_t Position() const { return Pos; }
  std::uint64_t Remaining() const { return Pos < TotalSize ? TotalSize - Pos : 0; }
  // Positions past the end are allowed; reads there give nothing.
  void Seek(std::uint64_t NewPos) { Pos = NewPos; }

  // Reads up to Count bytes; returns how many were read (fewer only at the end
  // of the data). Failed is set by an I/O error.
  std::size_t Read(void* Buffer, std::size_t Count);
  // All or nothing: false (and the position unchanged) when fewer bytes remain.
  bool ReadExact(void* Buffer, std::size_t Count);
  bool Failed() const { return IOError; }

 private:
  int Fd = -1;
  const std::uint8_t* Mem = nullptr;
  std::size_t MemSize = 0;
  bool Opened = false;
  std::uint64_t TotalSize = 0;
  std::uint64_t Pos = 0;
  bool IOError = false;
  std::string FReason;
};

// Why FileName is not a file a reader can open: "Is a directory", "Not a
// regular file" (a named pipe, a device, a socket); empty for a regular file
// and for a name that cannot be looked at (opening it says why).
std::string NotAFileReason(const std::string& FileName);

// What every reader says of a name it cannot open as a file, whatever the
// reason: Cannot open file "<name>". <reason>
std::string CannotOpenText(const std::string& FileName, const std::string& Reason);

// Little- and big-endian helpers.
namespace ByteOrder {
inline std::uint16_t LoadLE16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::uint16_t LoadBE16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }
inline std::uint32_t LoadBE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
inline void StoreBE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v >> 8);
  p[1] = std::uint8_t(v);
}
inline void StoreBE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}
}  // namespace ByteOrder
