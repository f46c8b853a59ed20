#include "batch/key_names.h"

#include <algorithm>
#include <cctype>

#include "layout/copybook_file.h"
#include "layout/field_ref.h"

namespace batch {
namespace {

// The most names an unknown name's refusal lists: a record of no more names lists them all, a
// larger one the names near the one given.
constexpr size_t kMaxCandidates = 16;

std::string Joined(const std::vector<std::string>& names, const char* separator) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : separator) + name;
    return text;
}

// The field name a reference begins with, in upper case ("CUST-CITY" of "cust-city of x").
std::string BaseName(const std::string& reference) {
    std::string name;
    for (char c : reference) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (!name.empty() || (c != ' ' && c != '\t')) {
            break;
        }
    }
    return name;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Where a name the record has is, when the groups given were wrong; else the record's names
// when they are few, else those nearest to `wanted` (those that hold it or that it holds, then
// those a few letters away), or when none is near, the record's first names.
std::string Candidates(const layout::Record& record, const std::string& wanted) {
    // The name is there, but not in the groups given: where it is.
    std::vector<std::string> places;
    for (size_t i = 0; i < record.items.size(); ++i) {
        if (!record.items[i].filler && record.items[i].name == wanted) {
            places.push_back(layout::QualifiedName(record, static_cast<int>(i)));
        }
    }
    if (!places.empty()) return "there is " + Joined(places, "; ");

    std::vector<std::string> names;
    for (const layout::Item& item : record.items) {
        if (!item.filler && std::find(names.begin(), names.end(), item.name) == names.end()) {
            names.push_back(item.name);
        }
    }
    if (names.size() <= kMaxCandidates) return "its fields: " + Joined(names, ", ");
    std::vector<std::pair<size_t, std::string>> near;
    const size_t allowed = std::max<size_t>(2, wanted.size() / 3);
    for (const std::string& name : names) {
        const bool holds = !wanted.empty() && (name.find(wanted) != std::string::npos ||
                                               wanted.find(name) != std::string::npos);
        const size_t distance = holds ? 0 : EditDistance(name, wanted);
        if (distance <= allowed) near.emplace_back(distance, name);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> listed;
    for (const auto& [distance, name] : near) {
        if (listed.size() == kMaxCandidates) break;
        listed.push_back(name);
    }
    if (!listed.empty()) return "the nearest: " + Joined(listed, ", ");
    listed.assign(names.begin(), names.begin() + std::min(names.size(), kMaxCandidates));
    std::string text = "its fields: " + Joined(listed, ", ");
    if (names.size() > listed.size()) {
        text += " and " + std::to_string(names.size() - listed.size()) + " more";
    }
    return text;
}

// The first binary, packed or floating-point field at or below the item, or -1.
int FirstNonDisplay(const layout::Record& record, int index) {
    const layout::Item& item = record.items[static_cast<size_t>(index)];
    if (!item.isGroup()) return item.usage != layout::Usage::kDisplay ? index : -1;
    for (int child : item.children) {
        if (const int found = FirstNonDisplay(record, child); found >= 0) return found;
    }
    return -1;
}

const layout::Record* ChooseRecord(const layout::Copybook& copybook, const BatchOptions& options,
                                   std::string* error) {
    std::vector<std::string> names;
    for (const layout::Record& r : copybook.records) names.push_back(r.name());
    const std::string& path = *options.layout;
    if (options.record) {
        if (const layout::Record* record = layout::FindRecord(copybook, *options.record)) {
            return record;
        }
        *error = "--record " + *options.record + ": the copybook " + path + " has no record of " +
                 "that name; its records: " + Joined(names, ", ");
        return nullptr;
    }
    if (copybook.records.size() != 1) {
        *error = "the copybook " + path + " describes " +
                 (names.empty() ? std::string("no record")
                                : std::to_string(names.size()) + " records (" +
                                      Joined(names, ", ") + "); choose one with --record");
        return nullptr;
    }
    return &copybook.records.front();
}

}  // namespace

std::optional<LayoutRecord> ResolveKeyNames(BatchOptions& options,
                                            std::vector<std::string>* warnings,
                                            std::string* error) {
    if (!options.layout) return std::nullopt;
    layout::ReadOptions reading;
    reading.format = options.sourceFormat == "fixed"  ? layout::SourceFormat::kFixed
                     : options.sourceFormat == "free" ? layout::SourceFormat::kFree
                                                      : layout::SourceFormat::kDetect;
    reading.binarySize =
        layout::ParseBinarySize(options.binarySize).value_or(layout::BinarySize::k1248);
    layout::Copybook copybook;
    if (!layout::ReadCopybookFile(*options.layout, reading, &copybook, error)) {
        *error = "--layout: " + *error;
        return std::nullopt;
    }
    const layout::Record* record = ChooseRecord(copybook, options, error);
    if (record == nullptr) return std::nullopt;

    for (KeyFieldText& key : options.keys) {
        if (key.name.empty()) continue;
        std::string why;
        const std::optional<layout::FieldRef> field = layout::ResolveField(*record, key.name, &why);
        if (!field) {
            *error = "--key " + key.name + ": " + why;
            // No field goes by that name (and qualifiers): say which ones do, or come near.
            if (why.find(" has no field ") != std::string::npos) {
                *error += "; " + Candidates(*record, BaseName(key.name));
            }
            return std::nullopt;
        }
        key.position = std::to_string(field->position);
        key.length = std::to_string(field->length);
        const int binary = FirstNonDisplay(*record, field->item);
        if (binary < 0) continue;
        const layout::Item& item = record->items[static_cast<size_t>(field->item)];
        const layout::Item& inner = record->items[static_cast<size_t>(binary)];
        const std::string usage = layout::UsageName(inner.usage);
        warnings->push_back(
            "--key " + key.name + ": " +
            (item.isGroup() ? "the group " + item.name + " holds " + inner.name + ", " + usage
                            : item.name + " is " + usage) +
            ": keys of such fields sort by their bytes, not by their values");
    }
    return LayoutRecord{*options.layout, record->name(), record->length()};
}

std::optional<std::string> LayoutLengthProblem(const LayoutRecord& record, uint32_t recordSize,
                                               const std::string& input) {
    if (record.length <= recordSize) return std::nullopt;
    return "--layout " + record.path + ": the record " + record.name + " is " +
           std::to_string(record.length) + " bytes, longer than the " +
           std::to_string(recordSize) + "-byte records of " + input;
}

}  // namespace batch
