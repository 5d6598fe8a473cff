#include "formats/FITS.h"

#include <locale.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/Errors.h"
#include "engine/QVRFastBMP.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace ByteOrder;

namespace {

constexpr std::size_t kCard = 80;
constexpr std::size_t kBlock = 2880;

std::string PadKeyword(const std::string& Keyword) {
  std::string k = Keyword.substr(0, 8);
  k.resize(8, ' ');
  return k;
}

bool KeywordIs(const std::string& Card, const std::string& Padded) {
  for (std::size_t i = 0; i < 8; ++i) {
    const char c = i < Card.size() ? Card[i] : ' ';
    if (c != Padded[i]) return false;
  }
  return true;
}

// Columns 11-30, cut at a comment that starts outside a quoted string, blanks
// trimmed at both ends.
std::string ValueField(const std::string& Card) {
  if (Card.size() <= 10) return {};
  std::string f = Card.substr(10, 20);
  bool inString = false;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\'') {
      inString = !inString;
    } else if (f[i] == '/' && !inString) {
      f.resize(i);
      break;
    }
  }
  const auto first = f.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = f.find_last_not_of(' ');
  return f.substr(first, last - first + 1);
}

// A decimal number: sign, digits with at most one point (at least one digit),
// an optional exponent; FITS's double-precision 'D' exponent is accepted too.
bool ParseFloat(const std::string& Text, long double& Value) {
  std::string s;
  std::size_t i = 0;
  const std::size_t n = Text.size();
  if (i < n && (Text[i] == '+' || Text[i] == '-')) s.push_back(Text[i++]);
  int digits = 0;
  while (i < n && Text[i] >= '0' && Text[i] <= '9') s.push_back(Text[i++]), ++digits;
  if (i < n && Text[i] == '.') {
    s.push_back(Text[i++]);
    while (i < n && Text[i] >= '0' && Text[i] <= '9') s.push_back(Text[i++]), ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (Text[i] == 'E' || Text[i] == 'e' || Text[i] == 'D' || Text[i] == 'd')) {
    s.push_back('E');
    ++i;
    if (i < n && (Text[i] == '+' || Text[i] == '-')) s.push_back(Text[i++]);
    int expDigits = 0;
    while (i < n && Text[i] >= '0' && Text[i] <= '9') s.push_back(Text[i++]), ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
  char* end = nullptr;
  Value = strtold_l(s.c_str(), &end, c);
  return end && *end == '\0';
}

// Leading digits with an optional sign; saturates at the Integer range and
// says so through OutOfRange.
std::int32_t LeadingInteger(const std::string& Text, bool* OutOfRange = nullptr) {
  std::size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  std::int64_t v = 0;
  while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') {
    v = v * 10 + (Text[i++] - '0');
    if (v > std::int64_t(INT32_MAX) + 1) v = std::int64_t(INT32_MAX) + 2;
  }
  if (negative) v = -v;
  if (OutOfRange) *OutOfRange = v < INT32_MIN || v > INT32_MAX;
  return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

std::string BlankCard() { return std::string(kCard, ' '); }

std::string CardStart(const std::string& Keyword) {
  std::string card = BlankCard();
  const std::string k = PadKeyword(Keyword);
  card.replace(0, 8, k);
  card[8] = '=';
  return card;
}

std::string RightAligned(const std::string& Keyword, const std::string& Value) {
  std::string card = CardStart(Keyword);
  const std::string v = Value.substr(0, 20);
  card.replace(30 - v.size(), v.size(), v);
  return card;
}

std::string Card80(const std::string& Card) {
  std::string c = Card.substr(0, kCard);
  c.resize(kCard, ' ');
  return c;
}

bool IsNAXISn(const std::string& Card) {
  if (Card.size() < 6 || Card.compare(0, 5, "NAXIS") != 0) return false;
  std::size_t i = 5;
  if (i >= 8 || i >= Card.size() || Card[i] < '0' || Card[i] > '9') return false;
  while (i < 8 && i < Card.size() && Card[i] >= '0' && Card[i] <= '9') ++i;
  for (; i < 8; ++i)
    if (i < Card.size() && Card[i] != ' ') return false;
  return true;
}

bool IsWholeInt(float v) { return std::nearbyint(v) == v && std::fabs(v) <= 2147483648.0f; }

struct TScaling {
  float BZERO = 0.0f;
  float BSCALE = 1.0f;
  // The cards' decimal values in extended precision, for physical values.
  long double ExactZero = 0.0L;
  long double ExactScale = 1.0L;
  std::int32_t NAXIS1 = 0;
  std::int32_t NAXIS2 = 0;
  bool AllFound = false;
};

TScaling LookUpScaling(const TFITSHeader& Header) {
  TScaling s;
  bool all = GetFITSFloat(Header, "BZERO", s.BZERO);
  all = GetFITSFloat(Header, "BSCALE", s.BSCALE) && all;
  all = GetFITSInteger(Header, "NAXIS1", s.NAXIS1) && all;
  all = GetFITSInteger(Header, "NAXIS2", s.NAXIS2) && all;
  s.AllFound = all;
  s.ExactZero = s.BZERO;
  s.ExactScale = s.BSCALE;
  const std::string zero = PadKeyword("BZERO"), scale = PadKeyword("BSCALE");
  for (const auto& card : Header) {
    long double v = 0;
    if (KeywordIs(card, zero) && ParseFloat(ValueField(card), v)) s.ExactZero = v;
    if (KeywordIs(card, scale) && ParseFloat(ValueField(card), v)) s.ExactScale = v;
  }
  return s;
}

// The stored integer of value I.
template <typename Stored>
inline std::int32_t StoredAt(const std::uint8_t* In, std::size_t I) {
  if constexpr (sizeof(Stored) == 1) {
    return In[I];
  } else {
    return std::int16_t(LoadBE16(In + 2 * I));
  }
}

// Integer data: Round(stored x BSCALE + BZERO) clamped to 0..Top.
template <typename Stored>
void ConvertInteger(const std::uint8_t* In, std::size_t Count, float* Out, const TScaling& S, float Top,
                    bool& Clamped) {
  bool clamped = false;
  if (sizeof(Stored) == 2 && S.BSCALE == 1.0f && S.BZERO == 32768.0f) {
    // The usual unsigned 16-bit file: every value lands in 0..65535.
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i sign = _mm_set1_epi16(std::int16_t(0x8000)), zero = _mm_setzero_si128();
    for (; i + 8 <= Count; i += 8) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + 2 * i));
      v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));  // big-endian words
      v = _mm_xor_si128(v, sign);                                    // stored + 32768
      _mm_storeu_ps(Out + i, _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, zero)));
      _mm_storeu_ps(Out + i + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(v, zero)));
    }
