// The spill file: the keys a writer gathered beyond its in-memory batch, until they commit.
//
// Where it lives. The spill file is made in the data file's folder (so it uses the disk the
// user chose for the file) when the first batch is spilled, and it never has a name: it is an
// unnamed file (O_TMPFILE), so a close, a crash or a kill leaves nothing behind. Where the file
// system cannot make unnamed files it is made as NAME.idx-runs and unlinked at once; a writer
// killed between those two steps leaves NAME.idx-runs, which the next writer of NAME, an Erase or
// a Create removes (never a file of its own that took that name, see IsOtherThanAPart).
//
// Layout. Runs lie end to end; a run is its entries in ascending key order, each entry
//
//   OFFSET  SIZE  DESCRIPTION
//   0       K     the key (K = key size, zero-padded)
//   K       8     record number, little-endian
//
// and its entries are read in blocks of B = max(1, 4096 / (K + 8)) entries. In memory each run
// keeps its offset, its entry count, the first key of each block (its fences) and its last key,
// about K bytes per 4 KiB of run.
//
// Invariants:
//   1. Keys are unique across the batch, all runs and the committed index (Put refuses a key
//      found in any of them), so the runs' entries merge without ties.
//   2. The runs hold exactly the keys written since the last merge that are not in the batch;
//      nothing reads them once that merge commits (Clear).
//   3. Nothing on disk refers to the spill file: losing it loses only uncommitted keys, whose
//      records lie past the committed slot count and are cut off by the next writer.
#include "talvo/engine/spilled_runs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "talvo/byte_copy.h"
#include "talvo/engine/byte_coding.h"
#include "talvo/engine/engine_error.h"
#include "talvo/engine/file_header.h"
#include "talvo/engine/pending_keys.h"

namespace talvo::engine {
namespace {

constexpr size_t kBlockBytes = 4096;
constexpr size_t kMaxWriteBuffer = size_t{1} << 20;

}  // namespace

// Reads one run in order, a buffer at a time.
class SpilledRuns::RunReader final : public SortedSource {
  public:
    RunReader(const HostFile& file, uint64_t offset, uint64_t count, size_t stride,
              size_t bufferEntries)
        : file_(file),
          next_(offset),
          left_(count),
          stride_(stride),
          buffer_(std::max<size_t>(1, bufferEntries) * stride) {}

    Status Fill() {
        const uint64_t entries = std::min<uint64_t>(left_, buffer_.size() / stride_);
        filled_ = static_cast<size_t>(entries) * stride_;
        at_ = 0;
        if (entries == 0) return Status::Ok();
        Status s = file_.ReadAt(next_, {buffer_.data(), filled_});
        if (!s.ok()) {
            filled_ = 0;
            left_ = 0;
            return s;
        }
        next_ += filled_;
        left_ -= entries;
        return Status::Ok();
    }

    bool valid() const override { return at_ < filled_; }
    const uint8_t* key() const override { return buffer_.data() + at_; }
    uint64_t number() const override {
        return GetLittleEndian<uint64_t>(buffer_.data() + at_ + stride_ - 8);
    }
    Status Next() override {
        at_ += stride_;
        return at_ < filled_ ? Status::Ok() : Fill();
    }

  private:
    const HostFile& file_;
    uint64_t next_;
    uint64_t left_;
    size_t stride_;
    std::vector<uint8_t> buffer_;
    size_t filled_ = 0;
    size_t at_ = 0;
};

SpilledRuns::SpilledRuns(std::string dataPath, size_t keySize)
    : dataPath_(std::move(dataPath)),
      keySize_(keySize),
      blockEntries_(std::max<size_t>(1, kBlockBytes / (keySize + 8))) {}

SpilledRuns::~SpilledRuns() = default;

Status SpilledRuns::RemoveLeftover(const std::string& dataPath) {
    const std::string path = NamedPath(dataPath);
    if (IsOtherThanAPart(path)) return Status::Ok();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return ErrnoError(errno, "cannot remove the leftover spill file " + path);
    }
    return Status::Ok();
}

size_t SpilledRuns::bytes() const {
    size_t total = block_.capacity() + runs_.capacity() * sizeof(Run);
    for (const Run& run : runs_) total += run.fences.capacity() + run.last.capacity();
    return total;
}

Status SpilledRuns::OpenSpillFile(const Tuning& tuning) {
    if (file_.isOpen()) return Status::Ok();
    const std::string folder = FolderOf(dataPath_);
    if (tuning.unnamedSpillFile) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            file_ = HostFile(fd, "the spill file of " + dataPath_);
            return Status::Ok();
        }
        // Only a file system without unnamed files is a reason to try a named one.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return ErrnoError(errno, "cannot make a spill file in " + folder);
        }
    }
    const std::string path = NamedPath(dataPath_);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            HostFile file(fd, "the spill file of " + dataPath_);
            if (::unlink(path.c_str()) != 0) return ErrnoError(errno, "cannot unlink " + path);
            file_ = std::move(file);
            return Status::Ok();
        }
        if (errno != EEXIST) return ErrnoError(errno, "cannot make the spill file " + path);
        if (IsOtherThanAPart(path)) {
            return Status::Failure(Error::kFileExists,
                                   path + " is a file of its own, where the spill " + "file of " +
                                       dataPath_ + " would go");
        }
        Status s = RemoveLeftover(dataPath_);
        if (!s.ok()) return s;
    }
    return Status::Failure(Error::kFileExists, path + " keeps coming back");
}

