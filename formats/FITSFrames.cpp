#include "formats/FITSFrames.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/ImageCombine.h"
#include "engine/Parallel.h"

namespace {

// The largest frame accepted, in pixels: far above any camera, far below
// the sizes whose products overflow.
constexpr std::int64_t kMaxFramePixels = std::int64_t(1) << 31;

void AddWarnings(TCodecMessages& To, const TCodecMessages& From) {
  for (const auto& m : From)
    if (std::find(To.begin(), To.end(), m) == To.end()) To.push_back(m);
}

}  // namespace

std::string FrameOpenMessage(const std::string& FileName) { return "Could not open file " + FileName + "."; }

bool TFITSFrameReader::Open(const std::string& FileName, std::string& Error) {
  const std::string cannot = FrameOpenMessage(FileName);
  FFileName = FileName;
  FWidth = FHeight = FBITPIX = 0;
  FReport = {};
  FSource = std::make_unique<TByteSource>();
  if (!FSource->OpenFile(FileName)) {
    Error = cannot + "  " + FSource->Reason() + ".";
    return false;
  }
  TFITSHeader header;
  const int cards = ReadFITSHeader(*FSource, header);
  if (FSource->Failed() || cards == 0 || (cards >= kMaxFITSHeaderCards && !HasENDCard(header))) {
    Error = cannot;
    return false;
  }
  std::int32_t bitpix = 0, n1 = 0, n2 = 0;
  if (!GetFITSInteger(header, "BITPIX", bitpix)) {
    Error = cannot + "  " + msgFITSNoBITPIX;
    return false;
  }
  if (bitpix != 8 && bitpix != 16 && bitpix != -32) {
    Error = cannot + "  " + FITSUnsupportedBITPIXOpen(bitpix);
    return false;
  }
  if (!GetFITSInteger(header, "NAXIS1", n1) || !GetFITSInteger(header, "NAXIS2", n2) || n1 <= 0 || n2 <= 0) {
    Error = cannot + "  " + msgFITSNoSize;
    return false;
  }
  const std::int64_t pixels = std::int64_t(n1) * n2;
  if (pixels > kMaxFramePixels) {
    Error = cannot + "  " + msgFITSTooLarge;
    return false;
  }
  try {
    float v = 0;
    GetFITSFloat(header, "BZERO", v);
    GetFITSFloat(header, "BSCALE", v);
  } catch (const std::exception& e) {
    Error = cannot + "  " + e.what();
    return false;
  }
  FBytes = bitpix == 8 ? 1 : bitpix == 16 ? 2 : 4;
  FDataStart = FITSDataStart(cards);
  const std::uint64_t size = FSource->Size();
  if (size < FDataStart || size - FDataStart < std::uint64_t(pixels) * std::uint64_t(FBytes)) {
    Error = cannot + "  The file ends before all of its image data.";
    return false;
  }
  FBlockHeader = std::move(header);
  FBlockHeader.push_back(MakeIntegerCard("NAXIS2", 0));
  FWidth = n1;
  FHeight = n2;
  FBITPIX = bitpix;
  return true;
}

void TFITSFrameReader::Close() { FSource.reset(); }

const float* TFITSFrameReader::ReadRows(int First, int Count) {
  if (Count <= 0 || First < 0 || Count > FHeight || First > FHeight - Count) throw EFITSError(msgOpenError);
  if (!FSource) {
    FSource = std::make_unique<TByteSource>();
    // Reopened between blocks of a long series: the system may have run out of files meanwhile.
    if (!FSource->OpenFile(FFileName)) throw EFITSError(FSource->Reason() + ".");
  }
  const std::size_t rowBytes = std::size_t(FWidth) * std::size_t(FBytes);
  const std::size_t bytes = rowBytes * std::size_t(Count);
  FRaw.resize(bytes);
  FSource->Seek(FDataStart + std::uint64_t(First) * rowBytes);
  if (!FSource->ReadExact(FRaw.data(), bytes) || FSource->Failed()) throw EFITSError(msgOpenError);
  // The codec's own conversion, on the block as if it were a whole image.
  if (FBlock.Width != FWidth || FBlock.Height != Count || !FBlock.Pixels) {
    if (!FBlock.Allocate(FWidth, Count, 3, false, TDataImage::TUse::PlanesOnly)) throw std::bad_alloc();
  }
  FBlockHeader.back() = MakeIntegerCard("NAXIS2", Count);
  TByteSource block(FRaw.data(), bytes);
  if (FBITPIX == 16) {
    ReadFITS16(block, FBlockHeader, 0, FBlock, &FReport);
  } else if (FBITPIX == 8) {
    ReadFITS8(block, FBlockHeader, 0, FBlock, &FReport);
  } else {
    ReadFITSFloat(block, FBlockHeader, 0, FBlock, &FReport);
  }
  return FBlock.Pixels;
}

