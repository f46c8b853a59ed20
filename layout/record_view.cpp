#include "layout/record_view.h"

#include <algorithm>

#include "layout/field_ref.h"
#include "layout/field_value.h"

namespace layout {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// What stands between a record's label and its first byte column.
constexpr size_t kGutterSpace = 2;

bool IsTextItem(const Item& item) {
    return item.isGroup() ||
           (item.usage == Usage::kDisplay && item.category != Category::kNumeric);
}

}  // namespace

Ruler MakeRuler(uint64_t columns) {
    Ruler ruler;
    ruler.numbers.assign(columns, ' ');
    ruler.marks.assign(columns, '.');
    for (uint64_t c = 0; c < columns; ++c) {
        if (c % 10 == 0) {
            ruler.marks[c] = '|';
            const std::string number = std::to_string(c);
            // Written where it ends before the next mark's column and before the last column.
            if (number.size() < 10 && c + number.size() <= columns) {
                ruler.numbers.replace(c, number.size(), number);
            }
        } else if (c % 5 == 0) {
            ruler.marks[c] = '+';
        }
    }
    return ruler;
}

ByteColumns ShowBytes(std::span<const uint8_t> bytes) {
    ByteColumns shown;
    shown.text.reserve(bytes.size());
    shown.high.reserve(bytes.size());
    shown.low.reserve(bytes.size());
    for (uint8_t b : bytes) {
        shown.text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
        shown.high += kHexDigits[b >> 4];
        shown.low += kHexDigits[b & 15];
    }
    return shown;
}

void RecordsText::AddRecord(uint64_t number, bool deleted, std::span<const uint8_t> bytes) {
    const size_t shown = static_cast<size_t>(std::min<uint64_t>(bytes.size(), columns_));
    records_.push_back({std::to_string(number) + (deleted ? " del" : ""),
                        ShowBytes(bytes.first(shown))});
}

size_t RecordsText::Gutter() const {
    size_t widest = 0;
    for (const Shown& r : records_) widest = std::max(widest, r.label.size());
    return widest + kGutterSpace;
}

std::vector<std::string> RecordsText::RulerLines(bool withGutter) const {
    const Ruler ruler = MakeRuler(columns_);
    const std::string gutter(withGutter ? Gutter() : 0, ' ');
    return {gutter + ruler.numbers, gutter + ruler.marks};
}

std::vector<std::string> RecordsText::RecordLines(bool withGutter) const {
    const size_t gutter = withGutter ? Gutter() : 0;
    const std::string blank(gutter, ' ');
    std::vector<std::string> lines;
    lines.reserve(records_.size() * kLinesPerRecord);
    for (size_t i = 0; i < records_.size(); ++i) {
        const Shown& r = records_[i];
        const std::string label = withGutter ? r.label : std::string();
        lines.push_back(label + std::string(gutter - label.size(), ' ') + r.columns.text);
        lines.push_back(blank + r.columns.high);
        lines.push_back(blank + r.columns.low);
        if (i + 1 < records_.size()) lines.emplace_back();
    }
    return lines;
}

std::string UsageText(const Item& item) {
    return item.isGroup() ? "GROUP" : UsageName(item.usage);
}

std::string FieldValueText(const Record& record, const FieldOccurrence& field,
                           std::span<const uint8_t> bytes) {
    const Item& item = record.items[static_cast<size_t>(field.item)];
    if (field.offset > bytes.size() || item.length > bytes.size() - field.offset) {
        return "beyond the record";
    }
    if (item.isGroup() && HoldsNonDisplayData(record, field.item)) return {};
    const FieldValue value = DecodeField(item, bytes.subspan(field.offset, item.length));
    if (!value.decoded) return "hex " + value.text + " (" + value.reason + ")";
    if (!IsTextItem(item)) return value.text;
    std::string_view text = value.text;
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return "\"" + std::string(text) + "\"";
}

std::string LayoutFitText(const Record& record, uint64_t recordSize) {
    const uint64_t length = record.length();
    const std::string head = record.name() + ": " + std::to_string(length) +
                             (length == 1 ? " byte" : " bytes");
    if (length == recordSize) return head + ", as the file's records";
    if (length < recordSize) {
        return head + "; the file's records hold " + std::to_string(recordSize) + ", bytes " +
               std::to_string(length) + " to " + std::to_string(recordSize - 1) +
               " are not described";
    }
    return head + ", longer than the file's " + std::to_string(recordSize) +
           "-byte records: bytes from " + std::to_string(recordSize) + " on are not in them";
}

}  // namespace layout