#endif
    for (; i < Count; ++i) Out[i] = float(StoredAt<Stored>(In, i) + 32768);
  } else if (IsWholeInt(S.BSCALE) && IsWholeInt(S.BZERO)) {
    // Whole scaling: the value is an exact integer, Round changes nothing.
    const std::int64_t scale = std::int64_t(S.BSCALE), zero = std::int64_t(S.BZERO);
    const std::int64_t top = std::int64_t(Top);
    for (std::size_t i = 0; i < Count; ++i) {
      std::int64_t v = std::int64_t(StoredAt<Stored>(In, i)) * scale + zero;
      if (v < 0) {
        v = 0;
        clamped = true;
      } else if (v > top) {
        v = top;
        clamped = true;
      }
      Out[i] = float(v);
    }
  } else {
    for (std::size_t i = 0; i < Count; ++i) {
      long double r = std::nearbyint((long double)StoredAt<Stored>(In, i) * S.BSCALE + S.BZERO);
      if (r < 0) {
        r = 0;
        clamped = true;
      } else if (r > Top) {
        r = Top;
        clamped = true;
      }
      Out[i] = float(std::int32_t(r));  // an integer: no negative zero
    }
  }
  Clamped |= clamped;
}

// Integer data with a fractional scale or offset into a floating-point image:
// the physical values stored x BSCALE + BZERO themselves, neither rounded nor
// clamped, as every FITS reader gives them.
template <typename Stored>
void ConvertScaled(const std::uint8_t* In, std::size_t Count, float* Out, const TScaling& S) {
  for (std::size_t i = 0; i < Count; ++i)
    Out[i] = float((long double)StoredAt<Stored>(In, i) * S.ExactScale + S.ExactZero);
}

