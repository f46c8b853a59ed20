// Streams of (key, record number) entries in ascending key order, and the merge of several into
// one: how the batch, the spilled runs and the committed key tree meet when changes commit.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "talvo/engine.h"

namespace talvo::engine {

class PendingKeys;

// One (key, record number) pair of a sorted batch.
struct IndexEntry {
    const uint8_t* key;
    uint64_t recordNumber;
};

class SortedSource {
  public:
    virtual ~SortedSource() = default;
    // Whether there is a current entry; key() and number() are valid only then, until Next.
    virtual bool valid() const = 0;
    virtual const uint8_t* key() const = 0;
    virtual uint64_t number() const = 0;
    // Moves to the next entry (valid() turns false after the last). An error ends the stream.
    virtual Status Next() = 0;
};

// The entries of a sorted batch. REQUIRES: batch.Sort() since its last Add; the batch outlives
// the source and is not changed meanwhile.
class BatchSource final : public SortedSource {
  public:
    explicit BatchSource(const PendingKeys& batch);
    bool valid() const override;
    const uint8_t* key() const override;
    uint64_t number() const override;
    Status Next() override;

  private:
    const PendingKeys& batch_;
    size_t at_ = 0;
};

// Entries held by the caller. REQUIRES: ascending by key, each key keySize bytes.
class EntrySource final : public SortedSource {
  public:
    explicit EntrySource(std::span<const IndexEntry> entries) : entries_(entries) {}
    bool valid() const override { return at_ < entries_.size(); }
    const uint8_t* key() const override { return entries_[at_].key; }
    uint64_t number() const override { return entries_[at_].recordNumber; }
    Status Next() override {
        ++at_;
        return Status::Ok();
    }

  private:
    std::span<const IndexEntry> entries_;
    size_t at_ = 0;
};

// The merge of sources whose keys are disjoint: their entries in ascending key order. A key
// found in two sources ends the merge with kDamaged.
class MergedSource final : public SortedSource {
  public:
    MergedSource(std::vector<std::unique_ptr<SortedSource>> sources, size_t keySize);
    // Positions on the first entry. Call once, before anything else.
    Status Start();
    bool valid() const override { return !heap_.empty(); }
    const uint8_t* key() const override { return heap_.front().source->key(); }
    uint64_t number() const override { return heap_.front().source->number(); }
    Status Next() override;

  private:
    // A source with its key's first 8 bytes as a number, which decides most comparisons.
    struct Head {
        uint64_t prefix;
        SortedSource* source;
    };
    Head HeadOf(SortedSource* source) const;
    // -1, 0, 1 as a's key is below, equal to or above b's.
    int Compare(const Head& a, const Head& b) const;
    void SiftDown(size_t at);

    std::vector<std::unique_ptr<SortedSource>> sources_;
    std::vector<Head> heap_;  // the valid sources, the least key on top
    size_t keySize_;
};

}  // namespace talvo::engine
