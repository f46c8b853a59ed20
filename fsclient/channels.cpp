// CDornApi: the channel, file, record and directory-table operations. Each one is a thin
// translation onto one or two operations of the component:
//
//   - names, directories, sub-key names and directory entries cross as text (TextToWide and
//     WideToText, through the code page); key and record bytes cross one byte per 16-bit unit
//     (BytesToWide, WideToBytes, KeyVariant), so every byte value 0..255 survives; a component
//     that offers ITalvoBytes takes and gives the keys and records of NextKey, ReadKey, WriteKey,
//     PutBuffer and GetBuffer as bytes instead, in the same calls, and a read by record number
//     and a keyed write each in one call (a positioning still goes through FindKey);
//   - the component's boolean is the result wherever there is one; its status is looked at only
//     by GetDirectoryEntry and GetSubordinateKey;
//   - only the two record-buffer steps catch exceptions, and only platform::Exception.
//
// Every operation needs the connected state. Called without a connection it fails (false or -1)
// without touching its out-parameters, rather than calling through an empty interface pointer.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "fsclient/dornapi.h"
#include "platform/bounded_text.h"
#include "platform/exception.h"
#include "platform/text_case.h"

namespace {

using platform::VariantBool;

constexpr size_t kMaxDirectoryName = 3;
constexpr size_t kMaxDirectoryPath = 259;

bool IsTrue(VariantBool b) {
    return b != 0;
}

}  // namespace

// --- Files --------------------------------------------------------------------------------------

bool CDornApi::OpenFile(int32_t channel, const char* fileName, const char* directory) {
    if (!connected || !component) return false;
    WideString file = TextToWide(fileName);
    WideString dir = TextToWide(directory);
    VariantBool ok = platform::VARIANT_FALSE;
    component->Open(channel, file, dir, &ok);
    return IsTrue(ok);
}

bool CDornApi::CloseChannel(int32_t channel) {
    if (!connected || !component) return false;
    VariantBool ok = platform::VARIANT_FALSE;
    component->Close(channel, &ok);
    return IsTrue(ok);
}

bool CDornApi::EraseFile(const char* fileName, const char* directory) {
    if (!connected || !component) return false;
    WideString file = TextToWide(fileName);
    WideString dir = TextToWide(directory);
    VariantBool ok = platform::VARIANT_FALSE;
    component->Erase(file, dir, &ok);
    return IsTrue(ok);
}

bool CDornApi::CreateKeyedFile(const char* fileName, const char* directory, int32_t recordSize,
                               int32_t keySize) {
    if (!connected || !component) return false;
    WideString file = TextToWide(fileName);
    WideString dir = TextToWide(directory);
    VariantBool ok = platform::VARIANT_FALSE;
    component->CreateKeyed(file, dir, recordSize, keySize, &ok);
    return IsTrue(ok);
}

bool CDornApi::CreateExtendedKeyedFile(const char* fileName, const char* directory,
                                       int32_t recordSize, int32_t keySize, int32_t keyPosition) {
    if (!connected || !component) return false;
    WideString file = TextToWide(fileName);
    WideString dir = TextToWide(directory);
    VariantBool ok = platform::VARIANT_FALSE;
    component->CreateExtendedKeyed(file, dir, recordSize, keySize, keyPosition, &ok);
    return IsTrue(ok);
}

// --- Records and keys ---------------------------------------------------------------------------

// The channel's record buffer, at most `length` bytes, into `destination`. Returns the number of
// bytes copied, or -1 when the transfer raised the platform's exception (or there is nowhere to
// put a non-empty transfer).
int32_t CDornApi::FetchRecordBuffer(int32_t channel, uint8_t* destination, int32_t length) {
    if (!connected || !component) return -1;
    if (!destination && length > 0) return -1;
    if (bytes && length >= 0) {
        int32_t copied = 0;
        bytes->GetBufferBytes(channel, destination, length, &copied);
        return copied;
    }
    try {
        // Emptied (its memory kept): a component that gives nothing back gives no bytes.
        if (recordIn) recordIn->clear();
        component->GetBuffer(channel, 0, length, &recordIn);
        return WideToBytes(recordIn, destination, length);
    } catch (platform::Exception&) {
        return -1;
    }
}

