// COrdelinDlg: construction, data exchange, initialisation, the enabling rules, the key range
// placeholders, the output directory list and the window's own handlers. The key field editor's
// handlers are in key_field_editor.cpp.
#include "ui/ordelin_dlg.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "builder/build_run.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/text_case.h"
#include "res/resources.h"

using platform::DialogEvent;
using platform::DialogMessage;

namespace {

// The directory table never holds more entries than this; a client that keeps answering past it
// does not hold the dialog in a loop.
constexpr int32_t kMaxDirectoryEntries = 65536;

}  // namespace

COrdelinDlg::COrdelinDlg(platform::CDialog* /*parent*/) : CDialog(res::kMainDialog) {
    appIcon = res::FindIcon(res::kAppIcon) ? res::kAppIcon : 0;
}

COrdelinDlg::~COrdelinDlg() = default;

void COrdelinDlg::SetInputFile(CDornApi& dornApi, std::string fileName, std::string directoryName) {
    client = &dornApi;
    inputFileName = platform::UpperCase(fileName);
    inputDirectory = platform::UpperCase(directoryName);
}

const COrdelinDlg::MessageMap& COrdelinDlg::GetMessageMap() const {
    using D = COrdelinDlg;
    using E = DialogEvent;
    static const MessageMap map{
        Entry<D>(E::SysCommand, platform::kAnyControl, &D::OnSysCommand),
        Entry<D>(E::Paint, platform::kAnyControl, &D::OnPaint),
        Entry<D>(E::QueryDragIcon, platform::kAnyControl, &D::OnQueryDragIcon),
        Entry<D>(E::Clicked, kAddKeyField, &D::OnAddKeyField),
        Entry<D>(E::Clicked, kFieldDown, &D::OnFieldDown),
        Entry<D>(E::Clicked, kRemoveKeyField, &D::OnRemoveKeyField),
        Entry<D>(E::Clicked, kFieldUp, &D::OnFieldUp),
        Entry<D>(E::SelChange, kKeyFieldList, &D::OnKeyFieldSelChange),
        Entry<D>(E::SetFocus, kFromKey, &D::OnFromKeySetFocus),
        Entry<D>(E::KillFocus, kFromKey, &D::OnFromKeyKillFocus),
        Entry<D>(E::SetFocus, kToKey, &D::OnToKeySetFocus),
        Entry<D>(E::KillFocus, kToKey, &D::OnToKeyKillFocus),
        Entry<D>(E::Clicked, kBuildFile, &D::OnBuildFile),
        Entry<D>(E::CtlColor, platform::kAnyControl, &D::OnCtlColor),
        Entry<D>(E::KillFocus, kOutputFile, &D::OnOutputFileKillFocus),
        Entry<D>(E::KillFocus, kOutputKeySize, &D::OnOutputKeySizeKillFocus),
        Entry<D>(E::SetFocus, kOutputKeySize, &D::OnKeyEditSetFocus),
        Entry<D>(E::SelChange, kOutputDirectory, &D::OnOutputDirSelChange),
        Entry<D>(E::DropDown, kOutputDirectory, &D::OnOutputDirDropDown),
        Entry<D>(E::KillFocus, kOutputRecordSize, &D::OnOutputRecordSizeKillFocus),
        Entry<D>(E::Clicked, kUseKeyTree, &D::OnUseKeyTree),
        Entry<D>(E::Clicked, kUseRecordNumber, &D::OnUseRecordNumber),
        Entry<D>(E::KillFocus, kOutputKeyPosition, &D::OnOutputKeyPositionKillFocus),
        Entry<D>(E::SetFocus, kOutputKeyPosition, &D::OnKeyEditSetFocus),
    };
    return map;
}

