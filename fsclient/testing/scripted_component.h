// Test doubles of the file-system component: a scriptable ITalvoFs with a small in-memory file
// store, its sub-key and descriptor objects, an RAII registration under the component's class
// identifier, and a message-box sink that records every box and answers from a script.
//
// Typical use:
//
//   auto component = fstest::ScriptedComponent::Make();
//   component->hasInitialize2 = false;
//   fstest::ScopedComponentRegistration registration(component);
//   fstest::ScopedMessageBoxRecorder boxes;
//   CDornApi client("T", 100, 51, 0, false);
//   ASSERT_TRUE(client.Connect(nullptr, false));
//   EXPECT_EQ(component->CallCount("Initialize"), 1);
//
// Every operation is virtual: a test subclass overrides one and may call the base for the
// default. Every call is recorded (operation name and arguments) before the behaviour runs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/message_box.h"
#include "platform/variant.h"
#include "platform/wide.h"
#include "talvo/talvolib.h"

namespace fstest {

using platform::HResult;
using platform::Variant;
using platform::VariantBool;
using platform::WideString;

// Wide text from narrow ASCII/UTF-8 test text (through the code page).
std::u16string W(const std::string& text);
// Wide text that carries bytes one per unit, as keys and records travel.
std::u16string Units(const std::vector<uint8_t>& bytes);
std::u16string Units(const std::string& bytes);

// One call the component received, with its arguments in interface order: integer arguments
// in `numbers`, string arguments in `texts`, a key or record-number variant in `variant`.
struct Call {
    std::string operation;
    std::vector<int64_t> numbers;
    std::vector<WideString> texts;
    Variant variant;
};

// --- Sub-key object ------------------------------------------------------------------------------

class ScriptedSubKey : public platform::RefCounted<talvo::ITalvoSubKey> {
  public:
    static platform::ComPtr<ScriptedSubKey> Make(int32_t first, int32_t second, WideString name);

    int32_t first = 0;
    int32_t second = 0;
    WideString name;
    bool offersInterface = true;  // false: the query for kIidTalvoSubKey fails

    HResult QueryInterface(const platform::Guid& iid, void** object) override;
    HResult GetIDsOfNames(const std::u16string& name, platform::DispId* id) override;
    HResult GetFirst(int32_t* value) override;
    HResult GetSecond(int32_t* value) override;
    HResult GetName(WideString* value) override;
};

// --- Descriptor object ---------------------------------------------------------------------------

// Each read answers from the fields below, or fails (status kFail, out-parameter untouched) when
// its name ("GetDateTime1", "GetNameText", ...) is in `failingReads`. `reads` records the order.
class ScriptedDescriptor : public platform::RefCounted<talvo::ITalvoDescriptor> {
  public:
    static platform::ComPtr<ScriptedDescriptor> Make();

    WideString path;
    WideString directoryText;
    WideString nameText;
    int32_t fileType = 4;
    int32_t formatVersion = 1;
    int32_t infoWord1 = 0;
    int32_t infoWord2 = 0;
    int32_t infoWord3 = 0;
    int32_t recordSize = 0;
    int32_t keySize = 0;
    int32_t infoLong1 = 0;
    int32_t infoLong2 = 0;
    int32_t infoLong3 = 0;
    WideString dateTime1 = std::u16string(u"20240101120000");
    WideString dateTime2 = std::u16string(u"20240101120000");
    WideString dateTime3 = std::u16string(u"20240101120000");
    int32_t keyPosition = 0;
    WideString extraText;
    int32_t infoLong4 = 0;

    bool offersInterface = true;  // false: the query for kIidTalvoDescriptor fails
    std::set<std::string> failingReads;
    std::vector<std::string> reads;

    HResult QueryInterface(const platform::Guid& iid, void** object) override;
    HResult GetIDsOfNames(const std::u16string& name, platform::DispId* id) override;
    HResult GetPath(WideString* value) override;
    HResult GetDirectoryText(WideString* value) override;
    HResult GetNameText(WideString* value) override;
    HResult GetFileType(int32_t* value) override;
    HResult GetFormatVersion(int32_t* value) override;
    HResult GetInfoWord2(int32_t* value) override;
    HResult GetInfoWord3(int32_t* value) override;
    HResult GetRecordSize(int32_t* value) override;
    HResult GetKeySize(int32_t* value) override;
    HResult GetInfoLong1(int32_t* value) override;
    HResult GetInfoLong2(int32_t* value) override;
    HResult GetInfoLong3(int32_t* value) override;
    HResult GetDateTime1(WideString* value) override;
    HResult GetDateTime2(WideString* value) override;
    HResult GetDateTime3(WideString* value) override;
    HResult GetInfoWord1(int32_t* value) override;
    HResult GetKeyPosition(int32_t* value) override;
    HResult GetExtraText(WideString* value) override;
    HResult GetInfoLong4(int32_t* value) override;

