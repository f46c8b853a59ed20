#include "fsclient/testing/scripted_component.h"

#include <algorithm>
#include <cctype>

#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/text_case.h"

namespace fstest {
namespace {

using platform::kFail;
using platform::kOk;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;

constexpr int32_t kScriptedFailureCode = 99;
constexpr int32_t kErrorNotFound = 3;
constexpr int32_t kErrorDuplicateKey = 4;
constexpr int32_t kErrorNoSuchFile = 5;
constexpr int32_t kErrorFileExists = 6;
constexpr int32_t kErrorFileInUse = 7;
constexpr int32_t kErrorInvalidArgument = 2;
constexpr int32_t kErrorWrongFileType = 12;
constexpr int32_t kErrorKeyTooLong = 13;
constexpr int32_t kErrorEndOfKeys = 17;
constexpr int32_t kErrorNotOpen = 18;
constexpr int64_t kHandleBase = 1000;

std::string Narrow(const WideString& text) {
    if (!text) return {};
    return platform::WideToNarrow(*text).value_or(std::string());
}

// Answers a query for `iid` with `self` when it is one of the interfaces offered.
HResult Answer(platform::IUnknown* self, const platform::Guid& iid, const platform::Guid& own,
               bool offersOwn, void** object) {
    if (object == nullptr) return platform::kPointer;
    if (iid == platform::kIidUnknown || iid == platform::kIidDispatch ||
        (offersOwn && iid == own)) {
        self->AddRef();
        *object = self;
        return kOk;
    }
    *object = nullptr;
    return platform::kNoInterface;
}

}  // namespace

std::u16string W(const std::string& text) {
    return platform::NarrowToWide(text);
}

std::u16string Units(const std::vector<uint8_t>& bytes) {
    return std::u16string(bytes.begin(), bytes.end());
}

std::u16string Units(const std::string& bytes) {
    std::u16string out;
    for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return out;
}

// --- ScriptedSubKey
// -------------------------------------------------------------------------------

platform::ComPtr<ScriptedSubKey> ScriptedSubKey::Make(int32_t first, int32_t second,
                                                      WideString name) {
    platform::ComPtr<ScriptedSubKey> subKey(new ScriptedSubKey);
    subKey->first = first;
    subKey->second = second;
    subKey->name = std::move(name);
    return subKey;
}

HResult ScriptedSubKey::QueryInterface(const platform::Guid& iid, void** object) {
    return Answer(this, iid, talvo::kIidTalvoSubKey, offersInterface, object);
}

HResult ScriptedSubKey::GetIDsOfNames(const std::u16string&, platform::DispId* id) {
    if (id) *id = -1;
    return platform::kUnknownName;
}

HResult ScriptedSubKey::GetFirst(int32_t* value) {
    *value = first;
    return kOk;
}

HResult ScriptedSubKey::GetSecond(int32_t* value) {
    *value = second;
    return kOk;
}

HResult ScriptedSubKey::GetName(WideString* value) {
    *value = name;
    return kOk;
}

// --- ScriptedDescriptor
// ---------------------------------------------------------------------------

platform::ComPtr<ScriptedDescriptor> ScriptedDescriptor::Make() {
    return platform::ComPtr<ScriptedDescriptor>(new ScriptedDescriptor);
}

HResult ScriptedDescriptor::QueryInterface(const platform::Guid& iid, void** object) {
    return Answer(this, iid, talvo::kIidTalvoDescriptor, offersInterface, object);
}

HResult ScriptedDescriptor::GetIDsOfNames(const std::u16string&, platform::DispId* id) {
    if (id) *id = -1;
    return platform::kUnknownName;
}

HResult ScriptedDescriptor::Read(const char* name, int32_t field, int32_t* value) {
    reads.emplace_back(name);
    if (failingReads.count(name)) return kFail;
    *value = field;
    return kOk;
}

HResult ScriptedDescriptor::Read(const char* name, const WideString& field, WideString* value) {
    reads.emplace_back(name);
    if (failingReads.count(name)) return kFail;
    *value = field;
    return kOk;
}

HResult ScriptedDescriptor::GetPath(WideString* v) {
    return Read("GetPath", path, v);
}
HResult ScriptedDescriptor::GetDirectoryText(WideString* v) {
    return Read("GetDirectoryText", directoryText, v);
}
HResult ScriptedDescriptor::GetNameText(WideString* v) {
    return Read("GetNameText", nameText, v);
}
HResult ScriptedDescriptor::GetFileType(int32_t* v) {
    return Read("GetFileType", fileType, v);
}
HResult ScriptedDescriptor::GetFormatVersion(int32_t* v) {
    return Read("GetFormatVersion", formatVersion, v);
}
HResult ScriptedDescriptor::GetInfoWord2(int32_t* v) {
    return Read("GetInfoWord2", infoWord2, v);
}
HResult ScriptedDescriptor::GetInfoWord3(int32_t* v) {
    return Read("GetInfoWord3", infoWord3, v);
}
HResult ScriptedDescriptor::GetRecordSize(int32_t* v) {
    return Read("GetRecordSize", recordSize, v);
}
HResult ScriptedDescriptor::GetKeySize(int32_t* v) {
    return Read("GetKeySize", keySize, v);
}
HResult ScriptedDescriptor::GetInfoLong1(int32_t* v) {
    return Read("GetInfoLong1", infoLong1, v);
}
HResult ScriptedDescriptor::GetInfoLong2(int32_t* v) {
    return Read("GetInfoLong2", infoLong2, v);
}
HResult ScriptedDescriptor::GetInfoLong3(int32_t* v) {
    return Read("GetInfoLong3", infoLong3, v);
}
HResult ScriptedDescriptor::GetDateTime1(WideString* v) {
    return Read("GetDateTime1", dateTime1, v);
}
HResult ScriptedDescriptor::GetDateTime2(WideString* v) {
    return Read("GetDateTime2", dateTime2, v);
}
HResult ScriptedDescriptor::GetDateTime3(WideString* v) {
    return Read("GetDateTime3", dateTime3, v);
}
HResult ScriptedDescriptor::GetInfoWord1(int32_t* v) {
    return Read("GetInfoWord1", infoWord1, v);
}
HResult ScriptedDescriptor::GetKeyPosition(int32_t* v) {
    return Read("GetKeyPosition", keyPosition, v);
}
HResult ScriptedDescriptor::GetExtraText(WideString* v) {
    return Read("GetExtraText", extraText, v);
}
HResult ScriptedDescriptor::GetInfoLong4(int32_t* v) {
    return Read("GetInfoLong4", infoLong4, v);
}

// --- ScriptedComponent: script, record, store
// -----------------------------------------------------

platform::ComPtr<ScriptedComponent> ScriptedComponent::Make() {
    return platform::ComPtr<ScriptedComponent>(new ScriptedComponent);
}

std::vector<Call> ScriptedComponent::Calls(const std::string& operation) const {
    std::vector<Call> out;
    for (const Call& c : calls) {
        if (c.operation == operation) out.push_back(c);
    }
    return out;
}

int ScriptedComponent::CallCount(const std::string& operation) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const Call& c) { return c.operation == operation; }));
}