void COrdelinDlg::DoDataExchange(platform::DataExchange& dx) {
    CDialog::DoDataExchange(dx);
    using platform::DDX_Control;
    DDX_Control(dx, kOutputFile, outputFileEdit);
    DDX_Control(dx, kOutputDirectory, outputDirectoryCombo);
    DDX_Control(dx, kOutputRecordSize, outputRecordSizeEdit);
    DDX_Control(dx, kOutputKeySize, outputKeySizeEdit);
    DDX_Control(dx, kFieldPosition, fieldPositionEdit);
    DDX_Control(dx, kFieldLength, fieldLengthEdit);
    DDX_Control(dx, kAddKeyField, addKeyFieldButton);
    DDX_Control(dx, kFromKey, fromKeyEdit);
    DDX_Control(dx, kToKey, toKeyEdit);
    DDX_Control(dx, kUseKeyTree, useKeyTreeButton);
    DDX_Control(dx, kUseRecordNumber, useRecordNumberButton);
    DDX_Control(dx, kBuildFile, buildFileButton);
    DDX_Control(dx, kKeyFieldList, keyFieldList);
    DDX_Control(dx, kKeyFieldSummary, keyFieldSummary);
    DDX_Control(dx, kListCaption, listCaption);
    DDX_Control(dx, kRemoveKeyField, removeKeyFieldButton);
    DDX_Control(dx, kFieldUp, fieldUpButton);
    DDX_Control(dx, kFieldDown, fieldDownButton);
    DDX_Control(dx, kInputFile, inputFileEdit);
    DDX_Control(dx, kInputDirectory, inputDirectoryEdit);
    DDX_Control(dx, kInputRecordSize, inputRecordSizeEdit);
    DDX_Control(dx, kInputKeySize, inputKeySizeEdit);
    DDX_Control(dx, kInputKeyPosition, inputKeyPositionEdit);
    DDX_Control(dx, kOutputKeyPosition, outputKeyPositionEdit);
    DDX_Control(dx, kProgress, progressBar);
    // The declared ranges; the exchange only ever runs from the members to the controls, so the
    // handlers read and check these edits themselves.
    platform::DDX_Text(dx, kFieldPosition, fieldPosition);
    platform::DDV_MinMaxUInt(dx, fieldPosition, 0, 7999);
    platform::DDX_Text(dx, kFieldLength, fieldLength);
    platform::DDV_MinMaxUInt(dx, fieldLength, 1, 64);
    platform::DDX_Text(dx, kOutputKeySize, outputKeySize);
    platform::DDV_MinMaxUInt(dx, outputKeySize, 1, 64);
    platform::DDX_Text(dx, kOutputRecordSize, outputRecordSize);
    platform::DDV_MinMaxUInt(dx, outputRecordSize, 0, 8000);
}

