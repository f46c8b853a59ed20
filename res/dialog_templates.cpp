// Dialog templates 100 (the about box) and 102 (the main dialog).
#include <array>

#include "res/resources.h"

namespace res {
namespace {

using K = ControlKind;
using namespace style;

constexpr uint32_t kEdit = kTabStop | kBorder | kAutoHScroll;
constexpr uint32_t kReadOnlyEdit = kEdit | kReadOnly;
constexpr uint32_t kNumberEdit = kEdit | kDigitsOnly | kAlignRight;
constexpr uint32_t kLabel = kAlignRight;

constexpr std::array kAboutControls{
    ControlTemplate{kStaticId, K::Icon, "128", {11, 17, 20, 20}, 0},
    ControlTemplate{kStaticId, K::Text, "Ordelin Version 1.0", {40, 10, 119, 8}, kNoPrefix},
    ControlTemplate{kAboutOk, K::PushButton, "OK", {178, 7, 50, 14}, kDefault | kTabStop | kGroup},
};

constexpr std::array kMainControls{
    // The controls the dialog's logic uses, in tab order.
    ControlTemplate{kOutputFile, K::Edit, "", {225, 7, 56, 12}, kEdit},
    ControlTemplate{
        kOutputDirectory, K::ComboBox, "", {225, 21, 35, 179}, kDropDown | kVScroll | kTabStop},
    ControlTemplate{kOutputRecordSize, K::Edit, "", {225, 37, 24, 12}, kEdit},
    ControlTemplate{kOutputKeySize, K::Edit, "", {225, 53, 24, 12}, kEdit},
    ControlTemplate{kFieldPosition, K::Edit, "", {45, 114, 26, 12}, kNumberEdit},
    ControlTemplate{kFieldLength, K::Edit, "", {45, 135, 26, 12}, kNumberEdit},
    ControlTemplate{kAddKeyField, K::PushButton, "Add Key Field", {87, 113, 66, 14}, kTabStop},
    ControlTemplate{kFromKey, K::Edit, "", {61, 191, 94, 12}, kEdit},
    ControlTemplate{kToKey, K::Edit, "", {61, 210, 94, 12}, kEdit},
    ControlTemplate{kUseKeyTree, K::RadioButton, "Use Key Tree", {191, 191, 56, 12}, kGroup},
    ControlTemplate{kUseRecordNumber, K::RadioButton, "Use Record #", {191, 211, 56, 12}, 0},
    ControlTemplate{kBuildFile,
                    K::PushButton,
                    "Build File",
                    {269, 186, 50, 14},
                    kDefault | kTabStop | kDisabled},
    ControlTemplate{kClose, K::PushButton, "Close", {269, 210, 50, 14}, kTabStop},
    ControlTemplate{kKeyFieldList,
                    K::ListBox,
                    "",
                    {175, 106, 56, 50},
                    kNotify | kUseTabStops | kVScroll | kBorder | kNoIntegralHeight | kTabStop},
    ControlTemplate{kKeyFieldSummary, K::Text, "Key Fields", {165, 162, 162, 9}, 0},
    ControlTemplate{kListCaption, K::Text, "static", {175, 87, 137, 16}, 0},
    ControlTemplate{kRemoveKeyField,
                    K::PushButton,
                    "Remove Key Field",
                    {87, 134, 66, 14},
                    kTabStop | kDisabled},
    ControlTemplate{kFieldUp, K::PushButton, "Up", {249, 114, 24, 14}, kTabStop | kDisabled},
    ControlTemplate{kFieldDown, K::PushButton, "Down", {249, 135, 24, 14}, kTabStop | kDisabled},
    ControlTemplate{kInputFile, K::Edit, "", {57, 7, 56, 12}, kReadOnlyEdit},
    ControlTemplate{kInputDirectory, K::Edit, "", {57, 22, 24, 12}, kReadOnlyEdit},
    ControlTemplate{kInputRecordSize, K::Edit, "", {57, 37, 24, 12}, kReadOnlyEdit},
    ControlTemplate{kInputKeySize, K::Edit, "", {57, 53, 24, 12}, kReadOnlyEdit},
    ControlTemplate{kInputKeyPosition, K::Edit, "", {57, 69, 24, 12}, kReadOnlyEdit},
    ControlTemplate{kOutputKeyPosition, K::Edit, "", {225, 69, 24, 12}, kEdit},
    ControlTemplate{kProgress, K::ProgressBar, "", {31, 235, 273, 14}, kBorder | kHidden},

    // Labels of the input column.
    ControlTemplate{kInputFileLabel, K::Text, "Input File:", {7, 9, 45, 8}, kLabel},
    ControlTemplate{kInputDirectoryLabel, K::Text, "Dir:", {7, 23, 45, 8}, kLabel},
    ControlTemplate{kInputRecordSizeLabel, K::Text, "Record Size:", {7, 38, 45, 8}, kLabel},
    ControlTemplate{kInputKeySizeLabel, K::Text, "Key Size:", {7, 53, 45, 8}, kLabel},
    ControlTemplate{kInputKeyPositionLabel, K::Text, "Key Pos:", {7, 69, 45, 8}, kLabel},
    // Labels of the output column.
    ControlTemplate{kOutputFileLabel, K::Text, "Output File:", {175, 9, 45, 8}, kLabel},
    ControlTemplate{kOutputDirectoryLabel, K::Text, "Dir:", {175, 23, 45, 8}, kLabel},
    ControlTemplate{kOutputRecordSizeLabel, K::Text, "Record Size:", {175, 38, 45, 8}, kLabel},
    ControlTemplate{kOutputKeySizeLabel, K::Text, "Key Size:", {175, 53, 45, 8}, kLabel},
    ControlTemplate{kOutputKeyPositionLabel, K::Text, "Key Pos:", {175, 69, 45, 8}, kLabel},
    // Unnumbered labels and the frames.
    ControlTemplate{kStaticId, K::Text, "Position", {15, 118, 26, 9}, 0},
    ControlTemplate{kStaticId, K::Text, "Length", {15, 135, 25, 9}, 0},
    ControlTemplate{kStaticId, K::Text, "From Key:", {21, 194, 34, 11}, 0},
    ControlTemplate{kStaticId, K::Text, "To Key:", {21, 210, 35, 11}, 0},
    ControlTemplate{kStaticId, K::GroupBox, "Key Field Information", {7, 102, 153, 57}, 0},
    ControlTemplate{kStaticId, K::GroupBox, "Field Order", {237, 103, 47, 53}, 0},
    ControlTemplate{kStaticId, K::GroupBox, "Range of Keys to be built", {13, 178, 153, 52}, 0},
    ControlTemplate{kStaticId, K::GroupBox, "Input order", {183, 178, 71, 52}, 0},
};

constexpr uint32_t kModalDialog =
    frame::kPopup | frame::kCaption | frame::kSystemMenu | frame::kModalFrame;

const std::array kTemplates{
    DialogTemplate{kAboutDialog, "About Ordelin", 235, 55, kModalDialog, "MS Sans Serif", 8,
                   kAboutControls},
    DialogTemplate{kMainDialog, "Ordelin", 336, 260,
                   kModalDialog | frame::kVisible | frame::kAppWindow, "MS Sans Serif", 8,
                   kMainControls},
};

}  // namespace

const ControlTemplate* DialogTemplate::FindControl(int controlId) const {
    if (controlId == kStaticId) return nullptr;
    for (const ControlTemplate& c : controls) {
        if (c.id == controlId) return &c;
    }
    return nullptr;
}

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

}  // namespace res
