// Key fields named from a record layout: `--layout FILE.cpy [--record NAME]`, then `--key NAME`.
// A name becomes the position and length of its field, which the dialog script then types into
// the Position and Length edits as it does the numbers of `--key POS:LEN`: the dialog sees no
// difference and every one of its rules applies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch_options.h"

namespace batch {

// The record of the layout the names were resolved in.
struct LayoutRecord {
    std::string path;        // the copybook, as given
    std::string name;        // the record's (level 01 or 77) name
    uint64_t length = 0;     // its length in bytes
};

// With --layout: reads the copybook, takes its record (the one --record names, else the only
// one) and sets the position and length of every key given by name. Returns the record; nothing
// without --layout. On failure returns nothing and sets *error to one line (the command line
// cannot be used): a copybook that cannot be read (with its line and reason), a record that
// is not there or not chosen among several (the records listed), a name that is unknown (the
// nearest names listed), ambiguous (its fields listed) or wrongly subscripted. Adds to
// *warnings a line for each named key whose bytes do not sort as its values do: a binary,
// packed or floating-point field, or a group holding one.
std::optional<LayoutRecord> ResolveKeyNames(BatchOptions& options,
                                            std::vector<std::string>* warnings,
                                            std::string* error);

// The refusal of a layout whose record is longer than the input's records, or nothing when the
// record fits. `input` names the input file ("CUST on DAT").
std::optional<std::string> LayoutLengthProblem(const LayoutRecord& record, uint32_t recordSize,
                                               const std::string& input);

}  // namespace batch
