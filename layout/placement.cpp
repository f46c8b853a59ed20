#include "layout/placement.h"

#include <algorithm>

namespace layout {

namespace {

// Bytes of a binary item by its digits (index: digits, 1 to 18).
constexpr uint8_t kBytes1248[19] = {1, 1, 1, 2, 2, 4, 4, 4, 4, 4, 8, 8, 8, 8, 8, 8, 8, 8, 8};
constexpr uint8_t kBytes248[19] = {2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 8, 8, 8, 8, 8, 8, 8, 8, 8};
// The fewest bytes that hold every value of so many digits, signed and unsigned.
constexpr uint8_t kBytesSigned[19] = {1, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 6, 7, 7, 8, 8};
constexpr uint8_t kBytesUnsigned[19] = {1, 1, 1, 2, 2, 3, 3, 3, 4, 4, 5, 5, 5, 6, 6, 7, 7, 8, 8};

uint64_t BinaryLength(Usage usage, const Picture& picture, BinarySize binarySize) {
    const uint32_t digits = std::min<uint32_t>(picture.digits, 18);
    switch (binarySize) {
        case BinarySize::k1248:
            return kBytes1248[digits];
        case BinarySize::k248:
            // COMP-5 keeps its one byte for one or two digits.
            return usage == Usage::kComp5 && digits <= 2 ? 1 : kBytes248[digits];
        case BinarySize::k1to8:
            return picture.isSigned ? kBytesSigned[digits] : kBytesUnsigned[digits];
    }
    return 8;
}

// The boundary a SYNCHRONIZED item of that usage and length is moved to (1: none).
uint64_t Alignment(const Item& item) {
    switch (item.usage) {
        case Usage::kBinary:
        case Usage::kComp5:
        case Usage::kFloat:
        case Usage::kDouble:
            return item.length == 2 || item.length == 4 || item.length == 8 || item.length == 16
                       ? item.length
                       : 1;
        case Usage::kIndex:
            return 4;
        case Usage::kPointer:
            return 8;
        case Usage::kDisplay:
        case Usage::kPacked:
            return 1;
    }
    return 1;
}

class Placer {
  public:
    Placer(Record* record, BinarySize binarySize) : items_(record->items), binarySize_(binarySize) {}

    bool Place(int index) {
        Item& item = items_[index];
        if (!item.isGroup()) {
            item.length = ElementaryLength(item.usage, item.picture ? &*item.picture : nullptr,
                                           item.signSeparate, binarySize_);
            return Extent(item) <= kMaxRecordLength || TooLong(item, Extent(item));
        }
        running_ = 1;
        uint64_t total = 0;
        // The longest of the item last redefined and its redefinitions so far: they follow it
        // one after another.
        uint64_t longest = 0;
        for (int c : item.children) {
            Item& child = items_[c];
            if (child.redefined >= 0) {
                child.offset = items_[child.redefined].offset;
                if (!Place(c)) return false;
                if (Extent(child) > longest) {
                    total += Extent(child) - longest;
                    longest = Extent(child);
                }
            } else {
                child.offset = item.offset + total;
                if (!Place(c)) return false;
                total += Extent(child);
                longest = Extent(child);
                if (child.sync) {
                    const uint64_t alignment = Alignment(child);
                    if (child.offset % alignment != 0) {
                        const uint64_t pad = alignment - child.offset % alignment;
                        child.offset += pad;
                        total += pad;
                    }
                    running_ = std::max(running_, alignment);
                }
            }
            if (total > kMaxRecordLength) return TooLong(item, total);
        }
        if (item.occurs > 1 && total % running_ != 0) {
            const uint64_t pad = running_ - total % running_;
            total += pad;
            int last = index;
            while (items_[last].isGroup()) last = items_[last].children.back();
            items_[last].offset += pad;
        }
        item.length = total;
        if (Extent(item) > kMaxRecordLength) return TooLong(item, Extent(item));
        return true;
    }

    uint32_t line() const { return line_; }
    const std::string& error() const { return error_; }

  private:
    static uint64_t Extent(const Item& item) { return item.length * item.occurs; }

    bool TooLong(const Item& item, uint64_t length) {
        line_ = item.line;
        error_ = item.name + " would take " + std::to_string(length) +
                 " bytes; a record holds at most " + std::to_string(kMaxRecordLength);
        return false;
    }

    std::vector<Item>& items_;
    BinarySize binarySize_;
    uint64_t running_ = 1;  // the compiler's running alignment (rule 5)
    uint32_t line_ = 0;
    std::string error_;
};

}  // namespace

uint64_t ElementaryLength(Usage usage, const Picture* picture, bool signSeparate,
                          BinarySize binarySize) {
    switch (usage) {
        case Usage::kDisplay:
            if (picture == nullptr) return 0;
            return picture->size + (picture->isSigned && signSeparate ? 1 : 0);
        case Usage::kBinary:
        case Usage::kComp5:
            return picture == nullptr ? 0 : BinaryLength(usage, *picture, binarySize);
        case Usage::kPacked:
            return picture == nullptr ? 0 : picture->digits / 2 + 1;
        case Usage::kFloat:
        case Usage::kIndex:
            return 4;
        case Usage::kDouble:
        case Usage::kPointer:
            return 8;
    }
    return 0;
}

bool PlaceRecord(Record* record, BinarySize binarySize, uint32_t* line, std::string* error) {
    Placer placer(record, binarySize);
    record->items.front().offset = 0;
    if (placer.Place(0)) return true;
    *line = placer.line();
    *error = placer.error();
    return false;
}

}  // namespace layout
