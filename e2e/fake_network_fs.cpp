// A library preloaded into a program under test: statfs and fstatfs report every file below the
// folder $ORDELIN_FAKE_NETWORK_FOLDER as lying on NFS, and every other one as it is. Not part of
// the e2e library (it is built on its own, as a shared module).
#include <dlfcn.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long kNfsType = 0x6969;

bool Below(const char* path) {
    const char* folder = std::getenv("ORDELIN_FAKE_NETWORK_FOLDER");
    if (folder == nullptr || *folder == '\0' || path == nullptr) return false;
    size_t n = std::strlen(folder);
    while (n > 1 && folder[n - 1] == '/') --n;
    return std::strncmp(path, folder, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

bool OpenBelow(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = '\0';
    return Below(target);
}

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fstatfs(int fd, struct statfs* buf) {
    static const auto real = Next<int (*)(int, struct statfs*)>("fstatfs");
    const int rc = real(fd, buf);
    if (rc == 0 && OpenBelow(fd)) buf->f_type = kNfsType;
    return rc;
}

int fstatfs64(int fd, struct statfs64* buf) {
    static const auto real = Next<int (*)(int, struct statfs64*)>("fstatfs64");
    const int rc = real(fd, buf);
    if (rc == 0 && OpenBelow(fd)) buf->f_type = kNfsType;
    return rc;
}

int statfs(const char* path, struct statfs* buf) {
    static const auto real = Next<int (*)(const char*, struct statfs*)>("statfs");
    const int rc = real(path, buf);
    char resolved[PATH_MAX];
    if (rc == 0 && ::realpath(path, resolved) != nullptr && Below(resolved)) buf->f_type = kNfsType;
    return rc;
}

int statfs64(const char* path, struct statfs64* buf) {
    static const auto real = Next<int (*)(const char*, struct statfs64*)>("statfs64");
    const int rc = real(path, buf);
    char resolved[PATH_MAX];
    if (rc == 0 && ::realpath(path, resolved) != nullptr && Below(resolved)) buf->f_type = kNfsType;
    return rc;
}

}  // extern "C"
