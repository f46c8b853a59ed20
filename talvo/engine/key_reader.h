// The engine's KeyReader (talvo/engine.h): keys in order with their records, read ahead in
// batches by a thread of its own once a run of keys has been read in order.
//
// Reading ahead. The thread holds a view of the index on the snapshot the file's own read
// transaction sees (IndexSnapshot) and fills two batches in turn, which the reader hands out one
// after the other while the thread fills the next: the reading of the input overlaps whatever the
// caller does with the records. A batch holds keys in order with their record numbers and
// records, which the thread fetches in one of two ways:
//   - Few keys spread over many slots (the first batches, which start small and double): the
//     slots sorted by number (a radix sort) and read with positional reads in ascending order,
//     slots close together in one read.
//   - Once a batch would hold a key for every kSweepGapBytes of the slots (reading the records
//     of such batches one by one costs the thread more than the caller spends on them, so that
//     the caller would wait at every batch), a sweep:
//     the keys and record numbers of a segment of many batches' keys, read along the index and
//     kept in an unnamed file beside the data file; the numbers sorted; one pass over the slots
//     in ascending order, seen in place through a map of a span of them at a time, each record
//     wanted written, with its place in the segment, to the part of the unnamed file that
//     belongs to its batch; then batch after batch, its keys and numbers read back, and its
//     records read back from its part into key order. Every slot is read once a segment, however
//     many batches the segment holds, and the index once. Where the unnamed file cannot be made
//     (a folder that cannot be written), or a write to it fails, the keys are read again along
//     the index and the records left to Get.
//
// When the reader reads directly. Every key is what SeekKey(last key, strictly after) would give
// at that moment, because the batches are only used while nothing has changed:
//   - at the start, after Seek, and whenever reading ahead stops, keys come from SeekKey one at a
//     time (and records from Get) until kDirectRun keys have come in order;
//   - reading ahead starts only on a file without changes of this process that are not
//     committed (OpenDataFile::CanReadAhead) and only when the view sees the snapshot the file
//     sees (else the reader tries again after another kDirectRun keys);
//   - any change of the file (OpenDataFile counts them) stops it: the thread is joined, the
//     batches dropped, and reading goes on from the last key delivered;
//   - a batch that ends short (the last key, a key the view will not hand out, an error) is the
//     last: after it the direct reads meet the end or the error as SeekKey reports it;
//   - a record the thread could not read (past the slots the file counts, a read that failed)
//     is left to Get, which reports what is wrong with it.
// The deleted marks the index holds for slots not yet marked in the data file are laid over the
// records as they are handed out, as ReadRecord does.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "talvo/engine.h"

namespace talvo::engine {

class OpenDataFile;

class BatchedKeyReader final : public KeyReader {
  public:
    // Keys read in order, one at a time, before reading ahead starts.
    static constexpr size_t kDirectRun = 32;
    // Entries of the first batch read ahead; each further batch doubles, up to what the
    // read-ahead budget holds.
    static constexpr size_t kFirstBatch = 256;
    // Slots this close (bytes between one record's end and the next one's start) are read in one
    // positional read: the bytes between cost less than another read.
    static constexpr size_t kJoinGapBytes = 16384;
    // Entries of a batch ahead of the one handed out whose bytes are asked for (at most
    // kPrefetchBytes of a record).
    static constexpr size_t kPrefetchAhead = 8;
    static constexpr size_t kPrefetchBytes = 512;
    // Batches are swept once they would hold a key for every this many bytes of the slots.
    static constexpr uint64_t kSweepGapBytes = 4 * kJoinGapBytes;
    // The first segment swept holds at least a key for every this many bytes of the slots.
    static constexpr uint64_t kFirstSegmentBytesPerKey = 2048;
    // A sweep's pass sees this many bytes of slots through one map at a time: each map made and
    // let go costs a system call and, unmapped, the other processor's interruption.
    static constexpr size_t kSweepMapBytes = size_t{8} << 20;
    // The most keys of a segment swept at once (a key's place in its segment takes 24 bits).
    static constexpr size_t kMaxSegment = size_t{1} << 24;

    // REQUIRES: a keyed file. Registers with the file, which stops the reading ahead when it
    // changes or closes.
    explicit BatchedKeyReader(std::shared_ptr<OpenDataFile> file);
    ~BatchedKeyReader() override;
    BatchedKeyReader(const BatchedKeyReader&) = delete;
    BatchedKeyReader& operator=(const BatchedKeyReader&) = delete;

    void Seek(std::span<const uint8_t> key, bool strictlyAfter) override;
    Status Next(std::span<const uint8_t>* key) override;
    Status Get(std::span<const uint8_t> key, std::vector<uint8_t>* record) override;
    const uint8_t* RecordAtHand(std::span<const uint8_t> key) override;

    // Ends the reading ahead: the thread is joined and the batches dropped; the next Next goes
    // on from the last key delivered. Nothing happens when it is not reading ahead (every write
    // to the file asks, once a record).
    void StopReadingAhead() {
        if (ahead_ != nullptr) EndReadingAhead();
    }
    bool readingAhead() const { return ahead_ != nullptr; }

  private:
    struct Batch;
    struct Ahead;
    struct Segment;

    // The entry of the batch in hand that holds `key`'s record, when `key` is the key delivered
    // last, from that batch, whose record was read; -1 otherwise.
    ptrdiff_t EntryAtHand(std::span<const uint8_t> key) const;
    void StartReadingAhead();
    void EndReadingAhead();
    // Gives the batch in hand back to the thread and takes the next one (waiting for it).
    void TakeNextBatch();
    static void Run(Ahead* ahead);
    static void Fill(Ahead& ahead, Batch& batch, size_t entries);
    static void FetchRecords(Ahead& ahead, Batch& batch);
    // Whether the next batch of `entries` keys is better read by a sweep.
    static bool ShouldSweep(const Ahead& ahead, size_t entries);
    // Sweeps segment after segment, preparing each while the batches of the one before are
    // handed over; true when reading ahead goes on batch by batch (a sweep failed), false when it
    // ends.
    static bool Sweep(Ahead& ahead);
    // Reads the next segment's record numbers and writes its records to the unnamed file,
    // handing over batches of `pending` whenever there is room; false when the reader stops it.
    static bool Prepare(Ahead& ahead, size_t size, Segment* segment, Segment* pending);
    // Fills the next batch of the segment: its keys read again along the index, its records read
    // back from its part of the unnamed file.
    static void FillFromSegment(Ahead& ahead, Batch& batch, Segment& segment);
    // Hands over the next batch of `pending` when a batch is free now (without waiting); false
    // when the reader stops the thread.
    static bool Pump(Ahead& ahead, Segment* pending);

    std::shared_ptr<OpenDataFile> file_;
    size_t keySize_;
    uint32_t recordSize_;
    // Where the next key comes from: after this key (or from it) as the file is now.
    std::string position_;
    bool after_ = false;
    std::string delivered_;  // the key delivered last
    size_t directRun_ = 0;   // keys read directly, in order, since reading ahead last stopped
    uint64_t changes_ = 0;   // the file's change count when reading ahead started
    std::unique_ptr<Ahead> ahead_;
    Batch* current_ = nullptr;  // the batch being handed out (in ahead_)
    size_t at_ = 0;             // its next entry
    bool fromBatch_ = false;    // the key delivered last is entry at_ - 1 of current_
};

}  // namespace talvo::engine
