// Conversions between narrow text (UTF-8, the ANSI code page of this platform) and wide text
// (UTF-16).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Whole text, UTF-8 to UTF-16. A byte sequence that is not UTF-8 is taken byte by byte as
// Latin-1 (as a single-byte code page would), so every narrow text converts.
std::u16string NarrowToWide(std::string_view text);

// UTF-16 to UTF-8. Returns nothing when the text holds an unpaired surrogate.
std::optional<std::string> WideToNarrow(std::u16string_view text);

}  // namespace platform