Call ScriptedComponent::LastCall(const std::string& operation) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->operation == operation) return *it;
    }
    return {};
}

std::vector<std::string> ScriptedComponent::CallNames() const {
    std::vector<std::string> names;
    for (const Call& c : calls) names.push_back(c.operation);
    return names;
}

std::string ScriptedComponent::FileId(const WideString& directory, const WideString& file) {
    return platform::UpperCase(Narrow(directory)) + "\\" + platform::UpperCase(Narrow(file));
}

FakeFile& ScriptedComponent::AddFile(const std::string& directory, const std::string& name,
                                     int32_t fileType, int32_t recordSize, int32_t keySize,
                                     int32_t keyPosition) {
    FakeFile& f = files[FileId(W(directory), W(name))];
    f = FakeFile{};
    f.fileType = fileType;
    f.recordSize = recordSize;
    f.keySize = keySize;
    f.keyPosition = keyPosition;
    return f;
}

FakeFile* ScriptedComponent::FindFile(const std::string& directory, const std::string& name) {
    auto it = files.find(FileId(W(directory), W(name)));
    return it == files.end() ? nullptr : &it->second;
}

void ScriptedComponent::AddRecord(FakeFile& file, const std::u16string& key,
                                  const std::u16string& record) {
    file.records.push_back(record);
    if (!key.empty()) file.keys[key] = file.records.size() - 1;
}

void ScriptedComponent::SetDescriptor(const std::string& directory, const std::string& name,
                                      platform::ComPtr<ScriptedDescriptor> descriptor) {
    descriptors[FileId(W(directory), W(name))] = std::move(descriptor);
}

