// Naming a field of a record the way COBOL does, for people who give keys by name:
//   CUST-CITY                       an item by its name
//   CUST-CITY OF CUST-ADDRESS       qualified by a group it lies in (IN works as OF), up to the
//                                   record's own name
//   CUST-PHONE(2)                   the second occurrence of an item in a table; one subscript
//   CUST-PHONE (2) OF CUST-CONTACT  per table, outermost first, separated by spaces or commas,
//   ORDER-LINE(3, 1)                after the name or after the qualifiers
// Names are matched without regard to letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/copybook.h"

namespace layout {

// Where a named field lies in the record.
struct FieldRef {
    int item = -1;                    // index in Record::items
    std::vector<uint32_t> subscripts;  // one per table the item lies in (Dimensions())
    uint64_t position = 0;            // from the start of the record (0-based)
    uint64_t length = 0;
};

// Resolves a reference to one field of the record. Returns nothing and sets *error to a reason
// for a name that is unknown or ambiguous (the reason lists the candidates), the wrong number of
// subscripts, a subscript out of range, or a reference that cannot be read.
std::optional<FieldRef> ResolveField(const Record& record, std::string_view reference,
                                     std::string* error);

// True when the item is binary, packed or floating-point, a pointer or an index, or is a group
// holding such an item: its bytes do not sort as its values do.
bool HoldsNonDisplayData(const Record& record, int index);

}  // namespace layout
