// The key field editor of COrdelinDlg: adding, removing and reordering key fields, and the output
// key size and key position edits that constrain them.
//
// Invariant kept by every handler: keyFields and the key field list hold the same fields in the
// same order, the occupancy map marks exactly the bytes of those fields, no two fields share a
// byte, and keyBytesDefined is the sum of their lengths.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/message_box.h"
#include "ui/ordelin_dlg.h"

using builder::KeyField;

std::string COrdelinDlg::FormatKeyField(const KeyField& field) {
    return std::to_string(field.position) + "\t" + std::to_string(field.length);
}

int COrdelinDlg::SelectedKeyField() const {
    const int selection = keyFieldList.GetCurSel();
    if (selection < 0 || static_cast<size_t>(selection) >= keyFields.size()) {
        return platform::kNoItem;
    }
    return selection;
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
    if (keyFields.size() >= static_cast<size_t>(kMaxKeyFields)) {
        Refuse("Addition of this field exceeds the limit of " + std::to_string(kMaxKeyFields) +
                   " key fields.",
               kFieldPosition, true);
        return;
    }

    keyFields.push_back({fieldPosition, fieldLength});
    const int index = keyFieldList.AddString(FormatKeyField(keyFields.back()));
    keyFieldList.SetCurSel(index);
    keyBytesDefined += static_cast<int32_t>(fieldLength);
    ToggleBytes(fieldPosition, fieldLength);  // none of them was set
    fieldPosition += fieldLength;
    fieldLength = 0;
    ShowKeyFieldSummary();
}

void COrdelinDlg::OnRemoveKeyField() {
    const int selection = SelectedKeyField();
    if (selection == platform::kNoItem) return;
    const KeyField field = keyFields[static_cast<size_t>(selection)];
    fieldPosition = field.position;
    fieldLength = field.length;
    keyBytesDefined -= static_cast<int32_t>(fieldLength);
    keyFields.erase(keyFields.begin() + selection);
    keyFieldList.DeleteString(selection);
    // Fields never overlap and every byte of a listed field is marked, so toggling clears
    // exactly this field's bytes.
    ToggleBytes(fieldPosition, fieldLength);
    fieldPosition += fieldLength;
    fieldLength = 0;
    ShowKeyFieldSummary();
}

void COrdelinDlg::OnFieldUp() {
    const int selection = SelectedKeyField();
    if (selection == platform::kNoItem || selection == 0) return;
    const auto at = static_cast<size_t>(selection);
    std::swap(keyFields[at - 1], keyFields[at]);
    keyFieldList.DeleteString(selection);
    keyFieldList.SetCurSel(
        keyFieldList.InsertString(selection - 1, FormatKeyField(keyFields[at - 1])));
    UpdateControlStates();
}

void COrdelinDlg::OnFieldDown() {
    const int selection = SelectedKeyField();
    if (selection == platform::kNoItem || static_cast<size_t>(selection) + 1 >= keyFields.size()) {
        return;
    }
    const auto at = static_cast<size_t>(selection);
    std::swap(keyFields[at], keyFields[at + 1]);
    keyFieldList.DeleteString(selection);
    keyFieldList.SetCurSel(
        keyFieldList.InsertString(selection + 1, FormatKeyField(keyFields[at + 1])));
    UpdateControlStates();
}

void COrdelinDlg::OnKeyFieldSelChange() {
    const int selection = SelectedKeyField();
    if (selection != platform::kNoItem) {
        const KeyField& field = keyFields[static_cast<size_t>(selection)];
        fieldPositionEdit.SetWindowText(std::to_string(field.position));
        fieldLengthEdit.SetWindowText(std::to_string(field.length));
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

    for (size_t i = 1; i < keyFields.size(); ++i) {
        if (uint64_t{keyFields[i - 1].position} + keyFields[i - 1].length !=
            keyFields[i].position) {
            Refuse("Key fields must be contiguous for extended keyed file.", kOutputKeyPosition,
                   false);
            return;
        }
    }
    SetSingleKeyField();
    ShowKeyFieldSummary();
    UpdateControlStates();
}