// Floating-point data, converted in place: the buffer holds the big-endian
// words on entry and the pixel values on return.
void ConvertFloat(float* Data, std::size_t Count, const TScaling& S, std::int64_t& NonFinite) {
  auto* raw = reinterpret_cast<std::uint32_t*>(Data);
  std::int64_t bad = 0;
  if (S.BSCALE == 1.0f && S.BZERO == 0.0f) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i expMask = _mm_set1_epi32(0x7F800000), b2 = _mm_set1_epi32(0x00FF0000),
                  b1 = _mm_set1_epi32(0x0000FF00);
    __m128i badLanes = _mm_setzero_si128();
    for (; i + 4 <= Count; i += 4) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i));
      v = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(v, 24), _mm_srli_epi32(v, 24)),
                       _mm_or_si128(_mm_and_si128(_mm_slli_epi32(v, 8), b2), _mm_and_si128(_mm_srli_epi32(v, 8), b1)));
      const __m128i isBad = _mm_cmpeq_epi32(_mm_and_si128(v, expMask), expMask);
      badLanes = _mm_sub_epi32(badLanes, isBad);
      v = _mm_andnot_si128(isBad, v);
      _mm_storeu_ps(Data + i, _mm_add_ps(_mm_castsi128_ps(v), _mm_setzero_ps()));
    }
    alignas(16) std::int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), badLanes);
    bad += std::int64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
#endif
    for (; i < Count; ++i) {
      std::uint32_t bits = __builtin_bswap32(raw[i]);
      const std::uint32_t isBad = (bits & 0x7F800000u) == 0x7F800000u;
      bad += isBad;
      bits &= isBad - 1u;
      float f;
      std::memcpy(&f, &bits, 4);
      Data[i] = f + 0.0f;  // as stored x 1 + 0: a negative zero becomes 0
    }
  } else {
    for (std::size_t i = 0; i < Count; ++i) {
      const std::uint32_t bits = __builtin_bswap32(raw[i]);
      float f;
      std::memcpy(&f, &bits, 4);
      float v = 0.0f;
      if ((bits & 0x7F800000u) == 0x7F800000u) {
        ++bad;
      } else {
        v = float((long double)f * S.BSCALE + S.BZERO);
        if (!std::isfinite(v)) {
          v = 0.0f;
          ++bad;
        }
      }
      Data[i] = v;
    }
  }
  NonFinite += bad;
}

enum class TKind { Int8, Int16, Float };

// Integer data whose values are not whole numbers once scaled.
bool HasFractionalScaling(const TScaling& S) { return !(IsWholeInt(S.BSCALE) && IsWholeInt(S.BZERO)); }

