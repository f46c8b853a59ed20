// Profile files (initialisation files) with the semantics of the platform's profile functions:
// "[section]" lines open sections, "key=value" lines hold values; section and key names compare
// without regard to case; the file and the section are created on the first write; every write
// replaces the whole file atomically (a temporary file, then a rename), so a crash never leaves
// half a file. `file` is a platform path (see platform/path.h).
#pragma once

#include <cstdint>

namespace platform {

// Reads a value into buffer (size characters, terminator included), cut to size - 1 characters.
//  - section null: the names of all sections, each zero-terminated, the list ended by a
//    second zero; key null: the same for the keys of the section.
//  - a missing file, section or key gives the default (null counts as empty).
//  - a value that begins and ends with the same quote character (" or ') is delivered
//    without that one pair of quotes; the default is delivered as given.
// Returns the number of characters delivered, not counting the terminator (for lists: without
// the final terminator). A list that does not fit is cut and ends with two zeros; the count is
// then size - 2.
uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const char* file);

// Writes a value. value null: removes the key; key null: removes the section. Only the lines of
// that value, key or section change: comments, blank lines, line endings and lines the reader
// does not understand stay as they were. Returns false, leaving the file untouched (the
// platform's last error says why), when the file cannot be read or written, holds a zero byte,
// or a name or value would not read back as given (a line break, ']' in the section, a key that
// is empty, holds '=' or begins with '[', ';' or '#'), or when the file's lines would make the
// reader see anything else change with it (ERROR_INVALID_DATA).
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file);

}  // namespace platform
