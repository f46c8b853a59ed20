// The key field editor of COrdelinDlg: adding, removing and reordering key fields, and the output
// key size and key position edits that constrain them.
//
// Invariant kept by every handler: the occupancy map marks exactly the bytes of the fields in the
// list, no two fields share a byte, and keyBytesDefined is the sum of their lengths.
#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/message_box.h"
#include "ui/ordelin_dlg.h"

namespace {

struct KeyField {
    uint32_t position;
    uint32_t length;
};

// Splits a list item at its first tab; a number without digits reads as 0.
KeyField ParseKeyField(const std::string& item) {
    const size_t tab = item.find('\t');
    const std::string before = item.substr(0, tab);
    const std::string after = tab == std::string::npos ? std::string() : item.substr(tab + 1);
    return {static_cast<uint32_t>(platform::ParseLeadingInt(before)),
            static_cast<uint32_t>(platform::ParseLeadingInt(after))};
}

}  // namespace

std::string COrdelinDlg::FormatKeyField(uint32_t position, uint32_t length) {
    return std::to_string(position) + "\t" + std::to_string(length);
}

void COrdelinDlg::OnAddKeyField() {
    fieldPosition =
        static_cast<uint32_t>(platform::ParseLeadingInt(fieldPositionEdit.GetWindowText()));
    fieldLength = static_cast<uint32_t>(platform::ParseLeadingInt(fieldLengthEdit.GetWindowText()));
    // Sums in 64 bits: a position typed with a sign must not wrap round into the record.
    const uint64_t end = uint64_t{fieldPosition} + fieldLength;

    if (end > inputDescriptor.recordSize) {
        Refuse("Position and Length of this field exceed input file's record size", kFieldPosition,
               false);
        return;
    }
    if (uint64_t{static_cast<uint32_t>(keyBytesDefined)} + fieldLength > outputKeySize) {
        Refuse("Addition of this field exceeds output file's key size", kFieldPosition, false);
        return;
    }
    for (uint64_t n = fieldPosition; n < end; ++n) {
        if (IsByteOccupied(n)) {
            Refuse("This key field overlaps one already been defined.", kFieldPosition, false);
            return;
        }
    }
    if (keyFieldList.GetCount() >= kMaxKeyFields) {
        Refuse("Addition of this field exceeds the limit of " + std::to_string(kMaxKeyFields) +
                   " key fields.",
               kFieldPosition, true);
        return;
    }

    const int index = keyFieldList.AddString(FormatKeyField(fieldPosition, fieldLength));
    keyFieldList.SetCurSel(index);
    keyBytesDefined += static_cast<int32_t>(fieldLength);
    ToggleBytes(fieldPosition, fieldLength);  // none of them was set
    fieldPosition += fieldLength;
    fieldLength = 0;
    ShowKeyFieldSummary();
}

void COrdelinDlg::OnRemoveKeyField() {
    const int selection = keyFieldList.GetCurSel();
    if (selection == platform::kNoItem) return;
    const KeyField field = ParseKeyField(keyFieldList.GetText(selection));
    fieldPosition = field.position;
    fieldLength = field.length;
    keyBytesDefined -= static_cast<int32_t>(fieldLength);
    keyFieldList.DeleteString(selection);
    // Fields never overlap and every byte of a listed field is marked, so toggling clears
    // exactly this field's bytes.
    ToggleBytes(fieldPosition, fieldLength);
    fieldPosition += fieldLength;
    fieldLength = 0;
    ShowKeyFieldSummary();
}

void COrdelinDlg::OnFieldUp() {
    const int selection = keyFieldList.GetCurSel();
    if (selection == platform::kNoItem || selection == 0) return;
    const std::string text = keyFieldList.GetText(selection);
    keyFieldList.DeleteString(selection);
    keyFieldList.SetCurSel(keyFieldList.InsertString(selection - 1, text));
    UpdateControlStates();
}

void COrdelinDlg::OnFieldDown() {
    const int selection = keyFieldList.GetCurSel();
    if (selection == platform::kNoItem || selection >= keyFieldList.GetCount() - 1) return;
    const std::string text = keyFieldList.GetText(selection);
    keyFieldList.DeleteString(selection);
    keyFieldList.SetCurSel(keyFieldList.InsertString(selection + 1, text));
    UpdateControlStates();
}

void COrdelinDlg::OnKeyFieldSelChange() {
    const int selection = keyFieldList.GetCurSel();
    if (selection != platform::kNoItem) {
        const std::string item = keyFieldList.GetText(selection);
        const size_t tab = item.find('\t');
        fieldPositionEdit.SetWindowText(item.substr(0, tab));
        fieldLengthEdit.SetWindowText(tab == std::string::npos ? std::string()
                                                               : item.substr(tab + 1));
    }
    UpdateControlStates();
}

void COrdelinDlg::OnOutputKeySizeKillFocus() {
    const int32_t value = platform::ParseLeadingInt(outputKeySizeEdit.GetWindowText());
    if (value < keyBytesDefined) {
        Refuse("Output key size cannot be less than total of key fields defined.", kOutputKeySize,
               true);
        return;
    }
    if (value < 0 || static_cast<uint32_t>(value) > kMaxKeySize) {
        Refuse("Output key size cannot be greater than " + std::to_string(kMaxKeySize) + ".",
               kOutputKeySize, true);
        return;
    }
    outputKeySize = static_cast<uint32_t>(value);
    ShowKeyFieldSummary();
    UpdateControlStates();
}

void COrdelinDlg::OnOutputKeyPositionKillFocus() {
    const std::string text = outputKeyPositionEdit.GetWindowText();
    if (text.empty()) {
        if (outputKeySize > kMaxKeySizeWithoutPosition) {
            Refuse(kKeyPositionRequiredText, kOutputKeyPosition, true);
            return;
        }
        extendedOutput = false;
        UpdateControlStates();
        return;
    }

    const int32_t position = platform::ParseLeadingInt(text);
    if (position < 0) {
        Refuse("Key position cannot be negative.", kOutputKeyPosition, true);
        return;
    }
    // The list collapses into one field of outputKeySize bytes at the position, so that field
    // must fit into the record as well as the bytes defined so far.
    const int64_t keyBytes =
        std::max<int64_t>(keyBytesDefined, static_cast<int64_t>(outputKeySize));
    if (int64_t{position} + keyBytes > int64_t{outputRecordSize}) {
        Refuse("Key position extends key data beyond end of record.", kOutputKeyPosition, true);
        return;
    }
    outputKeyPosition = static_cast<uint32_t>(position);
    extendedOutput = true;

    keyFieldCount = std::min(keyFieldList.GetCount(), kMaxKeyFields);
    for (int i = 0; i < keyFieldCount; ++i) {
        const KeyField field = ParseKeyField(keyFieldList.GetText(i));
        keyFieldPositions[i] = static_cast<int32_t>(field.position);
        keyFieldLengths[i] = static_cast<int32_t>(field.length);
        if (i >= 1 &&
            int64_t{keyFieldPositions[i - 1]} + keyFieldLengths[i - 1] != keyFieldPositions[i]) {
            Refuse("Key fields must be contiguous for extended keyed file.", kOutputKeyPosition,
                   false);
            return;
        }
    }
    SetSingleKeyField();
    ShowKeyFieldSummary();
    UpdateControlStates();
}
