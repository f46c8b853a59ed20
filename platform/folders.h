// The platform's special folders on this host, each in platform form (see platform/path.h).
// Environment variables point them elsewhere (for users and for tests); a value may be a host
// path ("/srv/app") or a platform path ("Q:\app", "Z:\srv\app").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The current user's local application data: $XDG_DATA_HOME when it holds an absolute path,
// else $HOME/.local/share (the home from the user database when HOME is not set). Nothing when
// no home is known. A folder that does not exist is made, with every missing level, each
// private to the user (mode 0700), so that the folder exists as it does on every account of
// the platform; when it cannot be made it is still named (and is then found missing).
std::optional<std::string> LocalAppDataFolder();

// The Windows directory (settings for the whole machine): $ORDELIN_WINDIR when set, else
// /etc/ordelin. Nothing when ORDELIN_WINDIR is set but empty. Not checked for existence.
std::optional<std::string> WindowsDirectory();

// The path of the running program's file: $ORDELIN_PROGRAM_PATH when set and not empty, else
// the running executable. Nothing when the executable cannot be determined.
std::optional<std::string> ProgramFilePath();

// True when the folder (platform form) is one a program was installed into: it lies in the
// host's tree of installed programs, /usr, which programs leave unchanged whoever runs them (even
// one who may write there), or it exists and the user may not make entries in it. False for
// every other folder, a missing one included, and for a folder whose drive is unavailable.
bool IsInstalledProgramFolder(std::string_view folder);

}  // namespace platform