bool ReadData(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
              TFITSDataReport* Report, TKind Kind) {
  const TScaling s = LookUpScaling(Header);
  TFITSDataReport local;
  TFITSDataReport& rep = Report ? *Report : local;
  if (!Source.IsOpen()) throw EFITSError(msgOpenError);
  if (s.NAXIS1 <= 0 || s.NAXIS2 <= 0) return s.AllFound;

  const std::size_t bpv = Kind == TKind::Int8 ? 1 : Kind == TKind::Int16 ? 2 : 4;
  const std::int64_t total = std::int64_t(s.NAXIS1) * s.NAXIS2;
  const bool direct = Image.Pixels && !Image.IsColour && Image.Width == s.NAXIS1 && Image.Height == s.NAXIS2;
  constexpr std::size_t kChunk = kBlock * 64;  // values per read
  std::vector<float> values(direct ? 0 : kChunk);
  std::vector<std::uint8_t> bytes(Kind == TKind::Float ? 0 : kChunk * bpv);
  const float top = Kind == TKind::Int8 ? 255.0f : 65535.0f;
  const bool exact = Kind != TKind::Float && Image.DataType == 3 && HasFractionalScaling(s);

  Source.Seek(FITSDataStart(CardCount));
  std::int64_t done = 0;
  while (done < total) {
    const std::size_t want = std::size_t(std::min<std::int64_t>(kChunk, total - done));
    float* out = direct ? Image.Pixels + done : values.data();
    std::size_t got;
    if (Kind == TKind::Float) {
      const std::size_t bytes = Source.Read(out, want * 4);
      got = bytes / 4;
      // Part of a value at the end of the file: that pixel is missing, and reads 0.
      if (bytes % 4) std::memset(out + got, 0, sizeof(float));
    } else {
      got = Source.Read(bytes.data(), want * bpv) / bpv;
    }
    if (Source.Failed()) throw EFITSError(msgOpenError);
    switch (Kind) {
      case TKind::Int8:
        if (exact) ConvertScaled<std::uint8_t>(bytes.data(), got, out, s);
        else ConvertInteger<std::uint8_t>(bytes.data(), got, out, s, top, rep.Clamped);
        break;
      case TKind::Int16:
        if (exact) ConvertScaled<std::int16_t>(bytes.data(), got, out, s);
        else ConvertInteger<std::int16_t>(bytes.data(), got, out, s, top, rep.Clamped);
        break;
      case TKind::Float:
        ConvertFloat(out, got, s, rep.NonFinite);
        break;
    }
    if (!direct) {
      for (std::size_t i = 0; i < got; ++i) {
        const std::int64_t k = done + std::int64_t(i);
        Image.SetPixel(int(k % s.NAXIS1), int(k / s.NAXIS1), values[i]);
      }
    }
    done += std::int64_t(got);
    if (got < want) {
      rep.Short = true;
      break;
    }
  }
  return s.AllFound;
}

template <TKind Kind>
bool ReadFile(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
              TFITSDataReport* Report) {
  TByteSource src;
  if (!src.OpenFile(FileName)) throw EFITSError(msgOpenError);
  return ReadData(src, Header, CardCount, Image, Report, Kind);
}

}  // namespace

// ---- Cards ----

bool GetFITSInteger(const TFITSHeader& Header, const std::string& Keyword, std::int32_t& Value) {
  const std::string k = PadKeyword(Keyword);
  bool found = false;
  for (const auto& card : Header) {
    if (!KeywordIs(card, k)) continue;
    Value = LeadingInteger(ValueField(card));
    found = true;
  }
  return found;
}

std::string FITSOutOfRangeCard(const TFITSHeader& Header) {
  const std::string bitpix = PadKeyword("BITPIX"), naxis = PadKeyword("NAXIS");
  for (const auto& card : Header) {
    if (!KeywordIs(card, bitpix) && !KeywordIs(card, naxis) && !IsNAXISn(card)) continue;
    bool outOfRange = false;
    LeadingInteger(ValueField(card), &outOfRange);
    if (outOfRange) {
      std::string keyword = card.substr(0, 8);
      keyword.erase(keyword.find_last_not_of(' ') + 1);
      return keyword;
    }
  }
  return {};
}

std::string FITSOutOfRangeText(const std::string& Keyword) {
  return "The header of this FITS file is invalid: the value of " + Keyword +
         " is out of range.  The file has not been opened.";
}

bool GetFITSFloat(const TFITSHeader& Header, const std::string& Keyword, float& Value) {
  const std::string k = PadKeyword(Keyword);
  bool found = false;
  for (const auto& card : Header) {
    if (!KeywordIs(card, k)) continue;
    const std::string field = ValueField(card);
    long double v = 0;
    if (!ParseFloat(field, v) || !(std::fabs(v) <= FLT_MAX))
      throw EConvertError("'" + field + "' is not a valid floating point value");
    Value = float(v);
    found = true;
  }
  return found;
}