bool COrdelinDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    platform::DialogView* view = View();

    if (view->HasSystemMenu()) {
        const std::string_view aboutText = res::LoadString(res::kAboutMenuText);
        if (!aboutText.empty()) {
            view->AppendSystemMenuSeparator();
            view->AppendSystemMenuItem(kIdmAboutBox, std::string(aboutText));
        }
        const std::string_view layoutText = res::LoadString(res::kRecordLayoutMenuText);
        if (recordLayoutHandler && !layoutText.empty()) {
            if (aboutText.empty()) view->AppendSystemMenuSeparator();
            view->AppendSystemMenuItem(kIdmRecordLayout, std::string(layoutText));
        }
    }
    view->SetIcon(appIcon, true);
    view->SetIcon(appIcon, false);

    const std::string inputNames = inputFileName + " on " + inputDirectory;
    const bool found =
        client != nullptr &&
        client->GetFileDescriptor(inputFileName.c_str(), inputDirectory.c_str(), inputDescriptor);
    const uint8_t type = inputDescriptor.fileType;
    if (!found || (type != 1 && type != 2 && type != 4 && type != 36)) {
        AppMessageBox(inputNames + " is not a valid data file", platform::MB_ICONSTOP);
        EndDialog(platform::kIdCancel);
        return false;
    }
    if (inputDescriptor.recordSize == 0) {
        AppMessageBox(inputNames + " is a key-only file", platform::MB_ICONSTOP);
        EndDialog(platform::kIdCancel);
        return false;
    }
    // An extended keyed file whose key does not lie inside its record cannot be described by a
    // key field; it is refused as the damaged file it is.
    if (type == 36 &&
        (inputDescriptor.keyPosition < 0 ||
         inputDescriptor.keyPosition + inputDescriptor.keySize > inputDescriptor.recordSize)) {
        AppMessageBox(inputNames + " is not a valid data file", platform::MB_ICONSTOP);
        EndDialog(platform::kIdCancel);
        return false;
    }

    keyFieldList.SetTabStop(30);
    outputFileName = inputFileName;
    outputDirectory.clear();
    inputFileEdit.SetWindowText(inputFileName);
    outputFileEdit.SetWindowText(inputFileName);
    inputDirectoryEdit.SetWindowText(inputDirectory);

    const std::string recordSizeText = std::to_string(inputDescriptor.recordSize);
    inputRecordSizeEdit.SetWindowText(recordSizeText);
    outputRecordSizeEdit.SetWindowText(recordSizeText);
    outputRecordSize = inputRecordSize = inputDescriptor.recordSize;

    if (type == 4 || type == 36) {
        const std::string keySizeText = std::to_string(inputDescriptor.keySize);
        inputKeySizeEdit.SetWindowText(keySizeText);
        outputKeySizeEdit.SetWindowText(keySizeText);
        outputKeySize = inputKeySize = inputDescriptor.keySize;
        useKeyTreeButton.SetCheck(true);
    } else {
        inputKeySizeEdit.SetWindowText("");
        outputKeySizeEdit.SetWindowText("");
        outputKeySize = inputKeySize = 0;
        useKeyTreeButton.EnableWindow(false);
        useRecordNumberButton.EnableWindow(false);
        useRecordNumberButton.SetCheck(true);
        fromKeyEdit.EnableWindow(false);
        toKeyEdit.EnableWindow(false);
    }

    listCaption.SetWindowText("The first byte of the record is position 0\nPosition    Length");

    fromKeyEdit.LimitText(kMaxKeyBoundLength);
    toKeyEdit.LimitText(kMaxKeyBoundLength);
    fromKeyPlaceholder = "< First Key >";
    fromKeyEdit.SetWindowText(fromKeyPlaceholder);
    fromKeyPlaceholderShown = true;
    toKeyPlaceholder = "< Last Key >";
    toKeyEdit.SetWindowText(toKeyPlaceholder);
    toKeyPlaceholderShown = true;

    occupancyMap.fill(0);
    keyBytesDefined = 0;

    if (type == 36) {
        outputKeyPosition = static_cast<uint32_t>(inputDescriptor.keyPosition);
        inputKeyPosition = inputDescriptor.keyPosition;
        const std::string positionText = std::to_string(inputDescriptor.keyPosition);
        inputKeyPositionEdit.SetWindowText(positionText);
        outputKeyPositionEdit.SetWindowText(positionText);
        SetSingleKeyField();
    } else {
        extendedOutput = false;
    }
    ShowKeyFieldSummary();
    return true;
}

// --- Enabling rules, single field, summary ------------------------------------------------------

bool COrdelinDlg::KeyComplete() const {
    return keyBytesDefined != 0 && static_cast<uint32_t>(keyBytesDefined) == outputKeySize;
}

void COrdelinDlg::UpdateControlStates() {
    buildFileButton.EnableWindow(false);
    if (KeyComplete()) {
        if (!outputFileName.empty() && !outputDirectory.empty()) {
            buildFileButton.EnableWindow(true);
            buildFileButton.SetFocus();
        }
        addKeyFieldButton.EnableWindow(false);
    } else {
        addKeyFieldButton.EnableWindow(true);
    }
    const int selection = keyFieldList.GetCurSel();
    const int count = keyFieldList.GetCount();
    const bool selected = selection != platform::kNoItem;
    removeKeyFieldButton.EnableWindow(selected);
    fieldUpButton.EnableWindow(selected && selection > 0);
    fieldDownButton.EnableWindow(selected && selection < count - 1);
}

void COrdelinDlg::SetSingleKeyField() {
    keyFields = {{outputKeyPosition, outputKeySize}};
    keyFieldList.ResetContent();
    keyFieldList.AddString(FormatKeyField(keyFields.front()));
    keyFieldList.SetCurSel(0);

    fieldPosition = outputKeyPosition;
    occupancyMap.fill(0);
    fieldLength = outputKeySize;
    ToggleBytes(fieldPosition, fieldLength);
    fieldPosition += fieldLength;
    fieldLength = 0;

    keyBytesDefined = static_cast<int32_t>(outputKeySize);
    extendedOutput = true;
}