TFrameLoadResult LoadFITSFrame(const std::string& FileName, TDataImage& Image) {
  TFrameLoadResult r;
  Image.FreeData();
  Image.Width = Image.Height = 0;
  TFITSFrameReader reader;
  if (!reader.Open(FileName, r.Error)) return r;
  const int w = reader.Width(), h = reader.Height();
  if (!Image.Allocate(w, h, 3, false, TDataImage::TUse::PlanesOnly)) {
    r.Error = FrameOpenMessage(FileName) + "  " + FITSAllocationFailure(w, h);
    return r;
  }
  try {
    // In blocks of rows, so that the reader's buffers stay small.
    const int step = int(std::clamp<std::int64_t>((std::int64_t(1) << 22) / w, 1, h));
    for (int y = 0; y < h; y += step) {
      const int n = std::min(step, h - y);
      const float* rows = reader.ReadRows(y, n);
      std::memcpy(Image.Pixels + std::int64_t(y) * w, rows, std::size_t(n) * std::size_t(w) * sizeof(float));
    }
  } catch (const std::exception& e) {
    Image.FreeData();
    Image.Width = Image.Height = 0;
    // The reader's buffers may be what memory cannot hold.
    const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    r.Error = FrameOpenMessage(FileName) + "  " + (memory ? FITSAllocationFailure(w, h) : e.what());
    return r;
  }
  Image.AutoScale();
  r.Ok = true;
  r.Warnings = reader.Warnings();
  return r;
}

void CombineFiles(const std::vector<std::string>& Files, int Method, TDataImage& Result, TCodecMessages& Warnings,
                  const TSeriesLimits& Limits) {
  Result.FreeData();
  Result.Width = Result.Height = 0;
  if (Files.size() < 2) throw ECombineError(msgCombineTooFew);
  const std::size_t n = Files.size();
  const bool closeBetween = n > Limits.OpenFiles;
  std::vector<std::unique_ptr<TFITSFrameReader>> readers;
  readers.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    auto r = std::make_unique<TFITSFrameReader>();
    std::string error;
    if (!r->Open(Files[i], error)) throw ECombineError(error);
    if (!readers.empty() && (r->Width() != readers[0]->Width() || r->Height() != readers[0]->Height()))
      throw ECombineError(CombineSizeMessage(Files[i]));
    if (closeBetween) r->Close();
    readers.push_back(std::move(r));
  }
  const int w = readers[0]->Width(), h = readers[0]->Height();
  const std::int64_t perRow = std::int64_t(w) * 10 * std::int64_t(n);  // raw bytes and floats per file
  const int step = int(std::clamp<std::int64_t>(Limits.BufferBytes / std::max<std::int64_t>(perRow, 1), 1, h));
  if (!Result.Allocate(w, h, 3, false)) throw std::bad_alloc();
  std::vector<const float*> blocks(n, nullptr);
  try {
    for (int y0 = 0; y0 < h; y0 += step) {
      const int rows = std::min(step, h - y0);
      Parallel::For(
          std::int64_t(n),
          [&](std::int64_t b, std::int64_t e) {
            for (std::int64_t i = b; i < e; ++i) {
              auto& r = *readers[std::size_t(i)];
              try {
                blocks[std::size_t(i)] = r.ReadRows(y0, rows);
              } catch (const EFITSError& x) {
                throw ECombineError(FrameOpenMessage(Files[std::size_t(i)]) + "  " + x.what());
              }
              if (closeBetween) r.Close();
            }
          },
          1);
      Parallel::For(
          rows,
          [&](std::int64_t b, std::int64_t e) {
            std::vector<const float*> series(n, nullptr);
            for (std::int64_t y = b; y < e; ++y) {
              for (std::size_t k = 0; k < n; ++k) series[k] = blocks[k] + y * w;
              CombineRows(series.data(), int(n), w, Method, Result.Pixels + (y0 + y) * std::int64_t(w));
            }
          },
          4);
    }
  } catch (...) {
    Result.FreeData();
    Result.Width = Result.Height = 0;
    throw;
  }
  for (const auto& r : readers) AddWarnings(Warnings, r->Warnings());
}