std::string FITSFloatText(float Value) {
  long double a = std::isfinite(Value) ? std::fabs((long double)Value) : 0.0L;
  if (a == 0) return "0.000000E+0000";
  // Fifteen significant digits first, then seven, halves away from zero.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14Le", a);
  std::string digits;
  digits.push_back(buf[0]);
  const char* p = buf + 2;
  while (*p && *p != 'e') digits.push_back(*p++);
  int exponent = std::atoi(p + 1);
  const bool up = digits[7] >= '5';
  digits.resize(7);
  if (up) {
    int i = 6;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits = "1000000";
      ++exponent;
    }
  }
  char out[32];
  std::snprintf(out, sizeof out, "%s%c.%sE%c%04d", Value < 0 ? "-" : "", digits[0], digits.c_str() + 1,
                exponent < 0 ? '-' : '+', std::abs(exponent));
  return out;
}

std::string MakeLogicalCard(const std::string& Keyword, char Value) {
  std::string card = CardStart(Keyword);
  card[29] = Value;
  return card;
}

std::string MakeIntegerCard(const std::string& Keyword, std::int32_t Value) {
  return RightAligned(Keyword, std::to_string(Value));
}

std::string MakeFloatCard(const std::string& Keyword, float Value) {
  return RightAligned(Keyword, FITSFloatText(Value));
}

std::string MakeStringCard(const std::string& Keyword, const std::string& Text) {
  // FITS writes a quote inside a string twice. Columns 12-79 hold the text; a
  // doubled quote that would be cut in half is left out, or the closing quote
  // would read as part of it.
  std::string quoted;
  std::size_t length = 0;
  bool cut = false;
  for (char c : Text) {
    const std::size_t n = c == '\'' ? 2 : 1;
    cut = cut || quoted.size() + n > 68;
    if (!cut) quoted.append(n, c);
    length += n;
  }
  std::string card = CardStart(Keyword);
  card[10] = '\'';
  card.replace(11, quoted.size(), quoted);
  const std::size_t close = std::min<std::size_t>(std::max<std::size_t>(20, length + 12), 80);
  card[close - 1] = '\'';
  return card;
}

std::string MakeCommentCard(const std::string& Text) { return Card80("COMMENT " + Text); }

std::string MakeKeywordCard(const std::string& Keyword) { return Card80(Keyword); }

TFITSHeader MakeFITSHeader(int BITPIX, int NAXIS1, int NAXIS2, double BZERO, double BSCALE) {
  return {MakeLogicalCard("SIMPLE", 'T'),
          MakeIntegerCard("BITPIX", BITPIX),
          MakeIntegerCard("NAXIS", 2),
          MakeIntegerCard("NAXIS1", NAXIS1),
          MakeIntegerCard("NAXIS2", NAXIS2),
          MakeFloatCard("BZERO", float(BZERO)),
          MakeFloatCard("BSCALE", float(BSCALE)),
          MakeStringCard("ORIGIN", kFITSOrigin),
          MakeCommentCard(kFITSComment),
          MakeKeywordCard("END")};
}

// ---- Reading ----

int ReadFITSHeader(TByteSource& Source, TFITSHeader& Header) {
  int count = 0;
  char card[kCard];
  Source.Seek(0);
  while (count < kMaxFITSHeaderCards && Source.ReadExact(card, kCard)) {
    Header.emplace_back(card, kCard);
    ++count;
    if (std::memcmp(card, "END     ", 8) == 0) break;
  }
  return count;
}

int ReadFITSHeader(const std::string& FileName, TFITSHeader& Header) {
  TByteSource src;
  if (!src.OpenFile(FileName)) throw EFITSError(msgOpenError);
  return ReadFITSHeader(src, Header);
}

std::uint64_t FITSDataStart(int CardCount) {
  const std::uint64_t bytes = std::uint64_t(std::max(CardCount, 0)) * kCard;
  return (bytes + kBlock - 1) / kBlock * kBlock;
}

bool HasENDCard(const TFITSHeader& Header) {
  const std::string end = PadKeyword("END");
  return std::any_of(Header.begin(), Header.end(), [&](const std::string& c) { return KeywordIs(c, end); });
}