Status SpilledRuns::Spill(const PendingKeys& batch, const Tuning& tuning, WorkCounters* counters) {
    Status s = OpenSpillFile(tuning);
    if (!s.ok()) return s;
    const size_t entrySize = stride();
    const size_t bufferEntries =
        std::max<size_t>(blockEntries_, std::min(tuning.runBufferBytes, kMaxWriteBuffer) /
                                            entrySize / blockEntries_ * blockEntries_);
    std::vector<uint8_t> buffer(bufferEntries * entrySize);
    Run run;
    run.offset = end_;
    run.count = batch.size();
    run.fences.reserve((run.count + blockEntries_ - 1) / blockEntries_ * keySize_);
    uint64_t at = end_;
    size_t used = 0;
    for (size_t i = 0; i < batch.size(); ++i) {
        batch.PrefetchSorted(i + 8);
        const uint8_t* key = batch.SortedKey(i);
        if (i % blockEntries_ == 0) run.fences.insert(run.fences.end(), key, key + keySize_);
        CopyFewBytes(buffer.data() + used, key, keySize_);
        PutLittleEndian<uint64_t>(buffer.data() + used + keySize_, batch.SortedNumber(i));
        used += entrySize;
        if (used == buffer.size() || i + 1 == batch.size()) {
            s = file_.WriteAt(at, {buffer.data(), used});
            if (!s.ok()) return s;
            at += used;
            used = 0;
        }
    }
    const uint8_t* last = batch.SortedKey(batch.size() - 1);
    run.last.assign(last, last + keySize_);
    counters->spills += 1;
    counters->runBytes += at - end_;
    end_ = at;
    keys_ += run.count;
    runs_.push_back(std::move(run));
    return Status::Ok();
}

Status SpilledRuns::Find(const uint8_t* key, bool* found, uint64_t* recordNumber,
                         WorkCounters* counters) {
    *found = false;
    const size_t entrySize = stride();
    for (const Run& run : runs_) {
        const size_t blocks = run.fences.size() / keySize_;
        if (std::memcmp(key, run.fences.data(), keySize_) < 0 ||
            std::memcmp(key, run.last.data(), keySize_) > 0) {
            continue;
        }
        // The last block whose first key is not above the key.
        size_t low = 0, high = blocks;
        while (high - low > 1) {
            const size_t mid = (low + high) / 2;
            if (std::memcmp(run.fences.data() + mid * keySize_, key, keySize_) <= 0)
                low = mid;
            else
                high = mid;
        }
        const uint64_t first = uint64_t{low} * blockEntries_;
        const size_t entries =
            static_cast<size_t>(std::min<uint64_t>(blockEntries_, run.count - first));
        block_.resize(entries * entrySize);
        Status s = file_.ReadAt(run.offset + first * entrySize, block_);
        if (!s.ok()) return s;
        ++counters->runBlockReads;
        size_t lo = 0, hi = entries;
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const int c = std::memcmp(block_.data() + mid * entrySize, key, keySize_);
            if (c == 0) {
                *found = true;
                *recordNumber =
                    GetLittleEndian<uint64_t>(block_.data() + mid * entrySize + keySize_);
                return Status::Ok();
            }
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
    }
    return Status::Ok();
}

Status SpilledRuns::ForEachKey(size_t bufferBytes, const std::function<void(const uint8_t*)>& fn) {
    for (size_t i = 0; i < runs_.size(); ++i) {
        std::unique_ptr<SortedSource> reader;
        Status s = Reader(i, bufferBytes, &reader);
        while (s.ok() && reader->valid()) {
            fn(reader->key());
            s = reader->Next();
        }
        if (!s.ok()) return s;
    }
    return Status::Ok();
}

Status SpilledRuns::Reader(size_t run, size_t bufferBytes, std::unique_ptr<SortedSource>* source) {
    const Run& r = runs_[run];
    auto reader =
        std::make_unique<RunReader>(file_, r.offset, r.count, stride(),
                                    std::max<size_t>(blockEntries_, bufferBytes / stride()));
    Status s = reader->Fill();
    if (!s.ok()) return s;
    *source = std::move(reader);
    return Status::Ok();
}

void SpilledRuns::Clear() {
    runs_.clear();
    runs_.shrink_to_fit();
    block_ = {};
    keys_ = 0;
    end_ = 0;
    file_.Close();
}

}  // namespace talvo::engine