bool ScriptedComponent::IsOpen(int32_t channel) const {
    auto it = channels.find(channel);
    return it != channels.end() && !it->second.fileId.empty();
}

bool ScriptedComponent::Record(Call call) {
    const bool fails = failingOperations.count(call.operation) != 0;
    if (fails) SetError(kScriptedFailureCode, call.operation + " failed");
    calls.push_back(std::move(call));
    return fails;
}

void ScriptedComponent::SetError(int32_t code, const std::string& message) {
    errorCode = code;
    errorMessage = W(message);
}

FakeFile* ScriptedComponent::OpenFileOf(int32_t channel) {
    auto it = channels.find(channel);
    if (it == channels.end() || it->second.fileId.empty()) {
        SetError(kErrorNotOpen, "Channel " + std::to_string(channel) + " is not open");
        return nullptr;
    }
    auto f = files.find(it->second.fileId);
    if (f == files.end()) {
        SetError(kErrorNoSuchFile,
                 "The file open on channel " + std::to_string(channel) + " no longer exists");
        return nullptr;
    }
    return &f->second;
}

// --- ScriptedComponent: ITalvoFs
// ------------------------------------------------------------------

HResult ScriptedComponent::QueryInterface(const platform::Guid& iid, void** object) {
    return Answer(this, iid, talvo::kIidTalvoFs, true, object);
}

HResult ScriptedComponent::GetIDsOfNames(const std::u16string& name, platform::DispId* id) {
    calls.push_back(Call{"GetIDsOfNames", {}, {name}, {}});
    const std::u16string_view asked = name;
    for (size_t i = 0; i < std::size(talvo::kTalvoFsMembers); ++i) {
        if (!platform::EqualsIgnoringCase(asked, talvo::kTalvoFsMembers[i])) continue;
        if (!hasVersion && platform::EqualsIgnoringCase(asked, u"Version")) break;
        if (!hasInitialize2 && platform::EqualsIgnoringCase(asked, u"Initialize2")) break;
        if (id) *id = static_cast<platform::DispId>(i + 1);
        return kOk;
    }
    if (id) *id = -1;
    return platform::kUnknownName;
}

HResult ScriptedComponent::Initialize(const WideString& title, int32_t param1,
                                      int32_t directoryTableSize, int32_t param3) {
    if (Record(Call{"Initialize", {param1, directoryTableSize, param3}, {title}, {}})) {
        return kFail;
    }
    if (initStatus != kOk) return initStatus;
    initialized = true;
    directoryTable.resize(static_cast<size_t>(std::max(directoryTableSize, 0)));
    return kOk;
}

HResult ScriptedComponent::Initialize2(const WideString& title, const WideString& networkName,
                                       int32_t param1, int32_t directoryTableSize, int32_t param3) {
    if (Record(
            Call{"Initialize2", {param1, directoryTableSize, param3}, {title, networkName}, {}})) {
        return kFail;
    }
    if (initStatus != kOk) return initStatus;
    initialized = true;
    directoryTable.resize(static_cast<size_t>(std::max(directoryTableSize, 0)));
    return kOk;
}

HResult ScriptedComponent::Shutdown() {
    Record(Call{"Shutdown", {}, {}, {}});
    initialized = false;
    channels.clear();
    return kOk;
}

HResult ScriptedComponent::GetErrorCode(int32_t* code) {
    calls.push_back(Call{"GetErrorCode", {}, {}, {}});
    *code = errorCode;
    return kOk;
}

HResult ScriptedComponent::GetErrorMessage(WideString* text) {
    calls.push_back(Call{"GetErrorMessage", {}, {}, {}});
    *text = errorMessage;
    return kOk;
}

HResult ScriptedComponent::Seek(int64_t handle, int64_t offset, int32_t origin, int64_t* position) {
    *position = -1;
    if (Record(Call{"Seek", {handle, offset, origin}, {}, {}})) return kOk;
    const int32_t channel = static_cast<int32_t>(handle - kHandleBase);
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kOk;
    const int64_t length = fileHeaderSize + static_cast<int64_t>(f->records.size()) * f->recordSize;
    int64_t base;
    switch (origin) {
        case 0:
            base = 0;
            break;
        case 1:
            base = 0;
            break;  // the store keeps no file pointer
        case 2:
            base = length;
            break;
        default:
            SetError(kErrorInvalidArgument, "Bad origin");
            return kOk;
    }
    if (base + offset < 0) {
        SetError(kErrorInvalidArgument, "Seek before the start of the file");
        return kOk;
    }
    *position = base + offset;
    return kOk;
}

