#include "formats/SBIG.h"

#include <algorithm>
#include <vector>

using namespace ByteOrder;

namespace {

// The extension, from the file name's last point on, upper-cased.
std::string UpperExtension(const std::string& Path) {
  const std::string name = Path.substr(Path.find_last_of('/') + 1);
  const auto dot = name.find_last_of('.');
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return ext;
}

TSBIGReadResult Refuse() {
  TSBIGReadResult r;
  r.Messages.push_back({TCodecMessageKind::Error, msgOpenError});
  return r;
}

std::string Trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// "Keyword = 123": the number after the equals sign; false when the line is
// another one or the value is not a whole positive number.
bool KeywordValue(const std::string& Line, const std::string& Keyword, bool& Matched, int& Value) {
  const std::string t = Trim(Line);
  if (t.compare(0, Keyword.size(), Keyword) != 0) return false;
  std::string rest = Trim(t.substr(Keyword.size()));
  if (rest.empty() || rest[0] != '=') return false;
  Matched = true;
  rest = Trim(rest.substr(1));
  if (rest.empty() || rest.size() > 9) return false;
  int v = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  Value = v;
  return true;
}

}  // namespace

bool ParseSBIGHeader(const std::string& Text, TSBIGHeader& Header) {
  // "ompressed" in the first line after the model name marks a compressed file.
  Header.Compressed = Text.size() > 5 && Text.substr(5, 11).find("ompressed") != std::string::npos;
  bool haveW = false, haveH = false;
  std::size_t start = 0;
  while (start < Text.size() && !(haveW && haveH)) {
    std::size_t end = Text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = Text.size();
    const std::string line = Text.substr(start, end - start);
    bool matched = false;
    int v = 0;
    if (!haveH && (KeywordValue(line, "Height", matched, v) || matched)) {
      if (!matched || v <= 0) return false;
      Header.Height = v;
      haveH = true;
    } else if (!haveW && (KeywordValue(line, "Width", matched, v) || matched)) {
      if (!matched || v <= 0) return false;
      Header.Width = v;
      haveW = true;
    }
    start = end + 1;
  }
  return haveW && haveH;
}

int DecodeSBIGRow(const std::uint8_t* Codes, std::size_t Count, std::uint16_t First, float* Row, int Width) {
  std::uint16_t prev = First;
  int x = 1;
  std::size_t i = 0;
  while (i < Count && x < Width) {
    std::uint16_t v;
    if (Codes[i] == 0x80) {
      if (Count - i < 3) break;  // the absolute value would run past the row
      v = LoadLE16(Codes + i + 1);
      i += 3;
    } else {
      v = std::uint16_t(prev + std::int8_t(Codes[i]));
      i += 1;
    }
    Row[x++] = float(v);
    prev = v;
  }
  return x - 1;
}

TSBIGReadResult DecodeSBIG(TByteSource& Source) {
  if (!Source.IsOpen() || Source.Size() < kSBIGHeaderSize) return Refuse();
  std::string text(kSBIGHeaderSize, '\0');
  Source.Seek(0);
  if (!Source.ReadExact(text.data(), text.size())) return Refuse();
  TSBIGHeader h;
  if (!ParseSBIGHeader(text, h)) return Refuse();

  // The data must be there before anything is allocated: whole raw rows, or
  // at least a byte count and a first value for each compressed row.
  const std::uint64_t data = Source.Size() - kSBIGHeaderSize;
  const std::uint64_t rowBytes = h.Compressed ? 4 : 2 * std::uint64_t(h.Width);
  if (data / rowBytes < std::uint64_t(h.Height)) return Refuse();
  // A compressed row counts its bytes in a signed 16-bit word: no row can
  // hold more pixels than that, so a wider image is not a real one.
  if (h.Compressed && h.Width > kSBIGMaxCompressedWidth) return Refuse();

  TSBIGReadResult r;
  r.Image = std::make_unique<TDataImage>();
  if (!r.Image->Allocate(h.Width, h.Height, 1, false)) return Refuse();
  float* pixels = r.Image->Pixels;
  std::vector<std::uint8_t> buf(std::size_t(2) * h.Width + 4);
  for (int y = 0; y < h.Height; ++y) {
    float* row = pixels + std::size_t(y) * h.Width;
    if (!h.Compressed) {
      if (!Source.ReadExact(buf.data(), std::size_t(2) * h.Width)) return Refuse();
      for (int x = 0; x < h.Width; ++x) row[x] = float(LoadLE16(buf.data() + 2 * x));
      continue;
    }
    std::uint8_t head[4];
    if (!Source.ReadExact(head, 4)) return Refuse();
    const int length = std::int16_t(LoadLE16(head));
    if (length < 2 || std::uint64_t(length - 2) > Source.Remaining()) return Refuse();
    const std::size_t n = std::size_t(length - 2);
    if (buf.size() < n) buf.resize(n);
    if (!Source.ReadExact(buf.data(), n)) return Refuse();
    row[0] = float(LoadLE16(head + 2));
    if (length == 2 * h.Width) {
      for (int x = 1; x < h.Width; ++x) row[x] = float(LoadLE16(buf.data() + 2 * (x - 1)));
    } else {
      DecodeSBIGRow(buf.data(), n, LoadLE16(head + 2), row, h.Width);
    }
  }
  if (Source.Failed()) return Refuse();
  r.Image->AutoScale();
  return r;
}

TSBIGReadResult DecodeST4(TByteSource& Source) {
  const std::size_t n = std::size_t(kST4Width) * kST4Height;
  if (!Source.IsOpen() || Source.Size() < n) return Refuse();
  std::vector<std::uint8_t> bytes(n);
  Source.Seek(0);
  if (!Source.ReadExact(bytes.data(), n)) return Refuse();
  TSBIGReadResult r;
  r.Image = std::make_unique<TDataImage>();
  if (!r.Image->Allocate(kST4Width, kST4Height, 0, false)) return Refuse();
  for (std::size_t i = 0; i < n; ++i) r.Image->Pixels[i] = float(bytes[i]);
  r.Image->AutoScale();
  return r;
}

TSBIGReadResult LoadST4(const std::string& FileName) {
  TByteSource src;
  src.OpenFile(FileName);
  return DecodeST4(src);
}

TSBIGReadResult LoadSBIG(const std::string& FileName) {
  if (UpperExtension(FileName) == ".ST4") return LoadST4(FileName);
  TByteSource src;
  src.OpenFile(FileName);
  return DecodeSBIG(src);
}
