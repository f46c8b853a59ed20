// The open-file table. A file is known by its identity (device and inode of its data file), not
// by the text of its path: two spellings, two directory names or a symbolic link all reach the
// same OpenDataFile. The table is shared by every Engine of the process, so that a file is never
// opened twice in one process (its index could not be; its writer lock would refuse itself).
#include "talvo/engine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <random>

#include "talvo/engine/engine_error.h"
#include "talvo/engine/file_header.h"
#include "talvo/engine/file_system.h"
#include "talvo/engine/guarded_file.h"
#include "talvo/engine/host_file.h"
#include "talvo/engine/key_index.h"
#include "talvo/engine/open_data_file.h"

namespace talvo {

using engine::ErrnoError;
using engine::GuardedFile;
using engine::OpenDataFile;

namespace {

using Identity = std::pair<dev_t, ino_t>;

struct OpenFiles {
    struct Entry {
        std::shared_ptr<GuardedFile> file;
        int holds = 0;
    };
    std::mutex mutex;
    std::map<Identity, Entry> byIdentity;

    static OpenFiles& Instance() {
        static OpenFiles table;
        return table;
    }
    // REQUIRES: mutex held.
    bool Contains(const Identity& id) const { return byIdentity.count(id) != 0; }
};

bool IdentityOf(const std::string& path, Identity* id, bool* isRegular) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    *id = {st.st_dev, st.st_ino};
    *isRegular = S_ISREG(st.st_mode);
    return true;
}

std::string CanonicalPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

Status RemoveIfPresent(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return ErrnoError(errno, "cannot remove " + path);
    return Status::Ok();
}

// Whether the file at path is a data file of its own (open here, or starting with a data file's
// header) or something other than a plain file. A name like "x.idx" may belong to a file of the
// engine in its own right; it is never removed as a part of file "x".
bool IsOtherThanAnIndexPart(const OpenFiles& table, const std::string& path) {
    Identity id;
    bool regular = false;
    if (!IdentityOf(path, &id, &regular)) return false;
    if (!regular || table.Contains(id)) return true;
    engine::HostFile file;
    bool writable = false;
    if (!engine::HostFile::OpenExisting(path, &file, &writable).ok()) return false;
    std::vector<uint8_t> start(engine::kDataStart);
    size_t got = 0;
    if (!file.ReadSomeAt(0, start, &got).ok()) return false;
    start.resize(got);
    engine::FileHeader header;
    int copy = 0;
    return engine::DecodeHeader(start, &header, &copy).code() != Error::kNotDataFile;
}

// kOutOfMemory with "<what> <path>", or without a text when there is no memory for it either.
Status OutOfMemory(std::string_view what, const std::string& path) noexcept {
    try {
        std::string detail(what);
        detail += path;
        return Status::Failure(Error::kOutOfMemory, detail);
    } catch (...) {
        return Status(Error::kOutOfMemory, {});
    }
}

// A keyed file is never made on a network file system, where it could only be read.
Status RefuseNetworkFolder(const std::string& path) {
    const int folder = ::open(engine::FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return Status::Ok();  // the create itself tells what is wrong
    const char* network = engine::NetworkFileSystemName(engine::FileSystemType(folder));
    ::close(folder);
    if (network == nullptr) return Status::Ok();
    return Status::Failure(Error::kReadOnly, path + " would lie on a network file system (" +
                                                 network +
                                                 "), where a keyed file is only read, never made");
}

uint64_t NewFileId() {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device() ^ static_cast<uint64_t>(::getpid());
}

// Gives the unnamed file fd (O_TMPFILE) the name path; fails with EEXIST when the name is taken.
bool LinkUnnamed(int fd, const std::string& path) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != EPERM && errno != ENOENT) return false;
    // Without the privilege that AT_EMPTY_PATH asks for, the descriptor's entry in /proc serves.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Writes a new data file's header into a file of its own beside path and links it into place,
// so that the name appears complete or not at all. The file has no name until then (O_TMPFILE):
// a kill on the way leaves nothing behind. Where the file system has no unnamed files, a
// temporary name beside path serves instead.
Status WriteNewDataFile(const std::string& path, const engine::FileHeader& header) {
    std::vector<uint8_t> bytes(engine::kDataStart);
    engine::FileHeader second = header;
    second.generation = header.generation - 1;
    engine::EncodeHeader(
        header, std::span<uint8_t, engine::kHeaderCopySize>(bytes.data(), engine::kHeaderCopySize));
    engine::EncodeHeader(
        second, std::span<uint8_t, engine::kHeaderCopySize>(bytes.data() + engine::kHeaderCopySize,
                                                            engine::kHeaderCopySize));

    std::string temp;  // empty while the file has no name
    int fd = ::open(engine::FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return ErrnoError(errno, "cannot create " + path);
        }
        static std::atomic<unsigned> counter{0};
        temp = path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return ErrnoError(errno, "cannot create " + path);
    }
    engine::HostFile file(fd, temp.empty() ? path : temp);
    Status s = file.WriteAt(0, bytes);
    if (s.ok()) s = file.Sync();
    if (s.ok()) {
        const bool linked = temp.empty() ? LinkUnnamed(file.fd(), path)
                                         : ::link(temp.c_str(), path.c_str()) == 0;
        if (!linked) {
            s = errno == EEXIST ? Status::Failure(Error::kFileExists, path)
                                : ErrnoError(errno, "cannot create " + path);
        }
    }
    file.Close();
    if (!temp.empty()) ::unlink(temp.c_str());
    if (s.ok()) {
        s = engine::SyncParentDirectory(path);
        // The name is in place but may not last, and the caller takes the index away again: the
        // name goes too, so that the failure leaves no data file without its index behind.
        if (!s.ok()) ::unlink(path.c_str());
    }
    return s;
}

}  // namespace