HResult ScriptedComponent::GetHandle(int32_t channel, int32_t* integer, int64_t* handle) {
    *handle = -1;
    if (Record(Call{"GetHandle", {channel}, {}, {}})) return kOk;
    if (OpenFileOf(channel) == nullptr) return kOk;
    *integer = handleInteger;
    *handle = kHandleBase + channel;
    return kOk;
}

HResult ScriptedComponent::Open(int32_t channel, const WideString& file,
                                const WideString& directory, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"Open", {channel}, {file, directory}, {}})) return kOk;
    const std::string id = FileId(directory, file);
    if (!files.count(id)) {
        SetError(kErrorNoSuchFile, "File not found: " + Narrow(file));
        return kOk;
    }
    Channel& c = channels[channel];
    c = Channel{};
    c.fileId = id;
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::Erase(const WideString& file, const WideString& directory,
                                 VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"Erase", {}, {file, directory}, {}})) return kOk;
    const std::string id = FileId(directory, file);
    if (!files.count(id)) {
        SetError(kErrorNoSuchFile, "File not found: " + Narrow(file));
        return kOk;
    }
    for (const auto& [number, c] : channels) {
        if (c.fileId == id) {
            SetError(kErrorFileInUse, "File in use: " + Narrow(file));
            return kOk;
        }
    }
    files.erase(id);
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::CreateKeyed(const WideString& file, const WideString& directory,
                                       int32_t recordSize, int32_t keySize, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"CreateKeyed", {recordSize, keySize}, {file, directory}, {}})) return kOk;
    const std::string id = FileId(directory, file);
    if (files.count(id)) {
        SetError(kErrorFileExists, "File exists: " + Narrow(file));
        return kOk;
    }
    if (recordSize < 0 || keySize <= 0 || keySize > 255) {
        SetError(kErrorInvalidArgument, "Bad record or key size");
        return kOk;
    }
    FakeFile& f = files[id];
    f.fileType = 4;
    f.recordSize = recordSize;
    f.keySize = keySize;
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::CreateExtendedKeyed(const WideString& file, const WideString& directory,
                                               int32_t recordSize, int32_t keySize,
                                               int32_t keyPosition, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{
            "CreateExtendedKeyed", {recordSize, keySize, keyPosition}, {file, directory}, {}})) {
        return kOk;
    }
    const std::string id = FileId(directory, file);
    if (files.count(id)) {
        SetError(kErrorFileExists, "File exists: " + Narrow(file));
        return kOk;
    }
    if (recordSize <= 0 || keySize <= 0 || keySize > 255 || keyPosition < 0 ||
        keyPosition + keySize > recordSize) {
        SetError(kErrorInvalidArgument, "Bad record size, key size or key position");
        return kOk;
    }
    FakeFile& f = files[id];
    f.fileType = 36;
    f.recordSize = recordSize;
    f.keySize = keySize;
    f.keyPosition = keyPosition;
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::Close(int32_t channel, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"Close", {channel}, {}, {}})) return kOk;
    if (!IsOpen(channel)) {
        SetError(kErrorNotOpen, "Channel " + std::to_string(channel) + " is not open");
        return kOk;
    }
    channels.erase(channel);
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::NextKey(int32_t channel, WideString* key) {
    *key = std::u16string();
    if (Record(Call{"NextKey", {channel}, {}, {}})) return kFail;
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kFail;
    Channel& c = channels[channel];
    auto it = c.pastFrom ? f->keys.upper_bound(c.from) : f->keys.lower_bound(c.from);
    if (it == f->keys.end()) {
        SetError(kErrorEndOfKeys, "No further key");
        return kOk;
    }
    c.from = it->first;
    c.pastFrom = true;
    *key = it->first;
    return kOk;
}

