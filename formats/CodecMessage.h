#pragma once
// What a codec tells the user. Codecs never show boxes themselves: they hand
// back the texts, in the order the program shows them, and the window glue
// puts each one in a box of its kind with an OK button.
#include <cstdint>
#include <string>
#include <vector>

enum class TCodecMessageKind { Error, Warning };

struct TCodecMessage {
  TCodecMessageKind Kind = TCodecMessageKind::Error;
  std::string Text;
  bool operator==(const TCodecMessage&) const = default;
};

using TCodecMessages = std::vector<TCodecMessage>;

// Shared texts of the readers.
inline constexpr const char* msgOpenError = "An error occured opening this file. It may be corrupted.";
inline constexpr const char* msgSaveError = "An error occured saving this file.";

// Pixels are finite numbers everywhere in the program: a reader that meets NaN
// or infinite samples stores 0.0 and says so once per file.
std::string NonFiniteWarning(std::int64_t Count);