static Status CreateFile(const std::string& hostPath, const CreateOptions& options);
static Status EraseFile(const std::string& hostPath);

struct Engine::Impl {
    std::map<const DataFile*, int> holds;  // this engine's opens, by file
};

Engine::Engine() : impl_(std::make_unique<Impl>()) {}

Engine::~Engine() {
    while (!impl_->holds.empty()) {
        auto it = impl_->holds.begin();
        std::shared_ptr<DataFile> file;
        {
            OpenFiles& table = OpenFiles::Instance();
            std::lock_guard<std::mutex> lock(table.mutex);
            for (auto& [id, entry] : table.byIdentity) {
                if (entry.file.get() == it->first) file = entry.file;
            }
        }
        if (!file) {
            impl_->holds.erase(it);
            continue;
        }
        (void)Close(file);
    }
}

bool Engine::Exists(const std::string& hostPath) {
    struct stat st {};
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> Engine::PartPaths(const std::string& hostPath) {
    return OpenDataFile::PartPaths(hostPath);
}

Status Engine::Create(const std::string& hostPath, const CreateOptions& options) {
    try {
        return CreateFile(hostPath, options);
    } catch (const std::bad_alloc&) {
        // What was made so far is left over from a create cut short; the next create clears it.
        return OutOfMemory("cannot create ", hostPath);
    }
}

static Status CreateFile(const std::string& hostPath, const CreateOptions& options) {
    Status s = engine::ValidateCreateOptions(options);
    if (!s.ok()) return s;
    if (hostPath.empty()) return Status::Failure(Error::kInvalidArgument, "an empty file name");
    OpenFiles& table = OpenFiles::Instance();
    std::lock_guard<std::mutex> lock(table.mutex);
    Identity id;
    bool regular = false;
    if (IdentityOf(hostPath, &id, &regular)) {
        return table.Contains(id) ? Status::Failure(Error::kFileInUse, hostPath + " is open")
                                  : Status::Failure(Error::kFileExists, hostPath);
    }
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) == 0) return Status::Failure(Error::kFileExists, hostPath);

    engine::FileHeader header;
    header.type = options.type;
    header.recordSize = options.recordSize;
    header.keySize = options.keySize;
    header.keyPosition = options.keyPosition;
    header.fileId = NewFileId();
    header.generation = 1;
    header.created = header.modified = header.accessed = static_cast<int64_t>(std::time(nullptr));

    const bool keyed = engine::IsKeyedType(options.type);
    const std::vector<std::string> parts = OpenDataFile::PartPaths(hostPath);
    if (keyed) {
        s = RefuseNetworkFolder(hostPath);
        if (!s.ok()) return s;
        // No data file, so any part here is left over from an erase or create cut short. The
        // index cannot go elsewhere; the key column and the spill file do without their names.
        for (size_t i = 1; i < parts.size(); ++i) {
            if (IsOtherThanAnIndexPart(table, parts[i])) {
                if (i > 2) continue;
                return Status::Failure(Error::kFileExists,
                                       parts[i] + " is a file of its own, where the key index of " +
                                           hostPath + " would go");
            }
            s = RemoveIfPresent(parts[i]);
            if (!s.ok()) return s;
        }
        engine::IndexMeta meta;
        meta.fileId = header.fileId;
        s = engine::KeyIndex::Create(parts[1], meta);
        if (!s.ok()) {
            for (size_t i = 1; i <= 2; ++i) (void)RemoveIfPresent(parts[i]);  // what it made
            return s;
        }
    }
    s = WriteNewDataFile(hostPath, header);
    if (!s.ok() && keyed && s.code() != Error::kFileExists) {
        for (size_t i = 1; i <= 2; ++i) (void)RemoveIfPresent(parts[i]);
    }
    return s;
}