HResult ScriptedComponent::FindKey(int32_t channel, const Variant& key, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"FindKey", {channel}, {}, key})) return kOk;
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kOk;
    if (!Keyed(*f)) {
        SetError(kErrorWrongFileType, "Not a keyed file");
        return kOk;
    }
    Channel& c = channels[channel];
    c.from = key.bstrVal.value_or(std::u16string());
    c.pastFrom = false;
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::WriteKey(int32_t channel, const Variant& key, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"WriteKey", {channel}, {}, key})) return kOk;
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kOk;
    if (!Keyed(*f)) {
        SetError(kErrorWrongFileType, "Not a keyed file");
        return kOk;
    }
    std::u16string k = key.bstrVal.value_or(std::u16string());
    if (static_cast<int32_t>(k.size()) > f->keySize) {
        SetError(kErrorKeyTooLong, "Key too long");
        return kOk;
    }
    k.resize(static_cast<size_t>(f->keySize), u'\0');  // keys are fixed length, zero-padded
    if (f->keys.count(k)) {
        SetError(kErrorDuplicateKey, "Duplicate key");
        return kOk;
    }
    AddRecord(*f, k, channels[channel].buffer);
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::ReadKey(int32_t channel, const Variant& key, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"ReadKey", {channel}, {}, key})) return kOk;
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kOk;
    std::u16string k = key.bstrVal.value_or(std::u16string());
    if (static_cast<int32_t>(k.size()) < f->keySize) k.resize(static_cast<size_t>(f->keySize));
    auto it = f->keys.find(k);
    if (it == f->keys.end()) {
        SetError(kErrorNotFound, "Key not found");
        return kOk;
    }
    channels[channel].buffer = f->records[it->second];
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::ReadRecord(int32_t channel, const Variant& recordNumber,
                                      VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"ReadRecord", {channel}, {}, recordNumber})) return kOk;
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kOk;
    if (recordNumber.vt != platform::VT_I4 || recordNumber.lVal < 0 ||
        static_cast<size_t>(recordNumber.lVal) >= f->records.size()) {
        SetError(kErrorNotFound, "No such record");
        return kOk;
    }
    channels[channel].buffer = f->records[static_cast<size_t>(recordNumber.lVal)];
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::GetDescriptor(const WideString& file, const WideString& directory,
                                         platform::IDispatch** descriptor) {
    *descriptor = nullptr;
    if (Record(Call{"GetDescriptor", {}, {file, directory}, {}})) return kFail;
    const std::string id = FileId(directory, file);
    platform::ComPtr<ScriptedDescriptor> object;
    if (auto it = descriptors.find(id); it != descriptors.end()) {
        object = it->second;
    } else if (auto f = files.find(id); f != files.end()) {
        object = ScriptedDescriptor::Make();
        object->fileType = f->second.fileType;
        object->recordSize = f->second.recordSize;
        object->keySize = f->second.keySize;
        object->keyPosition = f->second.keyPosition;
        object->nameText = W(platform::UpperCase(Narrow(file)));
        object->directoryText = W(platform::UpperCase(Narrow(directory)));
    } else {
        SetError(kErrorNoSuchFile, "File not found: " + Narrow(file));
        return kFail;
    }
    return object->QueryInterface(platform::kIidDispatch, reinterpret_cast<void**>(descriptor));
}

HResult ScriptedComponent::SetDirectory(int32_t index, const WideString& name,
                                        const WideString& path, VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"SetDirectory", {index}, {name, path}, {}})) return kOk;
    if (index < 0 || static_cast<size_t>(index) >= directoryTable.size()) {
        SetError(kErrorInvalidArgument, "Directory index out of range");
        return kOk;
    }
    directoryTable[static_cast<size_t>(index)] = {name, path};
    *ok = VARIANT_TRUE;
    return kOk;
}

HResult ScriptedComponent::GetDirectory(int32_t index, WideString* path, WideString* name) {
    if (Record(Call{"GetDirectory", {index}, {}, {}})) return kFail;
    if (index < 0 || static_cast<size_t>(index) >= directoryTable.size()) {
        SetError(kErrorInvalidArgument, "Directory index out of range");
        return platform::kInvalidArgument;
    }
    const auto& entry = directoryTable[static_cast<size_t>(index)];
    *name = entry.first ? entry.first : std::u16string();
    *path = entry.second ? entry.second : std::u16string();
    return kOk;
}

HResult ScriptedComponent::PutBuffer(int32_t channel, const WideString& data, int32_t offset,
                                     int32_t length) {
    const bool fails = Record(Call{"PutBuffer", {channel, offset, length}, {data}, {}});
    if (throwOnPutBuffer) throw platform::Exception("PutBuffer refused by the script");
    if (fails) return kFail;
    const std::u16string& units = data ? *data : std::u16string();
    if (offset < 0 || length < 0 || static_cast<size_t>(offset) > units.size()) {
        SetError(kErrorInvalidArgument, "Bad buffer offset or length");
        return platform::kInvalidArgument;
    }
    channels[channel].buffer =
        units.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
    return kOk;
}

