#pragma once
// The dock library's error texts and the exception that carries them.
#include <stdexcept>
#include <string>

namespace DockConst {
inline constexpr const char* STBDockParentNotAllowed =
    "A TDock control cannot be placed inside a tool window or another TDock";
inline constexpr const char* STBDockCannotChangePosition =
    "Cannot change Position of a TDock if it already contains controls";
inline constexpr const char* STBToolwinNameNotSet =
    "Cannot save tool window's position because Name property is not set";
inline constexpr const char* STBToolwinDockedToNameNotSet =
    "Cannot save tool window's position because DockedTo's Name property not set";
inline constexpr const char* STBToolwinParentNotAllowed =
    "A tool window can only be placed on a TDock or directly on the form";
inline constexpr const char* STBToolbarControlNotChildOfToolbar = "TToolbarSep can only be placed on a TToolbar";
inline constexpr const char* SParentRequired = "Control '%s' has no parent window";
inline constexpr const char* SInvalidImageSize = "Invalid image size";
inline constexpr const char* SReplaceImage = "Unable to Replace Image";
}  // namespace DockConst

// An operation the library refuses; the application's handler shows the text.
class EInvalidOperation : public std::runtime_error {
 public:
  explicit EInvalidOperation(const std::string& Text) : std::runtime_error(Text) {}
};

// The position store's failures (a tool window or dock without a name).
class EDockError : public std::runtime_error {
 public:
  explicit EDockError(const std::string& Text) : std::runtime_error(Text) {}
};
