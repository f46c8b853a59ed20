// Paths. The system works with platform paths: "\" or "/" separators, an optional drive letter,
// names compared without regard to case. The host form is produced only at the moment of a
// system call.
//
//   Z:\data\cust      -> /data/cust          (Z: is the root of the host file system)
//   X:\cust           -> $ORDELIN_DRIVE_X/cust  (another letter: mapped by the environment;
//                                              unavailable when the variable is not set)
//   data\cust         -> relative to the current directory
//   \data\cust        -> /data/cust (the current drive is Z:)
//
// Every name along the path is looked up exactly first and then without regard to case, so an
// upper-cased name finds a lower-case file; names that do not exist yet are kept as given.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The host path for a platform path, or nothing when its drive is unavailable.
std::optional<std::string> ToHostPath(std::string_view path);

// The platform form of a host path: made absolute, "Z:" in front, backslash separators.
std::string ToPlatformPath(std::string_view hostPath);

// The same platform path written with backslashes only ("z:/data/cust" -> "z:\data\cust"), as
// the system's own code expects when it splits a path at its backslashes.
std::string WithBackslashes(std::string_view path);

// Joins a directory and a name with one backslash between them.
std::string JoinPath(std::string_view directory, std::string_view name);

}  // namespace platform
