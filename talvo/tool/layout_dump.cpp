#include "talvo/tool/layout_dump.h"

#include <algorithm>

#include "layout/field_value.h"
#include "talvo/tool/bytes_text.h"

namespace talvo::tool {

namespace {

std::string RightAligned(const std::string& text, size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

// A text value for the table: quoted, trailing spaces left off, quotes and backslashes escaped.
std::string Quoted(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsText(const layout::Item& item) {
    return item.isGroup() || (item.usage == layout::Usage::kDisplay &&
                              item.category != layout::Category::kNumeric);
}

}  // namespace

RecordFields::RecordFields(const CopybookArgs& args, uint32_t recordSize, const std::string& path)
    : copybook_(LoadCopybook(args)) {
    const std::vector<const layout::Record*> records = ChooseRecords(copybook_, args);
    if (records.size() > 1) {
        std::string names;
        for (const layout::Record* r : records) names += (names.empty() ? "" : ", ") + r->name();
        throw UsageError(args.path + " describes " + std::to_string(records.size()) +
                         " records (" + names + "); choose one with --record");
    }
    record_ = records.front();
    if (record_->length() > recordSize) {
        throw ToolError("the record " + record_->name() + " of " + args.path + " is " +
                        std::to_string(record_->length()) + " bytes, longer than the " +
                        std::to_string(recordSize) + "-byte records of " + path);
    }
    bool complete = false;
    fields_ = layout::ListFields(*record_, kMaxFields, &complete);
    if (!complete) {
        throw ToolError("the record " + record_->name() + " has more than " +
                        std::to_string(kMaxFields) + " fields with its tables' occurrences");
    }
    for (const layout::FieldOccurrence& f : fields_) {
        labelWidth_ = std::max(labelWidth_, 2 * static_cast<size_t>(f.depth) +
                                                layout::OccurrenceName(*record_, f, false).size());
    }
}

void RecordFields::Print(std::optional<uint64_t> recordNumber,
                         const std::optional<std::string>& key, std::string_view data,
                         bool deleted, bool json, std::ostream& out) const {
    if (data.size() < record_->length()) {
        throw ToolError("record " + (recordNumber ? std::to_string(*recordNumber) : "-") +
                        " holds " + std::to_string(data.size()) + " bytes, fewer than the " +
                        std::to_string(record_->length()) + " of the layout");
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    if (json) {
        out << "{\"record\":" << (recordNumber ? std::to_string(*recordNumber) : "null")
            << ",\"key\":" << (key ? JsonString(*key) : "null")
            << ",\"keyHex\":" << (key ? "\"" + ToHex(*key) + "\"" : "null")
            << ",\"deleted\":" << (deleted ? "true" : "false") << ",\"fields\":[";
        bool first = true;
        for (const layout::FieldOccurrence& f : fields_) {
            const layout::Item& item = record_->items[f.item];
            if (item.isGroup()) continue;
            const layout::FieldValue value =
                layout::DecodeField(item, {bytes + f.offset, item.length});
            std::string subscripts = "[";
            for (size_t s = 0; s < f.subscripts.size(); ++s) {
                subscripts += (s ? "," : "") + std::to_string(f.subscripts[s]);
            }
            subscripts += "]";
            out << (first ? "" : ",") << "{\"name\":" << JsonText(item.name)
                << ",\"qualified\":" << JsonText(layout::OccurrenceName(*record_, f, true))
                << ",\"subscripts\":" << subscripts
                << ",\"offset\":" << f.offset << ",\"length\":" << item.length
                << ",\"value\":" << (value.decoded ? JsonText(value.text) : "null");
            if (!value.decoded) {
                out << ",\"hex\":\"" << value.text << "\",\"error\":" << JsonText(value.reason);
            }
            out << "}";
            first = false;
        }
        out << "]}\n";
        return;
    }
    out << "record " << (recordNumber ? std::to_string(*recordNumber) : "-");
    if (key) out << "  key \"" << EscapeBytes(*key) << "\" " << ToHex(*key);
    if (deleted) out << "  deleted";
    out << "\n";
    for (const layout::FieldOccurrence& f : fields_) {
        const layout::Item& item = record_->items[f.item];
        std::string label = std::string(2 * static_cast<size_t>(f.depth), ' ') +
                            layout::OccurrenceName(*record_, f, false);
        out << RightAligned(std::to_string(f.offset), 8) << "  "
            << RightAligned(item.isGroup() ? "" : std::to_string(item.length), 6) << "  ";
        if (item.isGroup()) {
            out << label << "\n";
            continue;
        }
        label.resize(std::max(label.size(), labelWidth_), ' ');
        const layout::FieldValue value = layout::DecodeField(item, {bytes + f.offset, item.length});
        out << label << "  ";
        if (!value.decoded) {
            out << "hex " << value.text << " (" << value.reason << ")\n";
        } else if (IsText(item)) {
            out << Quoted(value.text) << "\n";
        } else {
            out << value.text << "\n";
        }
    }
}

}  // namespace talvo::tool