  private:
    HResult Read(const char* name, int32_t field, int32_t* value);
    HResult Read(const char* name, const WideString& field, WideString* value);
};

// --- The component -------------------------------------------------------------------------------

// A data file of the in-memory store. Keys and records are held as wide strings of one unit per
// byte, exactly as they crossed the interface.
struct FakeFile {
    int32_t fileType = 4;
    int32_t recordSize = 0;
    int32_t keySize = 0;
    int32_t keyPosition = 0;
    // Records in record-number order; a keyed file also maps each key to its record number.
    std::vector<std::u16string> records;
    std::map<std::u16string, size_t> keys;
    // Subordinate key definitions, numbered from 1 in the order they were added.
    struct SubKey {
        int32_t first;
        int32_t second;
        WideString name;
    };
    std::vector<SubKey> subKeys;
};

class ScriptedComponent : public platform::RefCounted<talvo::ITalvoFs> {
  public:
    static platform::ComPtr<ScriptedComponent> Make();

    // --- Script ---
    bool hasInitialize2 = true;                  // found by GetIDsOfNames
    bool hasVersion = true;                      // found by GetIDsOfNames
    int32_t version = 0x00010002;                // what Version reports (1.2)
    HResult initStatus = platform::kOk;          // what Initialize / Initialize2 return
    int32_t errorCode = 0;                       // what GetErrorCode reports
    WideString errorMessage = std::u16string();  // what GetErrorMessage reports
    bool throwOnGetBuffer = false;               // GetBuffer throws platform::Exception
    bool throwOnPutBuffer = false;               // PutBuffer throws platform::Exception
    // Operations named here fail: a boolean result comes back false, otherwise the status is
    // kFail. The error code and message are set to 99 and "<operation> failed".
    std::set<std::string> failingOperations;
    int32_t handleInteger = 7;   // the integer GetHandle reports beside the handle
    int64_t fileHeaderSize = 0;  // Seek from the end: header + records × size

    // --- Record of calls ---
    std::vector<Call> calls;
    std::vector<Call> Calls(const std::string& operation) const;
    int CallCount(const std::string& operation) const;
    // The last call of the operation; a call with an empty operation name when there was none.
    Call LastCall(const std::string& operation) const;
    std::vector<std::string> CallNames() const;

    // --- In-memory store ---
    // Files are known by directory and name, both without regard to case.
    FakeFile& AddFile(const std::string& directory, const std::string& name, int32_t fileType,
                      int32_t recordSize, int32_t keySize, int32_t keyPosition = 0);
    FakeFile* FindFile(const std::string& directory, const std::string& name);
    // Appends a record under a key (keyed files) or at the end (key empty).
    static void AddRecord(FakeFile& file, const std::u16string& key, const std::u16string& record);
    bool initialized = false;
    std::vector<std::pair<WideString, WideString>> directoryTable;  // (name, path)
    // Descriptor objects handed out by GetDescriptor; when none is scripted for the file, one is
    // made from the stored file's properties. Key: the same as FindFile's.
    std::map<std::string, platform::ComPtr<ScriptedDescriptor>> descriptors;
    void SetDescriptor(const std::string& directory, const std::string& name,
                       platform::ComPtr<ScriptedDescriptor> descriptor);
    // The record buffer of a channel (open or not).
    std::u16string& Buffer(int32_t channel) { return channels[channel].buffer; }
    bool IsOpen(int32_t channel) const;

