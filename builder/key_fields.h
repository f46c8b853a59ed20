// The build's key fields: read from the dialog's key field list into keyFieldPositions and
// keyFieldLengths, checked against the buffers they are copied between, and assembled into
// the output key.
#pragma once

#include <optional>
#include <string>

#include "ui/ordelin_dlg.h"

namespace builder {

// Sets keyFieldCount, keyFieldPositions and keyFieldLengths from the items of the key field
// list ("position<TAB>length", each number read by its leading characters). Returns a refusal
// text, leaving the arrays as far as they were read, when the list cannot be used: more fields
// than the arrays hold, a field with a negative number or reaching past recordBuffer, or fields
// longer together than builtKey.
std::optional<std::string> ReadKeyFields(COrdelinDlg& dialog);

// Checks the sizes the build relies on (records that fit recordBuffer, keys that fit keyBuffer
// and builtKey); a refusal text when one does not hold.
std::optional<std::string> CheckBuildLimits(const COrdelinDlg& dialog);

// Assembles builtKey from recordBuffer: the key fields end to end in list order, each at the sum
// of the lengths before it whatever bytes it holds, zero bytes after the last. A field that
// would reach past either buffer ends the assembly there (ReadKeyFields refuses such lists).
void AssembleKey(COrdelinDlg& dialog);

}  // namespace builder