void COrdelinDlg::ShowKeyFieldSummary() {
    keyFieldSummary.SetWindowText("Key Fields: (" + std::to_string(keyBytesDefined) + " of " +
                                  std::to_string(outputKeySize) + " bytes currently defined)");
    fieldLengthEdit.SetWindowText(
        std::to_string(outputKeySize - static_cast<uint32_t>(keyBytesDefined)));
    UpdateControlStates();
}

bool COrdelinDlg::IsByteOccupied(uint64_t n) const {
    if (n >= kOccupancyBits) return false;
    return (occupancyMap[n / 8] & (1u << (n % 8))) != 0;
}

void COrdelinDlg::ToggleBytes(uint64_t first, uint64_t count) {
    for (uint64_t n = first; n < first + count && n < kOccupancyBits; ++n) {
        occupancyMap[n / 8] ^= static_cast<uint8_t>(1u << (n % 8));
    }
}

void COrdelinDlg::Refuse(const std::string& text, int focusControl, bool disableBuild) {
    if (disableBuild) buildFileButton.EnableWindow(false);
    AppMessageBox(text, platform::MB_OK);
    if (platform::DialogView* view = View()) view->SetFocus(focusControl);
}

// --- The build ----------------------------------------------------------------------------------

builder::BuildRequest COrdelinDlg::MakeBuildRequest() const {
    builder::BuildRequest request;
    request.inputFileName = inputFileName;
    request.inputDirectory = inputDirectory;
    request.inputFileType = inputDescriptor.fileType;
    request.inputRecordSize = inputRecordSize;
    request.inputKeySize = inputKeySize;
    request.outputFileName = outputFileName;
    request.outputDirectory = outputDirectory;
    request.outputRecordSize = outputRecordSize;
    request.outputKeySize = outputKeySize;
    request.extendedOutput = extendedOutput;
    request.outputKeyPosition = outputKeyPosition;
    request.keyFields = keyFields;
    request.keyOrder = useKeyTreeButton.GetCheck();
    // An edit that is empty or shows exactly its placeholder (typed by hand or not) is no bound.
    const std::string from = fromKeyEdit.GetWindowText();
    if (!from.empty() && from != fromKeyPlaceholder) request.fromKey = from;
    const std::string to = toKeyEdit.GetWindowText();
    if (!to.empty() && to != toKeyPlaceholder) request.toKey = to;
    return request;
}

void COrdelinDlg::OnBuildFile() {
    if (client == nullptr) return;  // a dialog without its client never got past initialisation
    builder::BuildRun(*client, MakeBuildRequest(), *this, listFile, lastBuild).Run();
}

builder::BuildSummary COrdelinDlg::DryRun() {
    if (client == nullptr) return lastBuild;
    return builder::BuildRun(*client, MakeBuildRequest(), *this, listFile, lastBuild).DryRun();
}

int COrdelinDlg::ShowMessage(const std::string& text, unsigned flags) {
    return AppMessageBox(text, flags);
}

void COrdelinDlg::BeginWaitCursor() {
    if (platform::DialogView* view = View()) view->BeginWaitCursor();
}

void COrdelinDlg::EndWaitCursor() {
    if (platform::DialogView* view = View()) view->EndWaitCursor();
}

void COrdelinDlg::ShowProgress(bool show) {
    progressBar.ShowWindow(show);
}

void COrdelinDlg::RepaintNow() {
    if (platform::DialogView* view = View()) view->Repaint();
}

void COrdelinDlg::SetProgressRange(int upper) {
    progressBar.SetRange(0, upper);
}

void COrdelinDlg::SetProgressPosition(int position) {
    progressBar.SetPos(position);
}

void COrdelinDlg::OpenListFile(const std::string& name) {
    platform::ShellOpen(name, platform::SW_SHOWNORMAL);
}

// --- Key range placeholders ----------------------------------------------------------------------

void COrdelinDlg::OnFromKeySetFocus() {
    if (fromKeyPlaceholderShown) {
        fromKeyEdit.SetWindowText("");
        fromKeyPlaceholderShown = false;
    }
}

void COrdelinDlg::OnFromKeyKillFocus() {
    std::string text = fromKeyEdit.GetWindowText();
    if (text.empty()) {
        fromKeyEdit.SetWindowText(fromKeyPlaceholder);
        text = fromKeyPlaceholder;
    }
    fromKeyPlaceholderShown = text == fromKeyPlaceholder;
}