Status Engine::Open(const std::string& hostPath, std::shared_ptr<DataFile>* file) {
    if (file == nullptr)
        return Status::Failure(Error::kInvalidArgument, "no place for the open file");
    OpenFiles& table = OpenFiles::Instance();
    std::lock_guard<std::mutex> lock(table.mutex);
    Identity id;
    bool regular = false;
    if (!IdentityOf(hostPath, &id, &regular)) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Status::Failure(Error::kNoSuchFile, hostPath);
        return ErrnoError(errno, "cannot open " + hostPath);
    }
    if (!regular) return Status::Failure(Error::kNotDataFile, hostPath + " is not a regular file");
    auto it = table.byIdentity.find(id);
    const bool opening = it == table.byIdentity.end();
    try {
        if (opening) {
            std::unique_ptr<OpenDataFile> opened;
            Status s = OpenDataFile::Open(CanonicalPath(hostPath), &opened);
            if (!s.ok()) return s;
            it = table.byIdentity
                     .emplace(id,
                              OpenFiles::Entry{std::make_shared<GuardedFile>(std::move(opened)), 0})
                     .first;
        }
        ++impl_->holds[it->second.file.get()];
    } catch (const std::bad_alloc&) {
        // No hold was given: a file opened for this call goes again.
        if (opening && it != table.byIdentity.end()) table.byIdentity.erase(it);
        return OutOfMemory("cannot open ", hostPath);
    }
    ++it->second.holds;
    *file = it->second.file;
    return Status::Ok();
}

Status Engine::Close(const std::shared_ptr<DataFile>& file) {
    if (!file) return Status::Failure(Error::kNotOpen, "no file");
    auto mine = impl_->holds.find(file.get());
    if (mine == impl_->holds.end())
        return Status::Failure(Error::kNotOpen, "the file was not opened here");
    if (--mine->second == 0) impl_->holds.erase(mine);
    std::shared_ptr<GuardedFile> last;
    {
        OpenFiles& table = OpenFiles::Instance();
        std::lock_guard<std::mutex> lock(table.mutex);
        for (auto it = table.byIdentity.begin(); it != table.byIdentity.end(); ++it) {
            if (it->second.file.get() != file.get()) continue;
            if (--it->second.holds == 0) {
                last = std::move(it->second.file);
                table.byIdentity.erase(it);
            }
            break;
        }
    }
    return last ? last->Finish() : Status::Ok();
}

Status Engine::Erase(const std::string& hostPath) {
    try {
        return EraseFile(hostPath);
    } catch (const std::bad_alloc&) {
        return OutOfMemory("cannot erase ", hostPath);
    }
}

static Status EraseFile(const std::string& hostPath) {
    OpenFiles& table = OpenFiles::Instance();
    std::lock_guard<std::mutex> lock(table.mutex);
    Identity id;
    bool regular = false;
    if (!IdentityOf(hostPath, &id, &regular)) return Status::Failure(Error::kNoSuchFile, hostPath);
    if (!regular) return Status::Failure(Error::kNotDataFile, hostPath + " is not a regular file");
    if (table.Contains(id)) return Status::Failure(Error::kFileInUse, hostPath + " is open");

    const std::string canonical = CanonicalPath(hostPath);
    engine::HostFile data;
    bool writable = false;
    Status s = engine::HostFile::OpenExisting(canonical, &data, &writable);
    if (!s.ok()) return s;
    // Never remove a file that is not ours; a damaged one of ours may go.
    std::vector<uint8_t> start(engine::kDataStart);
    size_t got = 0;
    s = data.ReadSomeAt(0, start, &got);
    if (!s.ok()) return s;
    start.resize(got);
    engine::FileHeader header;
    int copy = 0;
    s = engine::DecodeHeader(start, &header, &copy);
    if (s.code() == Error::kNotDataFile)
        return Status(s.code(), s.message() + " (" + hostPath + ")");
    if (::flock(data.fd(), LOCK_EX | LOCK_NB) != 0) {
        return Status::Failure(Error::kLocked, hostPath);
    }
    // Open in another process, if only for reading: it stays.
    const Status inUse = data.TryTakeOpenMarkExclusive();
    if (!inUse.ok()) return inUse;
    // A file of type 1 or 2 has no other parts; when the header cannot tell the type, the index
    // parts go as well, unless they are files of their own.
    const bool indexParts = !s.ok() || engine::IsKeyedType(header.type);
    // A keyed file on a network file system is only read there: it is not removed either (an
    // overwrite would lose the old file and then be refused the new one).
    if (const char* network = engine::NetworkFileSystemName(engine::FileSystemType(data.fd()));
        indexParts && network != nullptr) {
        return Status::Failure(Error::kReadOnly, hostPath + " lies on a network file system (" +
                                                     network +
                                                     "), where a keyed file is only read");
    }
    // The data file goes first: once it is gone the file no longer exists, whatever else remains.
    const std::vector<std::string> parts = OpenDataFile::PartPaths(canonical);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i != 0 && (!indexParts || IsOtherThanAnIndexPart(table, parts[i]))) continue;
        s = RemoveIfPresent(parts[i]);
        if (!s.ok()) return s;
    }
    struct stat st {};
    if (canonical != hostPath && ::lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        s = RemoveIfPresent(hostPath);
        if (!s.ok()) return s;
    }
    return engine::SyncParentDirectory(canonical);
}

}  // namespace talvo
