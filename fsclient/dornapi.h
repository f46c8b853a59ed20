// CDornApi: the utility's client of the TalvoLib file-system component. One object serves the
// whole run: it connects, reports errors, translates every file operation onto the component
// byte for byte, reads file descriptors, and also carries the command-line split, the settings
// file and the directory macros (which use none of the client's state).
//
// Conventions: operations return true on success, or a count with -1 for failure. Lengths are
// byte counts; a length passed by reference carries the capacity in and the bytes delivered out.
// The client records no failure reason of its own for file operations: a caller that reports a
// failure quotes GetErrorText(), the component's last error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/variant.h"
#include "platform/wide.h"
#include "talvo/talvolib.h"

// --- Shared records ------------------------------------------------------------------------------

// One entry of the component's directory table.
struct DirectoryEntry {
    char name[4];    // at most 3 characters, zero-terminated; empty for a free entry
    char path[260];  // at most 259 characters, zero-terminated
};

// The packed descriptor of a data file. Every offset is part of the layout (checked below).
#pragma pack(push, 1)
struct FileDescriptor {
    uint8_t fileType;       // 0: 1, 2 (records only), 4 (keyed), 36 (extended keyed)
    uint16_t infoWord1;     // 1
    uint16_t infoWord2;     // 3
    uint16_t infoWord3;     // 5
    uint16_t recordSize;    // 7: 0 marks a key-only file
    uint8_t keySize;        // 9
    int32_t infoLong1;      // 10
    int32_t infoLong2;      // 14
    char dateTime1[14];     // 18: 14 digits, no terminator
    char pad32;             // 32: not written
    char dateTime2[14];     // 33
    char pad47;             // 47: not written
    char dateTime3[14];     // 48
    char pad62;             // 62: not written
    int32_t infoLong3;      // 63
    char directoryText[4];  // 67: up to 3 characters and a zero byte
    char nameText[13];      // 71: up to 12 characters and a zero byte
    char pad84;             // 84: not written
    char extraText[9];      // 85: up to 8 characters and a zero byte (minor version >= 2)
    char pad94;             // 94: not written
    int32_t infoLong4;      // 95: minor version >= 2
    char reserved99[36];    // 99: not written
    int16_t keyPosition;    // 135: key offset in the record of an extended keyed file
};
#pragma pack(pop)

static_assert(sizeof(FileDescriptor) == 137);
static_assert(offsetof(FileDescriptor, recordSize) == 7);
static_assert(offsetof(FileDescriptor, keySize) == 9);
static_assert(offsetof(FileDescriptor, dateTime1) == 18);
static_assert(offsetof(FileDescriptor, dateTime2) == 33);
static_assert(offsetof(FileDescriptor, dateTime3) == 48);
static_assert(offsetof(FileDescriptor, infoLong3) == 63);
static_assert(offsetof(FileDescriptor, directoryText) == 67);
static_assert(offsetof(FileDescriptor, nameText) == 71);
static_assert(offsetof(FileDescriptor, extraText) == 85);
static_assert(offsetof(FileDescriptor, infoLong4) == 95);
static_assert(offsetof(FileDescriptor, keyPosition) == 135);

// The file name that never has a descriptor: eight bytes 0xFF, a full stop, three bytes 0xFF.
extern const char noFileName[13];

// --- The client ----------------------------------------------------------------------------------

class CDornApi {
  public:
    using WideString = platform::WideString;
    using Variant = platform::Variant;

    // Stores the arguments and sets up the calling thread's apartment (single-threaded unless
    // `multithreaded`).
    CDornApi(const char* applicationTitle, int32_t directoryTableSize, int32_t initParam3,
             int32_t initParam1, bool multithreaded);
    // Disconnects, tears the apartment down once.
    virtual ~CDornApi();
    CDornApi(const CDornApi&) = delete;
    CDornApi& operator=(const CDornApi&) = delete;

    // --- Command line (app/command_line.cpp, in the start-up's library ordelin_app) ---
    // Splits "<file specification> /D<name> ..." into upper-cased folder path, file name and
    // directory name. Any out-parameter may be null; a null directoryName skips the "/D" option.
    static bool SplitCommandLine(const char* commandLine, std::string* directoryName,
                                 std::string* fileName, std::string* folderPath);

    // --- Connection and errors (fsclient/connection.cpp) ---
    bool Connect(const char* networkName, bool showSystemError);
    bool ConnectFromCommandLine(const char* commandLine);
    void Disconnect();
    int32_t GetErrorNumber();
    // Valid until the next GetErrorText or Connect.
    const std::string& GetErrorText();
    int GetComponentVersion(int* minor);
    void ShowSystemError();

    bool IsConnected() const { return connected; }
    const std::string& NetworkName() const { return networkName; }
    bool HasNetworkName() const { return hasNetworkName; }

    // --- Conversions (fsclient/conversions.cpp) ---
    static WideString TextToWide(const char* text);
    static std::string WideToText(const WideString& text);
    static WideString BytesToWide(const uint8_t* bytes, int32_t length);
    static int32_t WideToBytes(const WideString& text, uint8_t* destination, int32_t maximum);
    static Variant KeyVariant(const uint8_t* bytes, int32_t length);
    static Variant NumberVariant(int32_t n);
    // BytesToWide and KeyVariant into a string or variant that keeps its memory from call to call,
    // so that a copy loop allocates nothing per record. The same content as those two give;
    // the same exception when memory runs out.
    static void BytesToWideInto(const uint8_t* bytes, int32_t length, WideString& wide);
    static void KeyVariantInto(const uint8_t* bytes, int32_t length, Variant& variant);

