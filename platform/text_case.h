// Texts without regard to letter case, as the system compares names (directory names, file names,
// profile sections and keys, command-line options): the letters a to z match A to Z, and every
// other byte only itself. Names are UTF-8, so no byte of a multi-byte character is ever changed,
// whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// a to z as A to Z; any other byte as it is.
char UpperCase(char c);
std::string UpperCase(std::string_view text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Wide texts: the units a to z match A to Z.
bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);
// Whether `text` begins with `prefix`, letter case aside.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace platform
