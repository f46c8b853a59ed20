// GnuCOBOL as the judge of record layouts, for the tests: copybooks are compiled into one program
// that prints where the compiler put every item, and those places are compared with the ones
// the copybook reader gives.
//
// Each copybook becomes a program of its own (so that names may repeat between copybooks), all
// of them in one source file that cobc compiles once: a call of cobc costs seconds, an item a
// few milliseconds. The program sets a pointer to the record and one to each item (at its first
// and last occurrence in tables), shows both as numbers (the pointers redefined as
// PIC 9(18) COMP-5), and FUNCTION BYTE-LENGTH of the item; the difference is the offset. A
// table with DEPENDING ON is measured with its counter at the maximum.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "layout/copybook.h"
#include "layout/source_text.h"

namespace layout::testing {

struct OracleCase {
    std::string name;  // for messages
    std::string text;  // the copybook as written
    SourceFormat format = SourceFormat::kFixed;  // kFixed or kFree: how cobc is told to read it
};

struct OracleResult {
    bool compiled = false;
    std::string failure;                     // when not compiled: what went wrong
    size_t compared = 0;                     // places compared
    std::vector<std::string> disagreements;  // one line each
};

// The path of cobc, or "" when it is not installed.
std::string FindCobc();

// Reads every case with the copybook reader and compares with what the compiler makes of it,
// compiled with -fbinary-size as binarySize says (and -flarger-redefines-ok). The program and
// its sources go in workFolder, which must exist. A case the reader refuses is a disagreement.
OracleResult CompareWithCompiler(const std::vector<OracleCase>& cases, BinarySize binarySize,
                                 const std::string& workFolder);

}  // namespace layout::testing
