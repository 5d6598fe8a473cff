#pragma once
// Helpers shared by the codec tests: temporary folders, files, running an
// outside tool, the Debian python with PIL and numpy, a small TIFF builder for
// hand-made files, and building FITS bytes by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/DataImage.h"
#include "engine/QVRFastBMP.h"
#include "formats/FITS.h"

namespace codectest {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    Path = fs::temp_directory_path() / ("corvelle-codec-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(Path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
  std::string File(const std::string& Name) const { return (Path / Name).string(); }
  std::string operator/(const std::string& Name) const { return File(Name); }
  fs::path Path;
};

inline Bytes ReadBytes(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& Name, const Bytes& Data) {
  std::ofstream out(Name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}


// Runs a command; its exit status.
inline int RunCommand(const std::string& Command) {
  const int rc = std::system(Command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// The python that carries numpy and PIL; the test fails when it is missing.
inline std::string Python() {
  const char* p = "/usr/bin/python3";
  EXPECT_TRUE(fs::exists(p)) << "Debian's python3 is needed for the cross-checks";
  return p;
}

inline std::string Oracle(const std::string& Script) {
  return std::string(CORVELLE_SOURCE_DIR) + "/tests/oracles/" + Script;
}

// A tool the cross-check needs; the test fails (never skips) without it.
inline bool NeedTool(const std::string& Path) {
  const bool ok = fs::exists(Path);
  EXPECT_TRUE(ok) << Path << " is missing (install it with ./test.sh)";
  return ok;
}

// A picture of W x H filled with a deterministic pattern.
inline TFastBMP Pattern(int W, int H, unsigned Seed = 1) {
  TFastBMP bmp;
  bmp.SetSize(W, H);
  std::mt19937 rng(Seed);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W * 3; ++x) bmp.TopRow(y)[x] = std::uint8_t(rng());
  return bmp;
}

// Picture rows top-down as B,G,R without padding.
inline Bytes PictureBytes(const TFastBMP& Bmp) {
  Bytes out;
  for (int y = 0; y < Bmp.Height; ++y) out.insert(out.end(), Bmp.TopRow(y), Bmp.TopRow(y) + 3 * Bmp.Width);
  return out;
}

inline Bytes ImageBytes(const TDataImage& Image) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(Image.RGBPlane);
  return p ? Bytes(p, p + 3 * Image.PixelCount()) : Bytes{};
}

// Builds a TIFF file: header, then each entry's out-of-line values, then the
// pixel data, then the directory (entries sorted by the caller).
class TiffBuilder {
 public:
  explicit TiffBuilder(bool BigEndian) : BE(BigEndian) {}

  struct Entry {
    std::uint16_t Tag, Type;
    std::vector<std::uint32_t> Values;
    bool PointsToData = false;  // the value is the offset of the pixel data (plus Values[0])
    std::uint32_t CountOverride = 0;
  };

  TiffBuilder& Add(std::uint16_t Tag, std::uint16_t Type, std::vector<std::uint32_t> Values) {
    Entries.push_back({Tag, Type, std::move(Values)});
    return *this;
  }
  // StripOffsets into the pixel data.
  TiffBuilder& Strips(std::vector<std::uint32_t> Relative) {
    Entries.push_back({273, 4, std::move(Relative), true});
    return *this;
  }

  Bytes Build(const Bytes& Pixels) const {
    Bytes f;
    Put(f, BE ? 0x4D4D : 0x4949, 2);
    if (!BE) f[0] = f[1] = 'I';
    Put(f, 42, 2);
    Put(f, 0, 4);  // directory offset, patched
    // Out-of-line values.
    std::vector<std::uint32_t> where(Entries.size(), 0);
    for (std::size_t i = 0; i < Entries.size(); ++i) {
      const auto& e = Entries[i];
      const std::size_t size = TypeSize(e.Type);
      if (e.Values.size() * size > 4 && !e.PointsToData) {
        where[i] = std::uint32_t(f.size());
        for (auto v : e.Values) Put(f, v, size);
        if (f.size() & 1) f.push_back(0);
      }
    }
    const std::uint32_t dataAt = std::uint32_t(f.size());
    f.insert(f.end(), Pixels.begin(), Pixels.end());
    if (f.size() & 1) f.push_back(0);
    for (std::size_t i = 0; i < Entries.size(); ++i) {
      const auto& e = Entries[i];
      if (e.PointsToData && e.Values.size() > 1) {
        where[i] = std::uint32_t(f.size());
        for (auto v : e.Values) Put(f, v + dataAt, 4);
      }
    }
    const std::uint32_t ifd = std::uint32_t(f.size());
    Patch(f, 4, ifd, 4);
    Put(f, Entries.size(), 2);
    for (std::size_t i = 0; i < Entries.size(); ++i) {
      const auto& e = Entries[i];
      Put(f, e.Tag, 2);
      Put(f, e.Type, 2);
      Put(f, e.CountOverride ? e.CountOverride : e.Values.size(), 4);
      const std::size_t size = TypeSize(e.Type);
      if (e.PointsToData && e.Values.size() == 1) {
        Put(f, e.Values[0] + dataAt, 4);
      } else if (e.Values.size() * size > 4 || (e.PointsToData && e.Values.size() > 1)) {
        Put(f, where[i], 4);
      } else {
        std::size_t n = 0;
        for (auto v : e.Values) Put(f, v, size), n += size;
        for (; n < 4; ++n) f.push_back(0);
      }
    }
    Put(f, 0, 4);
    return f;
  }

  static std::size_t TypeSize(std::uint16_t Type) { return Type == 3 || Type == 8 ? 2 : Type == 1 ? 1 : 4; }

  bool BE;
  std::vector<Entry> Entries;

 private:
  void Put(Bytes& f, std::uint64_t v, std::size_t n) const {
    for (std::size_t i = 0; i < n; ++i) f.push_back(std::uint8_t(v >> (8 * (BE ? n - 1 - i : i))));
  }
  void Patch(Bytes& f, std::size_t at, std::uint64_t v, std::size_t n) const {
    for (std::size_t i = 0; i < n; ++i) f[at + i] = std::uint8_t(v >> (8 * (BE ? n - 1 - i : i)));
  }
};

// Runs a shell command; returns its exit status and fills Output with stdout+stderr.
inline int RunCommand(const std::string& Command, std::string& Output) {
  Output.clear();
  FILE* p = popen((Command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) Output.append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A card padded to 80 columns.
inline std::string Card(const std::string& Text) {
  std::string c = Text.substr(0, 80);
  c.resize(80, ' ');
  return c;
}

// Header cards, blank fill to 2880, then the data bytes as given (no fill).
inline std::vector<std::uint8_t> FITSBytes(const std::vector<std::string>& Cards, const std::vector<std::uint8_t>& Data) {
  std::string h;
  for (const auto& c : Cards) h += Card(c);
  h.resize((h.size() + 2879) / 2880 * 2880, ' ');
  std::vector<std::uint8_t> out(h.begin(), h.end());
  out.insert(out.end(), Data.begin(), Data.end());
  return out;
}

inline void PutBE16(std::vector<std::uint8_t>& v, int x) {
  v.push_back(std::uint8_t((x >> 8) & 0xFF));
  v.push_back(std::uint8_t(x & 0xFF));
}
inline void PutBE32f(std::vector<std::uint8_t>& v, float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, 4);
  for (int s = 24; s >= 0; s -= 8) v.push_back(std::uint8_t(b >> s));
}

inline TFITSOpenResult DecodeBytes(const std::vector<std::uint8_t>& Bytes) {
  TByteSource src(Bytes.data(), Bytes.size());
  return DecodeFITS(src);
}

inline std::vector<std::string> Texts(const TCodecMessages& M) {
  std::vector<std::string> t;
  for (const auto& m : M) t.push_back(m.Text);
  return t;
}

}  // namespace codectest
