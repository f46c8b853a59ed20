// What kind of file system a file lies on. The index of a keyed file is shared between
// processes through a map and a lock file, which a network file system does not keep coherent
// between hosts: keyed files there are only read (and never made).
#pragma once

#include <cstdint>

namespace talvo::engine {

// The type of the file system that holds the file open as fd (statfs f_type), 0 when the
// system cannot tell.
uint64_t FileSystemType(int fd);

// The name of a network file system's type ("nfs", "cifs", ...), or nullptr for any other.
const char* NetworkFileSystemName(uint64_t type);

// For tests: FileSystemType asks `probe` instead of the system; nullptr restores the system.
using FileSystemTypeProbe = uint64_t (*)(int fd);
void SetFileSystemTypeProbe(FileSystemTypeProbe probe);

}  // namespace talvo::engine
