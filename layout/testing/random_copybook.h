// Random valid copybooks, for the property test against the compiler: records of nested groups
// and tables with every usage, picture kind, sign clause, SYNCHRONIZED, REDEFINES (chains,
// longer ones, of tables), OCCURS DEPENDING ON at a record's end, FILLER, VALUE, level 66, 77
// and 88 entries, written in fixed form (sequence numbers, identification area, comment lines,
// continued words and literals) or free form, in upper or lower case.
#pragma once

#include <cstdint>
#include <string>

#include "layout/source_text.h"

namespace layout::testing {

struct RandomCopybook {
    std::string text;
    SourceFormat format = SourceFormat::kFixed;
};

// The copybook of that seed; every name in it begins with `prefix` (letters, digits and
// hyphens), so copybooks of different prefixes may share a program.
RandomCopybook MakeRandomCopybook(uint64_t seed, const std::string& prefix);

}  // namespace layout::testing
