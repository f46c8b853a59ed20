// COrdelinDlg: the utility's one window. It shows the input data file, takes the description of
// the output file (name, directory, record size, key size, key position), lets the user put the
// output key together from key fields, and keeps the state a build is made from.
//
// Validation happens when a control loses the focus or a button is pressed. Button states are
// never stored: UpdateControlStates() recomputes them from the state record.
//
// Build File makes a build request of the state record and the key range and order controls
// (MakeBuildRequest) and hands it to the build (builder::BuildRun), which reports through the
// dialog as its listener: message boxes, the wait cursor, the progress bar, the list file.
//
// Limits the dialog holds so that no typed value can make it, or a build, reach past a buffer:
// records of at most kMaxRecordSize bytes (the largest the file system allows), an output key of
// at most kMaxKeySize bytes, at most kMaxKeyFields key fields, key bounds of at most
// kMaxKeyBoundLength characters.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "builder/build_listener.h"
#include "builder/build_request.h"
#include "builder/build_summary.h"
#include "builder/list_file.h"
#include "fsclient/dornapi.h"
#include "platform/dialog.h"
#include "res/resources.h"

class COrdelinDlg : public platform::CDialog, private builder::BuildListener {
  public:
    static constexpr uint32_t kMaxRecordSize = builder::kMaxRecordSize;
    static constexpr uint32_t kMaxKeySize = builder::kMaxKeySize;
    static constexpr int kMaxKeyFields = builder::kMaxKeyFields;
    static constexpr size_t kMaxKeyBoundLength = builder::kMaxKeyBoundLength;
    // Key size above which an output key must lie inside the record.
    static constexpr uint32_t kMaxKeySizeWithoutPosition = builder::kMaxKeySizeWithoutPosition;
    static constexpr const auto& kKeyPositionRequiredText = builder::kKeyPositionRequiredText;
    // Record bytes the occupancy map can mark: any record, and a key that starts at its end.
    static constexpr uint32_t kOccupancyBits = kMaxRecordSize + kMaxKeySize;

    // Control ids of template 102 (res/resources.h): D::kBuildFile and so on.
    using ControlId = res::MainDialogControl;
    using enum res::MainDialogControl;
    // The system menu's about command.
    static constexpr unsigned kIdmAboutBox = 16;
    // The system menu's command of the record layout window (32 to 47, as about is 16 to 31).
    static constexpr unsigned kIdmRecordLayout = 32;

    static constexpr platform::Rgb kPlaceholderBackground{250, 247, 131};
    static constexpr platform::Rgb kWhite{255, 255, 255};

    // Template 102; the five sizes zeroed, no key fields, all texts empty, no list file open,
    // appIcon loaded. The parent window plays no part on this platform.
    explicit COrdelinDlg(platform::CDialog* parent = nullptr);
    ~COrdelinDlg() override;

    // Hands over the client (not owned: it must outlive the dialog's modal run) and the input
    // file's name and directory, both stored upper-cased. Call before the modal run.
    void SetInputFile(CDornApi& dornApi, std::string fileName, std::string directoryName);

    // What the system menu's about command runs; by default a modal about box (template 100).
    void SetAboutHandler(std::function<void()> handler) { aboutHandler = std::move(handler); }
    // What the system menu's record layout command runs (a window of the front end's, beside
    // the dialog). Set before the modal run: the menu gets the item only when there is one.
    void SetRecordLayoutHandler(std::function<void()> handler) {
        recordLayoutHandler = std::move(handler);
    }

    // The enabling rules: Build File, Add Key Field, Remove, Up, Down. Gives the focus to Build
    // File whenever it enables it.
    void UpdateControlStates();
    // Makes the key field list the single field (outputKeyPosition, outputKeySize), marks its
    // bytes alone and sets extendedOutput. Neither the summary nor the enabling rules follow.
    void SetSingleKeyField();
    // The summary line and the bytes still to define (length edit), then UpdateControlStates().
    void ShowKeyFieldSummary();

    // --- The build ---
    // The build the dialog's state asks for: the input and output as the state record holds
    // them, the key fields, the key range of the From Key and To Key edits (none for an edit
    // that is empty or shows its placeholder) and the order of the Use Key Tree button.
    builder::BuildRequest MakeBuildRequest() const;
    // Counts what Build File would write, changing no file (the dry run of ordelin-batch).
    // Requires a running dialog with its client. Returns lastBuild.
    builder::BuildSummary DryRun();

