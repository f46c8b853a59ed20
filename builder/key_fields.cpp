#include "builder/key_fields.h"

#include <algorithm>
#include <cstring>

#include "platform/dialog.h"

namespace builder {

std::optional<std::string> ReadKeyFields(COrdelinDlg& dialog) {
    const int count = dialog.keyFieldList.GetCount();
    if (count > COrdelinDlg::kMaxKeyFields) {
        return "The key field list holds " + std::to_string(count) + " fields; a key has at most " +
               std::to_string(COrdelinDlg::kMaxKeyFields) + ".";
    }
    dialog.keyFieldCount = count;
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const std::string item = dialog.keyFieldList.GetText(i);
        const size_t tab = item.find('\t');
        const int32_t position = platform::ParseLeadingInt(item.substr(0, tab));
        const int32_t length = platform::ParseLeadingInt(
            tab == std::string::npos ? std::string() : item.substr(tab + 1));
        dialog.keyFieldPositions[i] = position;
        dialog.keyFieldLengths[i] = length;
        if (position < 0 || length < 0 ||
            int64_t{position} + length > static_cast<int64_t>(dialog.recordBuffer.size())) {
            return "Key field " + std::to_string(i + 1) + " (position " + std::to_string(position) +
                   ", length " + std::to_string(length) + ") lies outside the record.";
        }
        total += length;
    }
    if (total > static_cast<int64_t>(dialog.builtKey.size())) {
        return "The key fields add up to " + std::to_string(total) + " bytes; a key has at most " +
               std::to_string(dialog.builtKey.size()) + ".";
    }
    return std::nullopt;
}

std::optional<std::string> CheckBuildLimits(const COrdelinDlg& dialog) {
    const size_t record = dialog.recordBuffer.size();
    if (dialog.inputRecordSize == 0 || dialog.inputRecordSize > record) {
        return "Input record size " + std::to_string(dialog.inputRecordSize) +
               " is not between 1 and " + std::to_string(record) + ".";
    }
    if (dialog.outputRecordSize > record) {
        return "Output record size cannot be greater than " + std::to_string(record) + ".";
    }
    if (dialog.inputKeySize > dialog.keyBuffer.size()) {
        return "Input key size cannot be greater than " + std::to_string(dialog.keyBuffer.size()) +
               ".";
    }
    if (dialog.outputKeySize > dialog.builtKey.size()) {
        return "Output key size cannot be greater than " + std::to_string(dialog.builtKey.size()) +
               ".";
    }
    return std::nullopt;
}

void AssembleKey(COrdelinDlg& dialog) {
    uint8_t* key = dialog.builtKey.data();
    const uint8_t* record = dialog.recordBuffer.data();
    std::memset(key, 0, dialog.builtKey.size());
    size_t at = 0;
    const int count = std::min(dialog.keyFieldCount, COrdelinDlg::kMaxKeyFields);
    for (int i = 0; i < count; ++i) {
        const auto position = static_cast<size_t>(dialog.keyFieldPositions[i]);
        const auto length = static_cast<size_t>(dialog.keyFieldLengths[i]);
        if (dialog.keyFieldPositions[i] < 0 || dialog.keyFieldLengths[i] < 0 ||
            position + length > dialog.recordBuffer.size() ||
            at + length > dialog.builtKey.size()) {
            return;
        }
        std::memcpy(key + at, record + position, length);
        at += length;
    }
}

}  // namespace builder
