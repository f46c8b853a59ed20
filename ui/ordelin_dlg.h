// COrdelinDlg: the utility's one window. It shows the input data file, takes the description of
// the output file (name, directory, record size, key size, key position), lets the user put the
// output key together from key fields, and owns every piece of state that a build reads.
//
// Validation happens when a control loses the focus or a button is pressed. Button states are
// never stored: UpdateControlStates() recomputes them from the state record.
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

#include "fsclient/dornapi.h"
#include "platform/dialog.h"
#include "platform/locked_text_file.h"
#include "ui/build_summary.h"

class COrdelinDlg : public platform::CDialog {
  public:
    static constexpr uint32_t kMaxRecordSize = 65535;
    static constexpr uint32_t kMaxKeySize = 255;
    static constexpr int kMaxKeyFields = 254;
    static constexpr size_t kMaxKeyBoundLength = 255;
    // Key size above which an output key must lie inside the record.
    static constexpr uint32_t kMaxKeySizeWithoutPosition = 64;
    static constexpr char kKeyPositionRequiredText[] =
        "Key position is required for key size > 64.";
    // Record bytes the occupancy map can mark: any record, and a key that starts at its end.
    static constexpr uint32_t kOccupancyBits = kMaxRecordSize + kMaxKeySize;

    // Control ids of template 102.
    enum ControlId : int {
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
        kInputFile = 1017,
        kInputDirectory = 1018,
        kInputRecordSize = 1019,
        kInputKeySize = 1020,
        kOutputFile = 1025,
        kOutputDirectory = 1026,
        kOutputRecordSize = 1027,
        kOutputKeySize = 1028,
        kInputKeyPosition = 1030,
        kOutputKeyPosition = 1032,
        kProgress = 1033,
    };
    // The system menu's about command.
    static constexpr unsigned kIdmAboutBox = 16;
    // The system menu's command of the record layout window (32 to 47, as about is 16 to 31).
    static constexpr unsigned kIdmRecordLayout = 32;

    static constexpr platform::Rgb kPlaceholderBackground{250, 247, 131};
    static constexpr platform::Rgb kWhite{255, 255, 255};

    // Template 102; the five sizes zeroed, no list file, all texts empty, the key bounds cleared,
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

    // --- The build and its list file (defined in build/) ---
    // Assembles builtKey from recordBuffer (the key fields end to end, in list order), writes
    // the first outputRecordSize bytes of recordBuffer on the output channel under the first
    // outputKeySize bytes of builtKey, and counts the record in recordsWritten when that
    // succeeded. Requires the key fields checked by the build (inside recordBuffer, at most
    // kMaxKeySize bytes together). Returns whether the record was written.
    bool WriteOutputRecord();
    // Names the list file through $(QVTEMP), creates it and writes its head; on failure says so
    // and leaves listFileOpen false.
    void StartListFile();
    // Writes one line of the list file.
    void WriteListLine(const std::string& text);
    // Writes the list file's tail (the count, the time, the records not written), closes it and
    // hands it to the shell; says once when it could not be written completely.
    void FinishListFile();

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

    // --- State record (read by the build) ---
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
    uint32_t recordsWritten = 0;
    std::array<uint8_t, kMaxKeySize> keyBuffer{};
    std::array<uint8_t, kMaxKeySize> builtKey{};
    std::array<int32_t, kMaxKeyFields> keyFieldPositions{};
    std::array<int32_t, kMaxKeyFields> keyFieldLengths{};
    int32_t keyFieldCount = 0;
    FileDescriptor inputDescriptor{};
    int32_t keyBytesDefined = 0;
    std::array<uint8_t, kMaxRecordSize> recordBuffer{};
    std::array<char, kMaxKeyBoundLength + 1> fromKey{};
    bool fromKeyPlaceholderShown = false;
    std::string fromKeyPlaceholder;
    std::array<char, kMaxKeyBoundLength + 1> toKey{};
    bool toKeyPlaceholderShown = false;
    std::string toKeyPlaceholder;
    std::array<uint8_t, (kOccupancyBits + 7) / 8> occupancyMap{};
    // Set while the output record size edit holds a refused size: its refusal disabled Build
    // File, so the size accepted next applies the enabling rules again.
    bool outputRecordSizeRefused = false;
    bool listFileOpen = false;
    platform::LockedTextFile listFile;
    std::string listFileName;
    // What the last build did (counts, records not written, list file).
    BuildSummary lastBuild;

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
    // The build run of the Build File button (defined in build/).
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
    // The key field list's item text: the position in decimal, a tab, the length in decimal.
    static std::string FormatKeyField(uint32_t position, uint32_t length);
    // A plain box with an OK button, as every validation message is shown.
    void Refuse(const std::string& text, int focusControl, bool disableBuild);
    // Toggles the occupancy bits of `count` bytes from `first` (bits beyond the map are left).
    void ToggleBytes(uint64_t first, uint64_t count);
    bool KeyComplete() const;

    std::function<void()> aboutHandler;
    std::function<void()> recordLayoutHandler;
};