bool ReadFITS16(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                TFITSDataReport* Report) {
  return ReadData(Source, Header, CardCount, Image, Report, TKind::Int16);
}
bool ReadFITS8(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
               TFITSDataReport* Report) {
  return ReadData(Source, Header, CardCount, Image, Report, TKind::Int8);
}
bool ReadFITSFloat(TByteSource& Source, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                   TFITSDataReport* Report) {
  return ReadData(Source, Header, CardCount, Image, Report, TKind::Float);
}
bool ReadFITS16(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                TFITSDataReport* Report) {
  return ReadFile<TKind::Int16>(FileName, Header, CardCount, Image, Report);
}
bool ReadFITS8(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
               TFITSDataReport* Report) {
  return ReadFile<TKind::Int8>(FileName, Header, CardCount, Image, Report);
}
bool ReadFITSFloat(const std::string& FileName, const TFITSHeader& Header, int CardCount, TDataImage& Image,
                   TFITSDataReport* Report) {
  return ReadFile<TKind::Float>(FileName, Header, CardCount, Image, Report);
}

TCodecMessages FITSDataMessages(int BITPIX, const TFITSDataReport& Report) {
  TCodecMessages m;
  if (Report.Clamped && BITPIX == 16) m.push_back({TCodecMessageKind::Warning, msgFITSTruncated16});
  if (Report.Clamped && BITPIX == 8) m.push_back({TCodecMessageKind::Warning, msgFITSTruncated8});
  if (Report.NonFinite > 0) m.push_back({TCodecMessageKind::Warning, NonFiniteWarning(Report.NonFinite)});
  if (Report.Short) m.push_back({TCodecMessageKind::Warning, msgFITSShortData});
  return m;
}

std::string FITSUnsupportedBITPIXOpen(int BITPIX) {
  return "FITS files with BITPIX " + std::to_string(BITPIX) +
         " cannot be opened: only BITPIX 8, 16 and -32 are supported.  The file has not been opened.";
}

std::string FITSUnsupportedBITPIXSave(int BITPIX) {
  return "FITS files with BITPIX " + std::to_string(BITPIX) +
         " cannot be written: only BITPIX 16 and -32 are supported.  Make a new FITS header to save this "
         "image.  The image has not been saved.";
}

const char* FITSAllocationFailure(int Width, int Height) {
  return TFastBMP::SidesPossible(Width, Height) ? msgFITSNoMemory : msgFITSTooLarge;
}

TFITSOpenResult DecodeFITS(TByteSource& Source) {
  TFITSOpenResult r;
  auto fail = [&](TCodecMessageKind Kind, const std::string& Text) {
    r.Image.reset();
    r.Messages.push_back({Kind, Text});
    return std::move(r);
  };
  if (!Source.IsOpen()) return fail(TCodecMessageKind::Error, msgOpenError);
  const int cards = ReadFITSHeader(Source, r.Header);
  if (Source.Failed() || cards == 0 || (cards >= kMaxFITSHeaderCards && !HasENDCard(r.Header)))
    return fail(TCodecMessageKind::Error, msgOpenError);

  // The lookup saturates a number beyond the Integer range; for the sides and
  // the data type that would be a different image, not this one.
  const std::string outOfRange = FITSOutOfRangeCard(r.Header);
  if (!outOfRange.empty()) return fail(TCodecMessageKind::Error, FITSOutOfRangeText(outOfRange));
  std::int32_t bitpix = 0, n1 = 0, n2 = 0;
  if (!GetFITSInteger(r.Header, "BITPIX", bitpix)) return fail(TCodecMessageKind::Warning, msgFITSNoBITPIX);
  if (bitpix != 8 && bitpix != 16 && bitpix != -32)
    return fail(TCodecMessageKind::Warning, FITSUnsupportedBITPIXOpen(bitpix));
  if (!GetFITSInteger(r.Header, "NAXIS1", n1) || !GetFITSInteger(r.Header, "NAXIS2", n2) || n1 <= 0 || n2 <= 0)
    return fail(TCodecMessageKind::Error, msgFITSNoSize);

  // Integer data with a fractional BSCALE or BZERO opens as floating point with
  // its exact values, and its header is rewritten to match, so a save writes
  // those values back without loss.
  bool fractional = false;
  if (bitpix != -32) {
    try {
      fractional = HasFractionalScaling(LookUpScaling(r.Header));
    } catch (const std::exception& e) {
      return fail(TCodecMessageKind::Error, e.what());
    }
  }
  r.Image = std::make_unique<TDataImage>();
  const std::uint8_t type = fractional ? 3 : bitpix == 8 ? 0 : bitpix == 16 ? 1 : 3;
  if (!r.Image->Allocate(n1, n2, type, false)) return fail(TCodecMessageKind::Error, FITSAllocationFailure(n1, n2));
  TFITSDataReport rep;
  try {
    if (bitpix == 16) {
      ReadFITS16(Source, r.Header, cards, *r.Image, &rep);
    } else if (bitpix == 8) {
      ReadFITS8(Source, r.Header, cards, *r.Image, &rep);
    } else {
      ReadFITSFloat(Source, r.Header, cards, *r.Image, &rep);
    }
  } catch (const std::bad_alloc&) {
    return fail(TCodecMessageKind::Error, OutOfMemoryText);
  } catch (const std::exception& e) {
    return fail(TCodecMessageKind::Error, e.what());
  }
  r.Image->AutoScale();
  r.Messages = FITSDataMessages(bitpix, rep);
  if (fractional) r.Header = FITSHeaderForData(r.Header, -32, n1, n2, 0.0, 1.0);
  return r;
}

