// Where a build's output lies on this host, and the name every build of that output holds while
// it runs (so that two builds of one output never run at once, in one process or in two).
#pragma once

#include <optional>
#include <string>

#include "fsclient/dornapi.h"

namespace builder {

// The host path of `file` in the directory the client's directory table names `directory` (the
// name spelt exactly, else without regard to case), the names along it found as the component
// finds them; none when the table has no such name or its drive is not available.
std::optional<std::string> HostPathIn(CDornApi& client, const std::string& directory,
                                      const std::string& file);

// Whether two host paths name one file (the same file system object, reached by any name).
bool SameHostFile(const std::string& a, const std::string& b);

// The lock file beside the output that a build holds from its look for an existing output to
// its end: ".NAME.build-lock" with the name in upper case (the file system finds names without
// regard to case, so every spelling of one output meets the same lock), or, for a name too long
// for that, ".build-lock-" and a digest of the upper-cased name.
std::string OutputLockName(const std::string& file);

}  // namespace builder