    // --- Channel file operations (fsclient/channels.cpp) ---
    bool OpenFile(int32_t channel, const char* fileName, const char* directory);
    bool CloseChannel(int32_t channel);
    bool EraseFile(const char* fileName, const char* directory);
    bool CreateKeyedFile(const char* fileName, const char* directory, int32_t recordSize,
                         int32_t keySize);
    bool CreateExtendedKeyedFile(const char* fileName, const char* directory, int32_t recordSize,
                                 int32_t keySize, int32_t keyPosition);
    bool ReadByRecordNumber(int32_t channel, uint8_t* buffer, int32_t* length,
                            int32_t recordNumber);
    bool PositionByKey(int32_t channel, const uint8_t* key, int32_t keyLength);
    bool ReadNextKey(int32_t channel, uint8_t* keyBuffer, int32_t& keyLength);
    bool ReadByKey(int32_t channel, uint8_t* buffer, int32_t* length, const uint8_t* key,
                   int32_t keyLength);
    bool WriteKeyed(int32_t channel, const uint8_t* record, int32_t recordLength,
                    const uint8_t* key, int32_t keyLength);
    bool GetSubordinateKey(int32_t channel, int32_t index, int32_t& first, int32_t& second,
                           char* name, int32_t nameSize);
    bool AddSubordinateKey(const char* fileName, const char* directory, int32_t first,
                           int32_t second, const char* name);
    bool GetChannelHandle(int32_t channel, int64_t& handle, int32_t* second);
    bool SeekHandle(int64_t handle, int64_t& position, int32_t origin);
    bool GetDirectoryEntry(int32_t index, DirectoryEntry& entry);
    bool SetDirectoryEntry(int32_t index, const char* name, const char* path);
    int32_t FindOrAddDirectoryEntry(const char* name, const char* path);
    int32_t FetchRecordBuffer(int32_t channel, uint8_t* destination, int32_t length);
    bool StoreRecordBuffer(int32_t channel, const uint8_t* data, int32_t length);

    // --- File descriptor (fsclient/descriptor.cpp) ---
    bool GetFileDescriptor(const char* fileName, const char* directoryName, FileDescriptor& record);

    // --- Settings file (settings/settings_file.cpp) ---
    // The settings file's path, found once per process; null when there is none.
    static const char* GetSettingsFilePath();
    static std::string GetSetting(const char* section, const char* key, const char* defaultValue);
    static void SetSetting(const char* section, const char* key, const char* value);
    static bool HasAnySection(const char* filePath);
    static bool GetAppDataFolder(char* buffer, size_t bufferSize);
    // Forgets the cached settings path (tests only: a process normally keeps it).
    static void ResetSettingsPathCacheForTesting();

    // --- Directory macros (settings/directory_macros.cpp) ---
    static bool ExpandDirectoryMacro(std::string& path, bool force);
    static bool MakeDefaultDirectory(std::string& directory, const char* macroName, bool force);
    static int CreateDirectoryPath(const char* path);
    static bool PathExists(const char* path);
    static bool IsFixedDrive(const char* path);
    static const char* const knownDirectoryNames[];

  private:
    // The reads and the keyed write in their other forms, apart from the one a copy loop takes
    // every record (the component's byte forms, into a place that cannot fail): through the
    // record buffer, as wide text and variants.
    [[gnu::noinline]] bool ReadByRecordNumberApart(int32_t channel, uint8_t* buffer,
                                                   int32_t* length, int32_t recordNumber);
    [[gnu::noinline]] bool ReadByKeyApart(int32_t channel, uint8_t* buffer, int32_t* length,
                                          const uint8_t* key, int32_t keyLength);
    [[gnu::noinline]] bool ReadNextKeyApart(int32_t channel, uint8_t* keyBuffer,
                                            int32_t& keyLength);
    [[gnu::noinline]] bool WriteKeyedApart(int32_t channel, const uint8_t* record,
                                           int32_t recordLength, const uint8_t* key,
                                           int32_t keyLength);

    platform::ComPtr<talvo::ITalvoFs> component;
    // The component's byte forms of the key and record transfers, when it offers them: the same
    // operations, without widening each key and record for the component to narrow it again.
    platform::ComPtr<talvo::ITalvoBytes> bytes;
    bool connected = false;
    std::string applicationTitle;
    int32_t initParam1;
    int32_t directoryTableSize;
    int32_t initParam3;
    int32_t errorNumber = 0;
    std::string errorText;
    int componentVersionMajor = 0;
    int componentVersionMinor = 0;
    std::string networkName;
    bool hasNetworkName = false;

    // What key and record bytes cross in, reused from call to call (each transfer still lives for
    // the one call it is made for, and each keeps the size of what it carries): the record and
    // the key the component hands back, the record handed to it, and the key variant of a read,
    // a positioning or a keyed write.
    WideString recordIn;
    WideString keyIn;
    WideString recordOut;
    Variant keyOut;
};
