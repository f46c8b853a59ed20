#include "layout/copybook.h"

#include <algorithm>
#include <cassert>

#include "platform/text_case.h"

namespace layout {

namespace {

bool SameName(std::string_view a, std::string_view b) { return platform::EqualsIgnoringCase(a, b); }

}  // namespace

const char* UsageName(Usage usage) {
    switch (usage) {
        case Usage::kDisplay: return "DISPLAY";
        case Usage::kBinary: return "COMP";
        case Usage::kComp5: return "COMP-5";
        case Usage::kPacked: return "COMP-3";
        case Usage::kFloat: return "COMP-1";
        case Usage::kDouble: return "COMP-2";
        case Usage::kPointer: return "POINTER";
        case Usage::kIndex: return "INDEX";
    }
    return "?";
}

const char* BinarySizeName(BinarySize size) {
    switch (size) {
        case BinarySize::k1248: return "1-2-4-8";
        case BinarySize::k248: return "2-4-8";
        case BinarySize::k1to8: return "1--8";
    }
    return "?";
}

std::optional<BinarySize> ParseBinarySize(std::string_view name) {
    for (BinarySize size : {BinarySize::k1248, BinarySize::k248, BinarySize::k1to8}) {
        if (name == BinarySizeName(size)) return size;
    }
    return std::nullopt;
}

const Record* FindRecord(const Copybook& copybook, std::string_view name) {
    for (const Record& record : copybook.records) {
        if (SameName(record.name(), name)) return &record;
    }
    return nullptr;
}

std::string QualifiedName(const Record& record, int index) {
    std::string text = record.items[index].name;
    for (int p = record.items[index].parent; p >= 0; p = record.items[p].parent) {
        if (!record.items[p].filler) text += " OF " + record.items[p].name;
    }
    return text;
}

std::vector<Dimension> Dimensions(const Record& record, int index) {
    std::vector<Dimension> dimensions;
    for (int i = index; i >= 0; i = record.items[i].parent) {
        const Item& item = record.items[i];
        if (item.table) dimensions.push_back({i, item.occurs, item.length});
    }
    std::reverse(dimensions.begin(), dimensions.end());
    return dimensions;
}

uint64_t OccurrenceOffset(const Record& record, int index,
                          const std::vector<uint32_t>& subscripts) {
    const std::vector<Dimension> dimensions = Dimensions(record, index);
    assert(subscripts.size() == dimensions.size());
    uint64_t offset = record.items[index].offset;
    for (size_t d = 0; d < dimensions.size(); ++d) {
        assert(subscripts[d] >= 1 && subscripts[d] <= dimensions[d].occurs);
        offset += (subscripts[d] - 1) * dimensions[d].stride;
    }
    return offset;
}

}  // namespace layout