// Makes `length` bytes of `data` the channel's record buffer. PrepareBuffer's result and
// PutBuffer's status are not looked at; false only when the transfer raised the platform's
// exception.
bool CDornApi::StoreRecordBuffer(int32_t channel, const uint8_t* data, int32_t length) {
    if (!connected || !component) return false;
    if (bytes && length >= 0 && (data != nullptr || length == 0)) {
        int32_t prepared = 0;
        component->PrepareBuffer(channel, &prepared);
        bytes->PutBufferBytes(channel, data, length);
        return true;
    }
    BytesToWideInto(data, length, recordOut);
    int32_t prepared = 0;
    component->PrepareBuffer(channel, &prepared);
    try {
        component->PutBuffer(channel, recordOut, 0, length);
        return true;
    } catch (platform::Exception&) {
        return false;
    }
}

namespace {

// The common tail of the two reads, once the component has found the record: without a length
// the caller only wanted to know that it exists; length 0 copies nothing; otherwise the record
// is copied, cut to the capacity, and *length becomes the number of bytes copied (-1 when the
// transfer failed, together with the false result).
template <typename Fetch>
bool DeliverRecord(uint8_t* buffer, int32_t* length, Fetch fetch) {
    if (!length) return true;
    if (*length == 0) return true;
    *length = fetch(buffer, *length);
    return *length != -1;
}

}  // namespace

namespace {

// Whether a read can be followed by its copy in one call: the copy must be one that cannot fail,
// so that a copy that fails still fails as it always has, after the read.
bool CopyCannotFail(const uint8_t* buffer, const int32_t* length) {
    const int32_t capacity = length != nullptr ? *length : 0;
    return capacity >= 0 && (buffer != nullptr || capacity == 0);
}

// The read and the copy in one call, `read(capacity, &copied, &ok)`, delivered as DeliverRecord
// delivers.
template <typename Read>
bool ReadInOneCall(int32_t* length, Read read) {
    const int32_t capacity = length != nullptr ? *length : 0;
    int32_t copied = 0;
    VariantBool ok = platform::VARIANT_FALSE;
    read(capacity, &copied, &ok);
    if (capacity != 0 && IsTrue(ok)) *length = copied;
    return IsTrue(ok);
}

}  // namespace

bool CDornApi::ReadByRecordNumber(int32_t channel, uint8_t* buffer, int32_t* length,
                                  int32_t recordNumber) {
    if (!connected || !component) return false;
    if (bytes && CopyCannotFail(buffer, length)) {
        return ReadInOneCall(length, [&](int32_t capacity, int32_t* copied, VariantBool* ok) {
            bytes->ReadRecordBytes(channel, recordNumber, buffer, capacity, copied, ok);
        });
    }
    return ReadByRecordNumberApart(channel, buffer, length, recordNumber);
}

bool CDornApi::ReadByRecordNumberApart(int32_t channel, uint8_t* buffer, int32_t* length,
                                       int32_t recordNumber) {
    VariantBool ok = platform::VARIANT_FALSE;
    {
        Variant number = NumberVariant(recordNumber);
        component->ReadRecord(channel, number, &ok);
    }
    if (!IsTrue(ok)) return false;
    return DeliverRecord(buffer, length,
                         [&](uint8_t* b, int32_t n) { return FetchRecordBuffer(channel, b, n); });
}

bool CDornApi::ReadByKey(int32_t channel, uint8_t* buffer, int32_t* length, const uint8_t* key,
                         int32_t keyLength) {
    if (!connected || !component) return false;
    if (bytes && CopyCannotFail(buffer, length)) {
        return ReadInOneCall(length, [&](int32_t capacity, int32_t* copied, VariantBool* ok) {
            bytes->ReadRecordByKeyBytes(channel, key, keyLength, buffer, capacity, copied, ok);
        });
    }
    return ReadByKeyApart(channel, buffer, length, key, keyLength);
}