    // --- Controls (bound in DoDataExchange) ---
    platform::CEdit outputFileEdit;
    platform::CComboBox outputDirectoryCombo;
    platform::CEdit outputRecordSizeEdit;
    platform::CEdit outputKeySizeEdit;
    platform::CEdit fieldPositionEdit;
    platform::CEdit fieldLengthEdit;
    platform::CButton addKeyFieldButton;
    platform::CEdit fromKeyEdit;
    platform::CEdit toKeyEdit;
    platform::CButton useKeyTreeButton;
    platform::CButton useRecordNumberButton;
    platform::CButton buildFileButton;
    platform::CListBox keyFieldList;
    platform::CStatic keyFieldSummary;
    platform::CStatic listCaption;
    platform::CButton removeKeyFieldButton;
    platform::CButton fieldUpButton;
    platform::CButton fieldDownButton;
    platform::CEdit inputFileEdit;
    platform::CEdit inputDirectoryEdit;
    platform::CEdit inputRecordSizeEdit;
    platform::CEdit inputKeySizeEdit;
    platform::CEdit inputKeyPositionEdit;
    platform::CEdit outputKeyPositionEdit;

    // --- State record (a build request is made of it) ---
    uint32_t fieldPosition = 0;
    uint32_t fieldLength = 0;
    uint32_t outputKeySize = 0;
    uint32_t outputKeyPosition = 0;
    uint32_t outputRecordSize = 0;
    platform::CProgressCtrl progressBar;
    platform::IconHandle appIcon = 0;
    CDornApi* client = nullptr;
    std::string inputFileName;
    std::string inputDirectory;
    std::string outputFileName;
    std::string outputDirectory;
    bool extendedOutput = false;
    DirectoryEntry directoryEntry{};
    uint32_t inputKeySize = 0;
    int32_t inputKeyPosition = 0;
    uint32_t inputRecordSize = 0;
    // The key fields in list order; the key field list shows each as "position<TAB>length".
    std::vector<builder::KeyField> keyFields;
    FileDescriptor inputDescriptor{};
    int32_t keyBytesDefined = 0;
    bool fromKeyPlaceholderShown = false;
    std::string fromKeyPlaceholder;
    bool toKeyPlaceholderShown = false;
    std::string toKeyPlaceholder;
    std::array<uint8_t, (kOccupancyBits + 7) / 8> occupancyMap{};
    // Set while the output record size edit holds a refused size: its refusal disabled Build
    // File, so the size accepted next applies the enabling rules again.
    bool outputRecordSizeRefused = false;
    // The list file of the builds (open only while a build writes it).
    builder::ListFile listFile;
    // What the last build did (counts, records not written, list file).
    builder::BuildSummary lastBuild;

    // Whether record byte n is marked in the occupancy map (false beyond the map).
    bool IsByteOccupied(uint64_t n) const;

  protected:
    const MessageMap& GetMessageMap() const override;
    void DoDataExchange(platform::DataExchange& dx) override;
    bool OnInitDialog() override;

    // --- Message map handlers ---
    void OnSysCommand(platform::DialogMessage& message);
    void OnPaint();
    void OnQueryDragIcon(platform::DialogMessage& message);
    void OnAddKeyField();
    void OnFieldDown();
    void OnRemoveKeyField();
    void OnFieldUp();
    void OnKeyFieldSelChange();
    void OnFromKeySetFocus();
    void OnFromKeyKillFocus();
    void OnToKeySetFocus();
    void OnToKeyKillFocus();
    // The build run of the Build File button: MakeBuildRequest handed to builder::BuildRun.
    void OnBuildFile();
    void OnCtlColor(platform::DialogMessage& message);
    void OnOutputFileKillFocus();
    void OnOutputKeySizeKillFocus();
    void OnKeyEditSetFocus();
    void OnOutputDirSelChange();
    void OnOutputDirDropDown();
    void OnOutputRecordSizeKillFocus();
    void OnUseKeyTree();
    void OnUseRecordNumber();
    void OnOutputKeyPositionKillFocus();

  private:
    // --- builder::BuildListener: the build shown on the dialog's view ---
    int ShowMessage(const std::string& text, unsigned flags) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ShowProgress(bool show) override;
    void RepaintNow() override;
    void SetProgressRange(int upper) override;
    void SetProgressPosition(int position) override;
    void OpenListFile(const std::string& name) override;

    // The key field list's item text: the position in decimal, a tab, the length in decimal.
    static std::string FormatKeyField(const builder::KeyField& field);
    // The selected key field's index in keyFields; kNoItem when none is selected.
    int SelectedKeyField() const;
    // A plain box with an OK button, as every validation message is shown.
    void Refuse(const std::string& text, int focusControl, bool disableBuild);
    // Toggles the occupancy bits of `count` bytes from `first` (bits beyond the map are left).
    void ToggleBytes(uint64_t first, uint64_t count);
    bool KeyComplete() const;

    std::function<void()> aboutHandler;
    std::function<void()> recordLayoutHandler;
};
