// Text routines on fixed-size character buffers: bounded copies and appends that never write past
// the bound, and the look for an option in a command line (or any such text) with its value.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// Copies at most n characters of source and a terminator; destination must hold n + 1.
// Returns destination.
char* CopyBounded(char* destination, const char* source, size_t n);

// Appends source to the text in destination, keeping the whole at most n characters and always
// terminated (a text already n or more long is cut to n). Destination must hold n + 1.
// Returns destination.
char* AppendBounded(char* destination, const char* source, size_t n);

// True when text is exactly the one character c.
bool IsSingleChar(std::string_view text, char c);

// Looks for `option` (upper case, compared as given) in the first 255 characters of `source`,
// upper-cased. The value follows the option directly: a text in double or single quotes (the
// quotes belong to the value; without a closing quote it runs to the end), or the text up to
// the first of " ,;/" or the end.
//  - value (may be null): receives the value, upper-cased, preceded by the option text when
//    `includeOption`; cut to valueSize - 1 characters and always terminated (valueSize >= 1).
//  - removeOption: the option and its value are removed from `source` in place (a delimiter
//    that ended the value stays), then white space is trimmed from both ends of `source`.
// Returns true when the option occurs. When it does not, value and source are left unchanged.
bool FindOption(char* source, const char* option, char* value, size_t valueSize, bool removeOption,
                bool includeOption);

}  // namespace platform