TFITSOpenResult LoadFITS(const std::string& FileName) {
  TByteSource src;
  src.OpenFile(FileName);
  try {
    return DecodeFITS(src);
  } catch (const std::bad_alloc&) {
    TFITSOpenResult r;
    r.Messages.push_back({TCodecMessageKind::Error, OutOfMemoryText});
    return r;
  }
}

// ---- Writing ----

TFITSHeader FITSHeaderForData(const TFITSHeader& Header, int BITPIX, int Width, int Height, double BZERO,
                              double BSCALE) {
  TFITSHeader out = {MakeLogicalCard("SIMPLE", 'T'), MakeIntegerCard("BITPIX", BITPIX),
                     MakeIntegerCard("NAXIS", 2), MakeIntegerCard("NAXIS1", Width),
                     MakeIntegerCard("NAXIS2", Height)};
  const std::string zeroCard = MakeFloatCard("BZERO", float(BZERO));
  const std::string scaleCard = MakeFloatCard("BSCALE", float(BSCALE));
  bool zeroDone = false, scaleDone = false;
  for (const auto& card : Header) {
    if (KeywordIs(card, "SIMPLE  ") || KeywordIs(card, "BITPIX  ") || KeywordIs(card, "NAXIS   ") ||
        KeywordIs(card, "END     ") || IsNAXISn(card))
      continue;
    // A BLANK card is not allowed with floating-point data.
    if (BITPIX < 0 && KeywordIs(card, "BLANK   ")) continue;
    if (KeywordIs(card, "BZERO   ")) {
      if (!zeroDone) out.push_back(zeroCard);
      zeroDone = true;
      continue;
    }
    if (KeywordIs(card, "BSCALE  ")) {
      if (!scaleDone) out.push_back(scaleCard);
      scaleDone = true;
      continue;
    }
    out.push_back(Card80(card));
  }
  std::size_t at = 5;
  if (!zeroDone) out.insert(out.begin() + at++, zeroCard);
  if (!scaleDone) out.insert(out.begin() + at, scaleCard);
  out.push_back(MakeKeywordCard("END"));
  return out;
}