    // --- ITalvoFs ---
    HResult QueryInterface(const platform::Guid& iid, void** object) override;
    HResult GetIDsOfNames(const std::u16string& name, platform::DispId* id) override;
    HResult Initialize(const WideString& title, int32_t param1, int32_t directoryTableSize,
                       int32_t param3) override;
    HResult Shutdown() override;
    HResult GetErrorCode(int32_t* code) override;
    HResult GetErrorMessage(WideString* text) override;
    HResult Seek(int64_t handle, int64_t offset, int32_t origin, int64_t* position) override;
    HResult GetHandle(int32_t channel, int32_t* integer, int64_t* handle) override;
    HResult Open(int32_t channel, const WideString& file, const WideString& directory,
                 VariantBool* ok) override;
    HResult Erase(const WideString& file, const WideString& directory, VariantBool* ok) override;
    HResult CreateKeyed(const WideString& file, const WideString& directory, int32_t recordSize,
                        int32_t keySize, VariantBool* ok) override;
    HResult Close(int32_t channel, VariantBool* ok) override;
    HResult NextKey(int32_t channel, WideString* key) override;
    HResult FindKey(int32_t channel, const Variant& key, VariantBool* ok) override;
    HResult WriteKey(int32_t channel, const Variant& key, VariantBool* ok) override;
    HResult ReadKey(int32_t channel, const Variant& key, VariantBool* ok) override;
    HResult ReadRecord(int32_t channel, const Variant& recordNumber, VariantBool* ok) override;
    HResult GetDescriptor(const WideString& file, const WideString& directory,
                          platform::IDispatch** descriptor) override;
    HResult SetDirectory(int32_t index, const WideString& name, const WideString& path,
                         VariantBool* ok) override;
    HResult GetDirectory(int32_t index, WideString* path, WideString* name) override;
    HResult PutBuffer(int32_t channel, const WideString& data, int32_t offset,
                      int32_t length) override;
    HResult GetBuffer(int32_t channel, int32_t offset, int32_t length, WideString* data) override;
    HResult PrepareBuffer(int32_t channel, int32_t* result) override;
    HResult CreateExtendedKeyed(const WideString& file, const WideString& directory,
                                int32_t recordSize, int32_t keySize, int32_t keyPosition,
                                VariantBool* ok) override;
    HResult Version(int32_t* value) override;
    HResult Initialize2(const WideString& title, const WideString& networkName, int32_t param1,
                        int32_t directoryTableSize, int32_t param3) override;
    HResult GetSubKey(int32_t channel, int32_t index, platform::IDispatch** subKey) override;
    HResult AddSubKey(const WideString& file, const WideString& directory, int32_t first,
                      int32_t second, const WideString& name, VariantBool* ok) override;

  protected:
    struct Channel {
        std::string fileId;  // empty: not open
        std::u16string buffer;
        std::u16string from;    // NextKey delivers the first key not below this one...
        bool pastFrom = false;  // ...or above it, once `from` itself was delivered
    };
    std::map<int32_t, Channel> channels;
    std::map<std::string, FakeFile> files;

    // Records the call and answers whether the script makes it fail (setting the error).
    bool Record(Call call);
    // Sets the last error the component reports.
    void SetError(int32_t code, const std::string& message);
    static std::string FileId(const WideString& directory, const WideString& file);
    FakeFile* OpenFileOf(int32_t channel);
    bool Keyed(const FakeFile& file) const { return file.fileType == 4 || file.fileType == 36; }
};

// --- Registration
// ---------------------------------------------------------------------------------

// Registers a factory under talvo::kClsidTalvoLib for its lifetime and puts the former factory
// back when it ends. With a component: every creation hands out that same object (the test keeps
// its own reference and can look at the calls after the client let go). With a failure code:
// creation fails with it. With nothing: no factory at all (creation gives kClassNotRegistered).
class ScopedComponentRegistration {
  public:
    explicit ScopedComponentRegistration(platform::ComPtr<ScriptedComponent> component);
    explicit ScopedComponentRegistration(HResult failure);
    ScopedComponentRegistration();
    ~ScopedComponentRegistration();
    ScopedComponentRegistration(const ScopedComponentRegistration&) = delete;
    ScopedComponentRegistration& operator=(const ScopedComponentRegistration&) = delete;

    int creations() const { return *creations_; }

  private:
    platform::ClassFactory former_;
    std::shared_ptr<int> creations_ = std::make_shared<int>(0);
};

// --- Message boxes
// --------------------------------------------------------------------------------

// Records every box; answers from `answers` in order, and once they are used up with
// platform::CautiousAnswer.
class RecordingMessageBoxSink : public platform::MessageBoxSink {
  public:
    int Show(const std::string& caption, const std::string& text, unsigned flags) override;

    std::vector<platform::ShownMessageBox> boxes;
    std::deque<int> answers;
    // Called while a box is shown (after it is recorded), e.g. to look at the state then.
    std::function<void(const platform::ShownMessageBox&)> onShow;
};

// Installs a RecordingMessageBoxSink for its lifetime and restores the former sink.
class ScopedMessageBoxRecorder {
  public:
    ScopedMessageBoxRecorder();
    ~ScopedMessageBoxRecorder();
    ScopedMessageBoxRecorder(const ScopedMessageBoxRecorder&) = delete;
    ScopedMessageBoxRecorder& operator=(const ScopedMessageBoxRecorder&) = delete;

    RecordingMessageBoxSink& sink() { return *sink_; }
    const std::vector<platform::ShownMessageBox>& boxes() const { return sink_->boxes; }
    void Answer(int button) { sink_->answers.push_back(button); }

  private:
    std::shared_ptr<RecordingMessageBoxSink> sink_;
    std::shared_ptr<platform::MessageBoxSink> former_;
};

}  // namespace fstest
