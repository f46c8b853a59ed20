// `talvo dump FILE --layout FILE.cpy`: each record shown field by field, as a record of the
// copybook: every occurrence of every item with its offset, length and value. Groups stand as
// headings; a value that does not decode shows its bytes in hex and why.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "layout/copybook.h"
#include "layout/field_list.h"
#include "talvo/tool/layout_command.h"

namespace talvo::tool {

class RecordFields {
  public:
    // Reads the copybook and takes its record: the one --record names, or the only one. Throws
    // ToolError when the copybook cannot be read, names several records and none is chosen, or
    // lays out more bytes than the file's records hold (`recordSize`, of the file at `path`).
    RecordFields(const CopybookArgs& args, uint32_t recordSize, const std::string& path);

    // Shows one record: a heading with its number, key and deleted mark, then a line per field
    // (offset, length, name, value); with json one JSON object on a line, the elementary fields
    // in "fields".
    void Print(std::optional<uint64_t> recordNumber, const std::optional<std::string>& key,
               std::string_view data, bool deleted, bool json, std::ostream& out) const;

    // The most fields a record may be shown with (tables multiply them).
    static constexpr size_t kMaxFields = 1'000'000;

  private:
    layout::Copybook copybook_;
    const layout::Record* record_ = nullptr;
    std::vector<layout::FieldOccurrence> fields_;
    size_t labelWidth_ = 0;
};

}  // namespace talvo::tool