namespace {

bool WriteHeader(TSafeFileWriter& W, const TFITSHeader& Cards) {
  for (const auto& c : Cards) W.Write(c.data(), kCard);
  const std::size_t bytes = Cards.size() * kCard;
  std::string fill((kBlock - bytes % kBlock) % kBlock, ' ');
  return W.Write(fill.data(), fill.size());
}

// The data part ends with zeros up to the next multiple of 2880 bytes, as
// the FITS standard requires (no more, or verifiers see extra bytes).
bool WriteData(TSafeFileWriter& W, const TDataImage& Image, int BITPIX, bool& Clamped) {
  // The header promises Width x Height values: an image without its plane
  // writes its pixels as they read (0), not a file shorter than its header.
  const std::int64_t total = std::max<std::int64_t>(Image.PixelCount(), 0);
  const std::size_t bpv = BITPIX == 16 ? 2 : 4;
  constexpr std::size_t kChunk = kBlock * 64;
  std::vector<std::uint8_t> buf(kChunk * bpv);
  std::vector<float> blank(Image.Pixels ? 0 : kChunk, 0.0f);
  bool clamped = false;
  for (std::int64_t done = 0; done < total;) {
    const std::size_t n = std::size_t(std::min<std::int64_t>(kChunk, total - done));
    const float* in = Image.Pixels ? Image.Pixels + done : blank.data();
    if (BITPIX == 16) {
      for (std::size_t i = 0; i < n; ++i) {
        // Round(v - 32768) half to even; v - 32768 is exact in double where it matters.
        const double d = double(in[i]) - 32768.0;
        std::int32_t s;
        if (d >= -32768.5 && d <= 32767.5) {
          s = std::int32_t((d + 6755399441055744.0) - 6755399441055744.0);
          if (s > 32767) {  // 32767.5 rounds to 32768
            s = 32767;
            clamped = true;
          }
        } else {  // out of range (NaN among them)
          s = d > 0 ? 32767 : -32768;
          clamped = true;
        }
        StoreBE16(buf.data() + 2 * i, std::uint16_t(std::int16_t(s)));
      }
    } else {
      std::size_t i = 0;
#if defined(__SSE2__)
      const __m128i b2 = _mm_set1_epi32(0x00FF0000), b1 = _mm_set1_epi32(0x0000FF00);
      for (; i + 4 <= n; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        v = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(v, 24), _mm_srli_epi32(v, 24)),
                         _mm_or_si128(_mm_and_si128(_mm_slli_epi32(v, 8), b2), _mm_and_si128(_mm_srli_epi32(v, 8), b1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf.data() + 4 * i), v);
      }
#endif
      for (; i < n; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, in + i, 4);
        StoreBE32(buf.data() + 4 * i, bits);
      }
    }
    if (!W.Write(buf.data(), n * bpv)) return false;
    done += std::int64_t(n);
  }
  const std::uint64_t bytes = std::uint64_t(total) * bpv;
  Clamped = clamped;
  return W.WriteZeros(std::size_t((kBlock - bytes % kBlock) % kBlock));
}

TCodecMessages WriteFITSData(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image,
                             int BITPIX) {
  const double zero = BITPIX == 16 ? 32768.0 : 0.0;
  if (Header.empty()) Header = MakeFITSHeader(BITPIX, Image.Width, Image.Height, zero, 1.0);
  const TFITSHeader cards = FITSHeaderForData(Header, BITPIX, Image.Width, Image.Height, zero, 1.0);
  TSafeFileWriter w;
  bool clamped = false;
  if (!w.Open(FileName) || !WriteHeader(w, cards) || !WriteData(w, Image, BITPIX, clamped) || !w.Commit())
    return {{TCodecMessageKind::Warning, SaveFailureText(msgSaveError, w)}};
  if (clamped) return {{TCodecMessageKind::Warning, msgFITSRange16}};
  return {};
}

}  // namespace

TCodecMessages WriteFITS16(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image) {
  return WriteFITSData(FileName, Header, Image, 16);
}

TCodecMessages WriteFITSFloat(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image) {
  return WriteFITSData(FileName, Header, Image, -32);
}

TCodecMessages SaveFITS(const std::string& FileName, TFITSHeader& Header, const TDataImage& Image,
                        int NewHeaderBITPIX) {
  if (Image.IsColour) return {{TCodecMessageKind::Warning, msgFITSColour}};
  std::int32_t bitpix = NewHeaderBITPIX;
  if (!Header.empty()) GetFITSInteger(Header, "BITPIX", bitpix);
  if (bitpix == 16) return WriteFITS16(FileName, Header, Image);
  if (bitpix == -32) return WriteFITSFloat(FileName, Header, Image);
  return {{TCodecMessageKind::Warning, FITSUnsupportedBITPIXSave(bitpix)}};
}
