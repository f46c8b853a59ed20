// Every field of a record at each of its occurrences, in the order they lie in the record: what a
// view of records lists, one line per field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "layout/copybook.h"

namespace layout {

struct FieldOccurrence {
    int item = 0;                      // index in Record::items
    std::vector<uint32_t> subscripts;  // one per table the item lies in (Dimensions())
    uint64_t offset = 0;               // of this occurrence, from the start of the record
    int depth = 0;                     // 0 for the record's own item, 1 for the items below it...
};

// The record's items in the order they are written, a group before the items in it, an item in
// a table once per occurrence (subscripts counting up, the innermost fastest). Stops after
// `limit` occurrences; *complete (when given) tells whether all were listed.
std::vector<FieldOccurrence> ListFields(const Record& record, size_t limit, bool* complete);

// "PART-ID(2,3)": the item's name with the occurrence's subscripts; qualified, with
// QualifiedName() before the subscripts.
std::string OccurrenceName(const Record& record, const FieldOccurrence& field, bool qualified);

}  // namespace layout
