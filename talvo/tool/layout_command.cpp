#include "talvo/tool/layout_command.h"

#include <algorithm>

#include "layout/copybook_file.h"

namespace talvo::tool {

namespace {

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string RightAligned(const std::string& text, size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string LevelText(int level) {
    return (level < 10 ? "0" : "") + std::to_string(level);
}

// How deep the item lies below its record.
int Depth(const layout::Record& record, int index) {
    int depth = 0;
    for (int p = record.items[index].parent; p >= 0; p = record.items[p].parent) ++depth;
    return depth;
}

std::string UsageText(const layout::Item& item) {
    return item.isGroup() ? "GROUP" : layout::UsageName(item.usage);
}

std::string OccursText(const layout::Item& item) {
    if (!item.table) return "";
    if (item.dependingOn.empty()) return std::to_string(item.occurs);
    return std::to_string(item.minOccurs) + " TO " + std::to_string(item.occurs) +
           " DEPENDING ON " + item.dependingOn;
}

void PrintTable(const layout::Record& record, std::ostream& out) {
    size_t nameWidth = 4;
    for (size_t i = 0; i < record.items.size(); ++i) {
        nameWidth = std::max(nameWidth, 2 * Depth(record, static_cast<int>(i)) +
                                            record.items[i].name.size());
    }
    out << record.name() << ": " << record.length() << (record.length() == 1 ? " byte" : " bytes")
        << "\n";
    out << "LEVEL  " << Padded("NAME", nameWidth) << "   OFFSET  LENGTH  "
        << Padded("USAGE", 8) << "  " << Padded("PICTURE", 14) << "  OCCURS\n";
    for (size_t i = 0; i < record.items.size(); ++i) {
        const layout::Item& item = record.items[i];
        std::string line = Padded(LevelText(item.level), 5) + "  " +
                           Padded(std::string(2 * Depth(record, static_cast<int>(i)), ' ') +
                                      item.name,
                                  nameWidth) +
                           "  " + RightAligned(std::to_string(item.offset), 7) + "  " +
                           RightAligned(std::to_string(item.length), 6) + "  " +
                           Padded(UsageText(item), 8) + "  " +
                           Padded(item.picture ? item.picture->text : "", 14) + "  " +
                           OccursText(item);
        if (!item.redefines.empty()) line += (item.table ? "  " : "") + std::string("REDEFINES ") + item.redefines;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
}

std::string JsonOrNull(const std::string& text) {
    return text.empty() ? "null" : JsonText(text);
}

void PrintJsonItem(const layout::Record& record, int index, std::ostream& out) {
    const layout::Item& item = record.items[index];
    out << "{\"record\":" << JsonText(record.name()) << ",\"name\":" << JsonText(item.name)
        << ",\"qualified\":" << JsonText(layout::QualifiedName(record, index))
        << ",\"level\":" << item.level << ",\"offset\":" << item.offset
        << ",\"length\":" << item.length << ",\"usage\":" << JsonText(UsageText(item))
        << ",\"picture\":" << (item.picture ? JsonText(item.picture->text) : "null")
        << ",\"occurs\":" << item.occurs << ",\"redefines\":" << JsonOrNull(item.redefines)
        << ",\"dependingOn\":" << JsonOrNull(item.dependingOn) << "}";
}

}  // namespace

std::string JsonText(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

layout::Copybook LoadCopybook(const CopybookArgs& args) {
    layout::ReadOptions options;
    if (args.sourceFormat == "fixed") options.format = layout::SourceFormat::kFixed;
    if (args.sourceFormat == "free") options.format = layout::SourceFormat::kFree;
    const auto size = layout::ParseBinarySize(args.binarySize);
    if (!size) throw UsageError("--binary-size must be 1-2-4-8, 2-4-8 or 1--8");
    options.binarySize = *size;

    layout::Copybook copybook;
    std::string error;
    if (!layout::ReadCopybookFile(args.path, options, &copybook, &error)) throw ToolError(error);
    return copybook;
}

std::vector<const layout::Record*> ChooseRecords(const layout::Copybook& copybook,
                                                 const CopybookArgs& args) {
    std::vector<const layout::Record*> records;
    if (!args.record.empty()) {
        const layout::Record* record = layout::FindRecord(copybook, args.record);
        if (record == nullptr) {
            std::string names;
            for (const layout::Record& r : copybook.records) {
                names += (names.empty() ? "" : ", ") + r.name();
            }
            throw UsageError(args.path + " has no record " + args.record + "; its records: " +
                             names);
        }
        records.push_back(record);
        return records;
    }
    for (const layout::Record& r : copybook.records) records.push_back(&r);
    return records;
}

void LayoutCommand(const LayoutArgs& args, Console& console) {
    const layout::Copybook copybook = LoadCopybook(args.copybook);
    const std::vector<const layout::Record*> records = ChooseRecords(copybook, args.copybook);
    std::ostream& out = console.out;
    if (args.json) {
        out << "[";
        bool first = true;
        for (const layout::Record* record : records) {
            for (size_t i = 0; i < record->items.size(); ++i) {
                out << (first ? "\n" : ",\n");
                first = false;
                PrintJsonItem(*record, static_cast<int>(i), out);
            }
        }
        out << "\n]\n";
        return;
    }
    for (size_t r = 0; r < records.size(); ++r) {
        if (r > 0) out << "\n";
        PrintTable(*records[r], out);
    }
}

}  // namespace talvo::tool