HResult ScriptedComponent::GetBuffer(int32_t channel, int32_t offset, int32_t length,
                                     WideString* data) {
    const bool fails = Record(Call{"GetBuffer", {channel, offset, length}, {}, {}});
    if (throwOnGetBuffer) throw platform::Exception("GetBuffer refused by the script");
    if (fails) return kFail;
    const std::u16string& buffer = channels[channel].buffer;
    if (offset < 0 || length < 0) {
        SetError(kErrorInvalidArgument, "Bad buffer offset or length");
        return platform::kInvalidArgument;
    }
    *data = static_cast<size_t>(offset) >= buffer.size()
                ? std::u16string()
                : buffer.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
    return kOk;
}

HResult ScriptedComponent::PrepareBuffer(int32_t channel, int32_t* result) {
    *result = 0;
    if (Record(Call{"PrepareBuffer", {channel}, {}, {}})) *result = -1;
    return kOk;
}

HResult ScriptedComponent::Version(int32_t* value) {
    if (Record(Call{"Version", {}, {}, {}})) return kFail;
    *value = version;
    return kOk;
}

HResult ScriptedComponent::GetSubKey(int32_t channel, int32_t index, platform::IDispatch** subKey) {
    *subKey = nullptr;
    if (Record(Call{"GetSubKey", {channel, index}, {}, {}})) return kFail;
    FakeFile* f = OpenFileOf(channel);
    if (f == nullptr) return kFail;
    if (index < 1 || static_cast<size_t>(index) > f->subKeys.size()) {
        SetError(kErrorNotFound, "No such subordinate key");
        return kFail;
    }
    const FakeFile::SubKey& s = f->subKeys[static_cast<size_t>(index) - 1];
    platform::ComPtr<ScriptedSubKey> object = ScriptedSubKey::Make(s.first, s.second, s.name);
    return object->QueryInterface(platform::kIidDispatch, reinterpret_cast<void**>(subKey));
}

HResult ScriptedComponent::AddSubKey(const WideString& file, const WideString& directory,
                                     int32_t first, int32_t second, const WideString& name,
                                     VariantBool* ok) {
    *ok = VARIANT_FALSE;
    if (Record(Call{"AddSubKey", {first, second}, {file, directory, name}, {}})) return kOk;
    auto f = files.find(FileId(directory, file));
    if (f == files.end()) {
        SetError(kErrorNoSuchFile, "File not found: " + Narrow(file));
        return kOk;
    }
    f->second.subKeys.push_back({first, second, name});
    *ok = VARIANT_TRUE;
    return kOk;
}

// --- Registration
// ---------------------------------------------------------------------------------

ScopedComponentRegistration::ScopedComponentRegistration(
    platform::ComPtr<ScriptedComponent> component) {
    std::shared_ptr<int> creations = creations_;
    former_ = platform::RegisterClassFactory(
        talvo::kClsidTalvoLib, [component, creations](const platform::Guid& iid, void** object) {
            ++*creations;
            return component->QueryInterface(iid, object);
        });
}

ScopedComponentRegistration::ScopedComponentRegistration(HResult failure) {
    std::shared_ptr<int> creations = creations_;
    former_ = platform::RegisterClassFactory(
        talvo::kClsidTalvoLib, [failure, creations](const platform::Guid&, void** object) {
            ++*creations;
            *object = nullptr;
            return failure;
        });
}

ScopedComponentRegistration::ScopedComponentRegistration() {
    former_ = platform::RegisterClassFactory(talvo::kClsidTalvoLib, {});
}

ScopedComponentRegistration::~ScopedComponentRegistration() {
    platform::RegisterClassFactory(talvo::kClsidTalvoLib, std::move(former_));
}

// --- Message boxes
// --------------------------------------------------------------------------------

int RecordingMessageBoxSink::Show(const std::string& caption, const std::string& text,
                                  unsigned flags) {
    boxes.push_back({caption, text, flags});
    if (onShow) onShow(boxes.back());
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return platform::CautiousAnswer(flags);
}

ScopedMessageBoxRecorder::ScopedMessageBoxRecorder()
    : sink_(std::make_shared<RecordingMessageBoxSink>()),
      former_(platform::SetMessageBoxSink(sink_)) {}

ScopedMessageBoxRecorder::~ScopedMessageBoxRecorder() {
    platform::SetMessageBoxSink(std::move(former_));
}

}  // namespace fstest
