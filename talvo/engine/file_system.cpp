#include "talvo/engine/file_system.h"

#include <sys/vfs.h>

#include <atomic>
#include <cerrno>

namespace talvo::engine {
namespace {

// f_type values of network file systems (from the kernel's magic numbers).
struct NetworkType {
    uint64_t type;
    const char* name;
};
constexpr NetworkType kNetworkTypes[] = {
    {0x6969, "nfs"},        {0x517B, "smb"},      {0xFE534D42, "smb2"},   {0xFF534D42, "cifs"},
    {0x564C, "ncp"},        {0x73757245, "coda"}, {0x5346414F, "afs"},    {0x6B414653, "afs"},
    {0x01021997, "9p"},     {0x00C36400, "ceph"}, {0x0BD00BD0, "lustre"}, {0x47504653, "gpfs"},
    {0x19830326, "beegfs"},
};

std::atomic<FileSystemTypeProbe> gProbe{nullptr};

}  // namespace

uint64_t FileSystemType(int fd) {
    if (FileSystemTypeProbe probe = gProbe.load(); probe != nullptr) return probe(fd);
    struct statfs fs {};
    int rc;
    do {
        rc = ::fstatfs(fd, &fs);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? static_cast<uint64_t>(static_cast<uint32_t>(fs.f_type)) : 0;
}

const char* NetworkFileSystemName(uint64_t type) {
    for (const NetworkType& t : kNetworkTypes) {
        if (t.type == type) return t.name;
    }
    return nullptr;
}

void SetFileSystemTypeProbe(FileSystemTypeProbe probe) {
    gProbe.store(probe);
}

}  // namespace talvo::engine
