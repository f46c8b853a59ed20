// The component's configuration file: the directory table that a connection starts from.
//
// Location (host path): $TALVO_CONFIG when set and not empty, otherwise
// "<local application data>/Talvo/talvo.ini", where local application data is $XDG_DATA_HOME
// (when set to an absolute path) or ~/.local/share.
//
// Format: a profile file. Section [Directories] holds one line NAME=PATH per directory; the
// entries fill the directory table in file order (index 0, 1, ...). NAME has 1 to 3 characters
// and is compared without regard to case; PATH is in platform form (Z:\data) or host form
// (/data). Other sections and comments are kept as they are by every write.
//
// Every write goes through the profile functions, so it replaces the file atomically.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "talvo/engine.h"

namespace talvo {

// The longest directory name the table holds.
constexpr size_t kMaxDirectoryName = 3;

struct DirectoryConfigEntry {
    std::string name;
    std::string path;
};

// The host path of the configuration file, from the environment (see above).
// Fails with kInvalidArgument when neither $TALVO_CONFIG, $XDG_DATA_HOME nor $HOME gives one.
Status TalvoConfigPath(std::string* hostPath);

// Checks a directory name as the table accepts it: 1 to 3 characters, none of them a space,
// a control character, '=', '[', ']' or ';'. kInvalidArgument with the reason otherwise.
Status CheckDirectoryName(std::string_view name);

// Whether the file can serve: missing (an empty table) or readable. kIoError naming it and the
// reason when it exists but cannot be read (a folder in its place, no permission). The profile
// functions read such a file as an empty one: a connection goes on without its directories,
// but a tool that shows or edits the table says why it is empty.
Status CheckDirectoryConfigReadable(const std::string& hostPath);

// The [Directories] entries of the file, in file order. A missing file or section gives an
// empty list (not an error), and so does a file that cannot be read. Entries are returned as
// written, also ones whose name the table would refuse; the caller decides what to do with them.
Status LoadDirectoryConfig(const std::string& hostPath, std::vector<DirectoryConfigEntry>* entries);

// Sets the path of a directory name: replaces the entry of that name (any letter case; the
// entry keeps its place) or appends a new one. Creates the file and its folder when missing.
// Refuses a bad name (CheckDirectoryName) and an empty path, or one that starts or ends with
// a space or holds a control character, with kInvalidArgument; kIoError when the file cannot
// be written. Nothing changes on failure.
Status SetDirectoryConfig(const std::string& hostPath, std::string_view name,
                          std::string_view path);

// Removes the entry of a directory name (any letter case). kNotFound when there is none.
Status RemoveDirectoryConfig(const std::string& hostPath, std::string_view name);

}  // namespace talvo