bool CDornApi::ReadByKeyApart(int32_t channel, uint8_t* buffer, int32_t* length, const uint8_t* key,
                              int32_t keyLength) {
    VariantBool ok = platform::VARIANT_FALSE;
    if (bytes) {
        bytes->ReadKeyBytes(channel, key, keyLength, &ok);
    } else {
        KeyVariantInto(key, keyLength, keyOut);
        component->ReadKey(channel, keyOut, &ok);
    }
    if (!IsTrue(ok)) return false;
    return DeliverRecord(buffer, length,
                         [&](uint8_t* b, int32_t n) { return FetchRecordBuffer(channel, b, n); });
}

bool CDornApi::PositionByKey(int32_t channel, const uint8_t* key, int32_t keyLength) {
    if (!connected || !component) return false;
    VariantBool ok = platform::VARIANT_FALSE;
    KeyVariantInto(key, keyLength, keyOut);
    component->FindKey(channel, keyOut, &ok);
    return IsTrue(ok);
}

// The next key of the channel, cut to the capacity in keyLength, which becomes the number of
// bytes delivered. No terminator is written; the buffer's bytes after the key stay as they were.
// False when no key is left (keyLength is then 0) or the capacity is not positive.
bool CDornApi::ReadNextKey(int32_t channel, uint8_t* keyBuffer, int32_t& keyLength) {
    if (!connected || !component) return false;
    if (bytes) {
        int32_t available = 0;
        const int32_t capacity = keyBuffer != nullptr ? std::max(keyLength, 0) : 0;
        bytes->NextKeyBytes(channel, keyBuffer, capacity, &available);
        if (keyLength > 0 && keyLength > available) keyLength = available;
        return keyLength > 0 && keyBuffer != nullptr;
    }
    return ReadNextKeyApart(channel, keyBuffer, keyLength);
}

bool CDornApi::ReadNextKeyApart(int32_t channel, uint8_t* keyBuffer, int32_t& keyLength) {
    WideString& key = keyIn;
    if (key) key->clear();  // a component that gives nothing back gives no key
    component->NextKey(channel, &key);
    const size_t available = platform::WideLength(key);
    if (keyLength > 0 && static_cast<size_t>(keyLength) > available) {
        keyLength = static_cast<int32_t>(available);
    }
    if (keyLength <= 0) return false;
    if (!keyBuffer) return false;
    WideToBytes(key, keyBuffer, keyLength);
    return true;
}

// Stores the record in the channel's buffer, then writes it under the key. When the store
// fails no key is sent.
bool CDornApi::WriteKeyed(int32_t channel, const uint8_t* record, int32_t recordLength,
                          const uint8_t* key, int32_t keyLength) {
    if (!connected || !component) return false;
    if (bytes && recordLength >= 0 && (record != nullptr || recordLength == 0)) {
        VariantBool ok = platform::VARIANT_FALSE;
        bytes->WriteRecordBytes(channel, record, recordLength, key, keyLength, &ok);
        return IsTrue(ok);
    }
    return WriteKeyedApart(channel, record, recordLength, key, keyLength);
}

bool CDornApi::WriteKeyedApart(int32_t channel, const uint8_t* record, int32_t recordLength,
                               const uint8_t* key, int32_t keyLength) {
    VariantBool ok = platform::VARIANT_FALSE;
    if (!StoreRecordBuffer(channel, record, recordLength)) return false;
    if (bytes) {
        bytes->WriteKeyBytes(channel, key, keyLength, &ok);
    } else {
        KeyVariantInto(key, keyLength, keyOut);
        component->WriteKey(channel, keyOut, &ok);
    }
    return IsTrue(ok);
}

// --- Subordinate keys ---------------------------------------------------------------------------