void COrdelinDlg::OnToKeySetFocus() {
    if (toKeyPlaceholderShown) {
        toKeyEdit.SetWindowText("");
        toKeyPlaceholderShown = false;
    }
}

void COrdelinDlg::OnToKeyKillFocus() {
    std::string text = toKeyEdit.GetWindowText();
    if (text.empty()) {
        toKeyEdit.SetWindowText(toKeyPlaceholder);
        text = toKeyPlaceholder;
    }
    toKeyPlaceholderShown = text == toKeyPlaceholder;
}

void COrdelinDlg::OnCtlColor(DialogMessage& message) {
    if (message.controlId == kFromKey) {
        message.textBackground = fromKeyPlaceholderShown ? kPlaceholderBackground : kWhite;
    } else if (message.controlId == kToKey) {
        message.textBackground = toKeyPlaceholderShown ? kPlaceholderBackground : kWhite;
    }
}

// --- Output file, directory and record size -----------------------------------------------------

void COrdelinDlg::OnOutputFileKillFocus() {
    outputFileName = outputFileEdit.GetWindowText();
}

void COrdelinDlg::OnOutputDirDropDown() {
    outputDirectoryCombo.ResetContent();
    for (int32_t i = 0; i < kMaxDirectoryEntries && client != nullptr &&
                        client->GetDirectoryEntry(i, directoryEntry);
         ++i) {
        const std::string name(directoryEntry.name,
                               strnlen(directoryEntry.name, sizeof directoryEntry.name));
        if (name.empty()) continue;
        if (outputFileName != inputFileName || name != inputDirectory) {
            outputDirectoryCombo.AddString(name);
        }
    }
}

void COrdelinDlg::OnOutputDirSelChange() {
    outputDirectory = outputDirectoryCombo.GetSelectedText();
    UpdateControlStates();
}

void COrdelinDlg::OnOutputRecordSizeKillFocus() {
    const int32_t value = platform::ParseLeadingInt(outputRecordSizeEdit.GetWindowText());
    if (value < 0) {
        outputRecordSizeRefused = true;
        Refuse("Output record size cannot be negative.", kOutputRecordSize, true);
        return;
    }
    // No record of the file system is larger; a build could not hold one.
    if (static_cast<uint32_t>(value) > kMaxRecordSize) {
        outputRecordSizeRefused = true;
        Refuse("Output record size cannot be greater than " + std::to_string(kMaxRecordSize) + ".",
               kOutputRecordSize, true);
        return;
    }
    outputRecordSize = static_cast<uint32_t>(value);
    if (outputRecordSizeRefused) {
        outputRecordSizeRefused = false;
        UpdateControlStates();
    }
}

void COrdelinDlg::OnUseKeyTree() {
    fromKeyEdit.EnableWindow(true);
    toKeyEdit.EnableWindow(true);
}

void COrdelinDlg::OnUseRecordNumber() {
    fromKeyEdit.EnableWindow(false);
    toKeyEdit.EnableWindow(false);
}

void COrdelinDlg::OnKeyEditSetFocus() {
    buildFileButton.EnableWindow(false);
}

// --- The window ----------------------------------------------------------------------------------

void COrdelinDlg::OnSysCommand(DialogMessage& message) {
    if (((message.command & 0xFFFF) & 0xFFF0) == kIdmRecordLayout && recordLayoutHandler) {
        recordLayoutHandler();
        return;
    }
    if (((message.command & 0xFFFF) & 0xFFF0) == kIdmAboutBox) {
        if (aboutHandler) {
            aboutHandler();
        } else {
            platform::CDialog about(res::kAboutDialog);
            about.DoModal();
        }
        return;
    }
    DefaultSysCommand(message.command, message.param);
}

void COrdelinDlg::OnPaint() {
    platform::DialogView* view = View();
    if (view == nullptr || !view->IsMinimized()) return;  // the host paints the controls
    view->EraseIconBackground();
    const platform::Size area = view->ClientSize();
    const platform::Size icon = view->SystemIconSize();
    view->DrawIcon((area.width - icon.width + 1) / 2, (area.height - icon.height + 1) / 2, appIcon);
}

void COrdelinDlg::OnQueryDragIcon(DialogMessage& message) {
    message.icon = appIcon;
}
