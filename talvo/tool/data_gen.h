// Demonstration and benchmark data: records of fixed-width text fields (numbers, names,
// streets, cities, dates, amounts) that look like a small business's files. Record i of a set
// depends only on the layout, the set's size, the seed and i, on every machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvo::tool {

enum class Layout { kCustomer, kOrders };

struct FieldInfo {
    const char* name;
    uint32_t position;
    uint32_t length;
};

struct LayoutInfo {
    const char* name;
    uint32_t recordSize;
    uint32_t keySize;  // the record number field, first in the record
    uint32_t keyPosition;
    std::vector<FieldInfo> fields;  // in record order, end to end, filling the record
};

const LayoutInfo& GetLayout(Layout layout);
std::optional<Layout> ParseLayout(std::string_view name);

// The largest set a layout's number field can hold with unique keys.
constexpr uint64_t kMaxGeneratedRecords = 99'999'999;

class DataGenerator {
  public:
    // REQUIRES: 1 <= records <= kMaxGeneratedRecords.
    DataGenerator(Layout layout, uint64_t records, uint64_t seed);

    const LayoutInfo& layout() const { return layout_; }

    // Record i (0 <= i < records) of the set, recordSize bytes of printable text. The key
    // fields of the set's records are unique and not in record order.
    std::string Record(uint64_t i) const;

  private:
    uint64_t Number(uint64_t i) const;

    const LayoutInfo& layout_;
    Layout kind_;
    uint64_t records_;
    uint64_t seed_;
    uint64_t step_;  // coprime to records_: i -> (i * step_ + offset_) % records_ is a bijection
    uint64_t offset_;
};

}  // namespace talvo::tool