// Sub-key `index` of the file open on the channel: its two integers and its name, cut to
// nameSize - 1 bytes and zero-terminated. False (outputs untouched) when the component has no
// such sub-key or its object does not offer the sub-key interface.
bool CDornApi::GetSubordinateKey(int32_t channel, int32_t index, int32_t& first, int32_t& second,
                                 char* name, int32_t nameSize) {
    if (!connected || !component) return false;
    platform::IDispatch* object = nullptr;
    if (component->GetSubKey(channel, index, &object) != platform::kOk) {
        if (object) object->Release();
        return false;
    }
    if (!object) return false;
    talvo::ITalvoSubKey* raw = nullptr;
    const platform::HResult found =
        object->QueryInterface(talvo::kIidTalvoSubKey, reinterpret_cast<void**>(&raw));
    object->Release();
    platform::ComPtr<talvo::ITalvoSubKey> subKey(raw);
    if (platform::Failed(found) || !subKey) return false;

    subKey->GetFirst(&first);
    subKey->GetSecond(&second);
    WideString text;
    subKey->GetName(&text);
    if (name && nameSize > 0) {
        const int32_t n = WideToBytes(text, reinterpret_cast<uint8_t*>(name), nameSize - 1);
        name[n] = '\0';
    }
    return true;
}

bool CDornApi::AddSubordinateKey(const char* fileName, const char* directory, int32_t first,
                                 int32_t second, const char* name) {
    if (!connected || !component) return false;
    WideString file = TextToWide(fileName);
    WideString dir = TextToWide(directory);
    WideString subName = TextToWide(name);
    VariantBool ok = platform::VARIANT_FALSE;
    component->AddSubKey(file, dir, first, second, subName, &ok);
    return IsTrue(ok);
}

// --- System handle ------------------------------------------------------------------------------

// The system handle of the data file open on the channel, and the component's further integer.
// False, with both outputs untouched, when the component gives handle -1.
bool CDornApi::GetChannelHandle(int32_t channel, int64_t& handle, int32_t* second) {
    if (!connected || !component) return false;
    int32_t integer = 0;
    int64_t h = -1;
    component->GetHandle(channel, &integer, &h);
    if (h == -1) return false;
    handle = h;
    if (second) *second = integer;
    return true;
}

// Moves the handle's file pointer by `position` from `origin` (2: from the end) and puts the
// new position in `position`: -1, and false, when the seek failed.
bool CDornApi::SeekHandle(int64_t handle, int64_t& position, int32_t origin) {
    if (!connected || !component) return false;
    int64_t result = -1;
    component->Seek(handle, position, origin, &result);
    position = result;
    return result != -1;
}

// --- Directory table ----------------------------------------------------------------------------

// Entry `index`: its name cut to 3 characters and its path to 259, both terminated. False, with
// the entry untouched, when the component reports a failure (past the end of the table).
bool CDornApi::GetDirectoryEntry(int32_t index, DirectoryEntry& entry) {
    if (!connected || !component) return false;
    WideString path;
    WideString name;
    if (component->GetDirectory(index, &path, &name) != platform::kOk) return false;
    const std::string nameText = WideToText(name);
    const std::string pathText = WideToText(path);
    platform::CopyBounded(entry.name, nameText.c_str(), kMaxDirectoryName);
    platform::CopyBounded(entry.path, pathText.c_str(), kMaxDirectoryPath);
    return true;
}

bool CDornApi::SetDirectoryEntry(int32_t index, const char* name, const char* path) {
    if (!connected || !component) return false;
    WideString wideName = TextToWide(name);
    WideString widePath = TextToWide(path);
    VariantBool ok = platform::VARIANT_FALSE;
    component->SetDirectory(index, wideName, widePath, &ok);
    return IsTrue(ok);
}

// Enters name and path in the table and returns the entry's index (-1 when the component
// refuses). The search runs from entry 0 to the first free (empty-named) entry: a name found on
// the way, in any letter case, keeps its index and gets the new path; otherwise the free entry
// is taken; in a full table the last entry is overwritten. An entry that matches beyond the
// first free one is not seen. The search never goes past directoryTableSize entries, whatever
// the component answers.
int32_t CDornApi::FindOrAddDirectoryEntry(const char* name, const char* path) {
    if (!connected || !component) return -1;
    int32_t i = 0;
    DirectoryEntry entry{};
    while (i < directoryTableSize && GetDirectoryEntry(i, entry) && entry.name[0] != '\0') {
        if (platform::EqualsIgnoringCase(entry.name, name != nullptr ? name : "")) break;
        ++i;
    }
    if (i == directoryTableSize) i = directoryTableSize - 1;
    return SetDirectoryEntry(i, name, path) ? i : -1;
}
