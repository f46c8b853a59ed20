// The program's resources as data: dialog templates, the string table and the icon. A front end
// builds its windows from the templates; the dialog logic names controls by the ids here.
// Places and sizes are in dialog units (horizontal: a quarter of the dialog font's average
// character width; vertical: an eighth of its height).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace res {

// --- Ids -----------------------------------------------------------------------------------------

constexpr int kAboutDialog = 100;
constexpr int kAboutMenuText = 101;  // string
constexpr int kMainDialog = 102;
constexpr int kRecordLayoutMenuText = 103;  // string
constexpr int kAppIcon = 128;

// Controls without an id of their own (labels and frames).
constexpr int kStaticId = -1;

// The controls of the main dialog (template kMainDialog) by their ids: the template places them,
// the dialog's logic names them.
enum MainDialogControl : int {
    kBuildFile = 1,
    kClose = 2,
    kUseKeyTree = 1000,
    kUseRecordNumber = 1001,
    kKeyFieldList = 1002,
    kKeyFieldSummary = 1003,
    kAddKeyField = 1004,
    kFieldPosition = 1005,
    kFieldLength = 1006,
    kListCaption = 1007,
    kFromKey = 1008,
    kToKey = 1009,
    kRemoveKeyField = 1010,
    kFieldUp = 1011,
    kFieldDown = 1012,
    kInputFileLabel = 1013,
    kInputDirectoryLabel = 1014,
    kInputRecordSizeLabel = 1015,
    kInputKeySizeLabel = 1016,
    kInputFile = 1017,
    kInputDirectory = 1018,
    kInputRecordSize = 1019,
    kInputKeySize = 1020,
    kOutputFileLabel = 1021,
    kOutputDirectoryLabel = 1022,
    kOutputRecordSizeLabel = 1023,
    kOutputKeySizeLabel = 1024,
    kOutputFile = 1025,
    kOutputDirectory = 1026,
    kOutputRecordSize = 1027,
    kOutputKeySize = 1028,
    kInputKeyPositionLabel = 1029,
    kInputKeyPosition = 1030,
    kOutputKeyPositionLabel = 1031,
    kOutputKeyPosition = 1032,
    kProgress = 1033,
};

// The controls of the about box (template kAboutDialog).
enum AboutDialogControl : int {
    kAboutOk = 1,
};

// --- Dialog templates ----------------------------------------------------------------------------

enum class ControlKind {
    Edit,
    ComboBox,
    ListBox,
    PushButton,
    RadioButton,  // automatic radio button
    Text,         // static text
    GroupBox,
    Icon,  // static icon; its text is the icon resource id in decimal
    ProgressBar,
};

// Styles, as bits. Every control is visible and enabled unless marked otherwise.
namespace style {
constexpr uint32_t kTabStop = 1u << 0;
constexpr uint32_t kGroup = 1u << 1;  // first control of a group (radio buttons)
constexpr uint32_t kHidden = 1u << 2;
constexpr uint32_t kDisabled = 1u << 3;
constexpr uint32_t kBorder = 1u << 4;
constexpr uint32_t kVScroll = 1u << 5;
constexpr uint32_t kAutoHScroll = 1u << 6;        // edit: scrolls horizontally while typing
constexpr uint32_t kReadOnly = 1u << 7;           // edit
constexpr uint32_t kDigitsOnly = 1u << 8;         // edit
constexpr uint32_t kAlignRight = 1u << 9;         // edit and text
constexpr uint32_t kDefault = 1u << 10;           // push button: the default button
constexpr uint32_t kDropDown = 1u << 11;          // combo box: drop-down list with an edit field
constexpr uint32_t kSorted = 1u << 12;            // list and combo box
constexpr uint32_t kNotify = 1u << 13;            // list box: reports selection changes
constexpr uint32_t kUseTabStops = 1u << 14;       // list box: expands tabs in items
constexpr uint32_t kNoIntegralHeight = 1u << 15;  // list box: height as given
constexpr uint32_t kNoPrefix = 1u << 16;          // text: '&' is shown, not a mnemonic
}  // namespace style

// Window styles of a dialog frame.
namespace frame {
constexpr uint32_t kPopup = 1u << 0;
constexpr uint32_t kCaption = 1u << 1;
constexpr uint32_t kSystemMenu = 1u << 2;
constexpr uint32_t kModalFrame = 1u << 3;
constexpr uint32_t kVisible = 1u << 4;
constexpr uint32_t kAppWindow = 1u << 5;  // shown on the task bar
}  // namespace frame

struct Place {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Place&, const Place&) = default;
};

struct ControlTemplate {
    int id;  // kStaticId for a label or frame
    ControlKind kind;
    std::string_view text;
    Place place;
    uint32_t styles;
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int width;
    int height;
    uint32_t frameStyles;
    std::string_view fontName;
    int fontPoints;
    std::span<const ControlTemplate> controls;  // in tab order

    // The control with `controlId`, or null (never for kStaticId).
    const ControlTemplate* FindControl(int controlId) const;
};

// The template with `id`, or null.
const DialogTemplate* FindDialogTemplate(int id);

// --- Strings -------------------------------------------------------------------------------------

// The string with `id`; empty when the table has none.
std::string_view LoadString(int id);

// --- Icons ---------------------------------------------------------------------------------------

struct IconResource {
    int id;
    int width;  // of the PNG, in pixels
    int height;
    std::span<const uint8_t> png;
    std::string_view svg;  // the scalable source
};

// The icon with `id`, or null.
const IconResource* FindIcon(int id);

}  // namespace res
