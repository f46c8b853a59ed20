// TalvoLib's published interface: the dual dispatch interface of the file-system component,
// the descriptor and sub-key objects it hands out, and their identifiers. Clients include this
// header alone; the engine behind it registers itself with RegisterTalvoLib().
//
// Conventions of every operation: the result is a status (kOk on success); results come in the
// out-parameters; booleans are 16-bit (non-zero is true) and are always set, false on failure;
// strings that come out are the caller's; keys travel as a variant holding a wide string (one
// key byte per 16-bit unit) and record numbers as a variant holding a 32-bit integer.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/com.h"
#include "platform/variant.h"
#include "platform/wide.h"
#include "talvo/file_types.h"

namespace talvo {

using platform::DispId;
using platform::Guid;
using platform::HResult;
using platform::Variant;
using platform::VariantBool;
using platform::WideString;

// {6A1F0C21-3B7E-4C55-9D0A-7E2B5C1D4F01}
constexpr Guid kClsidTalvoLib{
    0x6A1F0C21, 0x3B7E, 0x4C55, {0x9D, 0x0A, 0x7E, 0x2B, 0x5C, 0x1D, 0x4F, 0x01}};
// {6A1F0C22-3B7E-4C55-9D0A-7E2B5C1D4F01}
constexpr Guid kIidTalvoFs{
    0x6A1F0C22, 0x3B7E, 0x4C55, {0x9D, 0x0A, 0x7E, 0x2B, 0x5C, 0x1D, 0x4F, 0x01}};
// {6A1F0C23-3B7E-4C55-9D0A-7E2B5C1D4F01}
constexpr Guid kIidTalvoDescriptor{
    0x6A1F0C23, 0x3B7E, 0x4C55, {0x9D, 0x0A, 0x7E, 0x2B, 0x5C, 0x1D, 0x4F, 0x01}};
// {6A1F0C24-3B7E-4C55-9D0A-7E2B5C1D4F01}
constexpr Guid kIidTalvoSubKey{
    0x6A1F0C24, 0x3B7E, 0x4C55, {0x9D, 0x0A, 0x7E, 0x2B, 0x5C, 0x1D, 0x4F, 0x01}};

// {6A1F0C25-3B7E-4C55-9D0A-7E2B5C1D4F01}
constexpr Guid kIidTalvoBytes{
    0x6A1F0C25, 0x3B7E, 0x4C55, {0x9D, 0x0A, 0x7E, 0x2B, 0x5C, 0x1D, 0x4F, 0x01}};

// Error codes that every component reports through GetErrorCode.
constexpr int32_t kErrorNoConnection = 1;
constexpr int32_t kErrorVersionMismatch = 14;
// Further codes of this component that a client may tell apart.
constexpr int32_t kErrorNotFound = 3;      // no such key or record (a record number past the last)
constexpr int32_t kErrorNoSuchFile = 5;    // the file does not exist
constexpr int32_t kErrorDamaged = 10;      // the file exists but is damaged (parts that disagree)
constexpr int32_t kErrorNoSpace = 16;      // the disk is full
constexpr int32_t kErrorEndOfKeys = 17;    // no further key
constexpr int32_t kErrorOutOfMemory = 21;  // not enough memory for the operation

// The names of ITalvoFs's members in interface order: a member's dispatch id is its place in this
// list, counted from 1.
constexpr std::u16string_view kTalvoFsMembers[] = {u"Initialize",    u"Shutdown",
                                                   u"GetErrorCode",  u"GetErrorMessage",
                                                   u"Seek",          u"GetHandle",
                                                   u"Open",          u"Erase",
                                                   u"CreateKeyed",   u"Close",
                                                   u"NextKey",       u"FindKey",
                                                   u"WriteKey",      u"ReadKey",
                                                   u"ReadRecord",    u"GetDescriptor",
                                                   u"SetDirectory",  u"GetDirectory",
                                                   u"PutBuffer",     u"GetBuffer",
                                                   u"PrepareBuffer", u"CreateExtendedKeyed",
                                                   u"Version",       u"Initialize2",
                                                   u"GetSubKey",     u"AddSubKey"};

// The file-system interface, in interface order.
class ITalvoFs : public platform::IDispatch {
  public:
    virtual HResult Initialize(const WideString& title, int32_t param1, int32_t directoryTableSize,
                               int32_t param3) = 0;
    virtual HResult Shutdown() = 0;
    virtual HResult GetErrorCode(int32_t* code) = 0;
    virtual HResult GetErrorMessage(WideString* text) = 0;
    // Moves the file pointer of a system handle; *position is the new position, -1 on failure.
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual HResult Seek(int64_t handle, int64_t offset, int32_t origin, int64_t* position) = 0;
    // The system handle of the data file open on a channel (-1 on failure) and a further
    // integer of the component's.
    virtual HResult GetHandle(int32_t channel, int32_t* integer, int64_t* handle) = 0;
    virtual HResult Open(int32_t channel, const WideString& file, const WideString& directory,
                         VariantBool* ok) = 0;
    virtual HResult Erase(const WideString& file, const WideString& directory, VariantBool* ok) = 0;
    virtual HResult CreateKeyed(const WideString& file, const WideString& directory,
                                int32_t recordSize, int32_t keySize, VariantBool* ok) = 0;
    virtual HResult Close(int32_t channel, VariantBool* ok) = 0;
    // The next key in ascending order; an empty string when none is left.
    virtual HResult NextKey(int32_t channel, WideString* key) = 0;
    // Positions the channel so that NextKey gives the first key not below `key`.
    virtual HResult FindKey(int32_t channel, const Variant& key, VariantBool* ok) = 0;
    // Stores the channel's record buffer under `key`.
    virtual HResult WriteKey(int32_t channel, const Variant& key, VariantBool* ok) = 0;
    // Reads the record of `key` into the channel's record buffer.
    virtual HResult ReadKey(int32_t channel, const Variant& key, VariantBool* ok) = 0;
    // Reads record number `recordNumber` into the channel's record buffer.
    virtual HResult ReadRecord(int32_t channel, const Variant& recordNumber, VariantBool* ok) = 0;
    // The descriptor object (ITalvoDescriptor) of a file.
    virtual HResult GetDescriptor(const WideString& file, const WideString& directory,
                                  platform::IDispatch** descriptor) = 0;
    virtual HResult SetDirectory(int32_t index, const WideString& name, const WideString& path,
                                 VariantBool* ok) = 0;
    // Fails (status not kOk) past the table.
    virtual HResult GetDirectory(int32_t index, WideString* path, WideString* name) = 0;
    // Makes `data` (length units, from offset) the channel's record buffer.
    virtual HResult PutBuffer(int32_t channel, const WideString& data, int32_t offset,
                              int32_t length) = 0;
    // The channel's record buffer from offset, at most length units.
    virtual HResult GetBuffer(int32_t channel, int32_t offset, int32_t length,
                              WideString* data) = 0;
    virtual HResult PrepareBuffer(int32_t channel, int32_t* result) = 0;
    virtual HResult CreateExtendedKeyed(const WideString& file, const WideString& directory,
                                        int32_t recordSize, int32_t keySize, int32_t keyPosition,
                                        VariantBool* ok) = 0;
    // High 16 bits major, low 16 bits minor. Optional: found by name.
    virtual HResult Version(int32_t* version) = 0;
    // As Initialize, with a network name. Optional: found by name. This component serves local
    // files only: an empty or absent name connects; any other is refused with error 20 (not
    // supported) and a message that names it.
    virtual HResult Initialize2(const WideString& title, const WideString& networkName,
                                int32_t param1, int32_t directoryTableSize, int32_t param3) = 0;
    // The sub-key object (ITalvoSubKey) of index `index` of the file open on the channel.
    virtual HResult GetSubKey(int32_t channel, int32_t index, platform::IDispatch** subKey) = 0;
    virtual HResult AddSubKey(const WideString& file, const WideString& directory, int32_t first,
                              int32_t second, const WideString& name, VariantBool* ok) = 0;
};

// The operations of ITalvoFs that carry a key or a record every time a copy loop turns, with the
// bytes as they are instead of one byte per 16-bit unit: for a client in the component's own
// process, which would otherwise widen each key and record only for the component to narrow it
// again. The same channels, record buffer, statuses, booleans and errors as the ITalvoFs member
// each one stands for. Optional: a client asks for it with QueryInterface (kIidTalvoBytes) and
// keeps to ITalvoFs where it is not offered. A null pointer with a length of 0 is no bytes.
class ITalvoBytes : public platform::IUnknown {
  public:
    // As NextKey: *length is the size of the next key (0 when none is left), of which at most
    // `capacity` bytes are copied to `key`.
    virtual HResult NextKeyBytes(int32_t channel, uint8_t* key, int32_t capacity,
                                 int32_t* length) = 0;
    // As WriteKey and ReadKey of a key variant holding these bytes.
    virtual HResult WriteKeyBytes(int32_t channel, const uint8_t* key, int32_t length,
                                  VariantBool* ok) = 0;
    virtual HResult ReadKeyBytes(int32_t channel, const uint8_t* key, int32_t length,
                                 VariantBool* ok) = 0;
    // As PutBuffer of all of `data` (length 0 or more).
    virtual HResult PutBufferBytes(int32_t channel, const uint8_t* data, int32_t length) = 0;
    // As GetBuffer from offset 0: at most `capacity` bytes (0 or more) of the channel's record
    // buffer to `data`; *length is the number copied (0 on failure).
    virtual HResult GetBufferBytes(int32_t channel, uint8_t* data, int32_t capacity,
                                   int32_t* length) = 0;
    // The two halves of a copy loop in one call each, for the records that pass one by one.
    // As ReadRecord of an integer variant holding recordNumber, then GetBufferBytes of at most
    // `capacity` bytes: *ok says whether the record was read, *length how many bytes were copied.
    // A negative capacity, or none (a null pointer) for a positive one, fails before any read.
    virtual HResult ReadRecordBytes(int32_t channel, int32_t recordNumber, uint8_t* data,
                                    int32_t capacity, int32_t* length, VariantBool* ok) = 0;
    // As ReadKeyBytes, then GetBufferBytes, as ReadRecordBytes is.
    virtual HResult ReadRecordByKeyBytes(int32_t channel, const uint8_t* key, int32_t keyLength,
                                         uint8_t* data, int32_t capacity, int32_t* length,
                                         VariantBool* ok) = 0;
    // As PrepareBuffer, PutBufferBytes of the record, then WriteKeyBytes of the key; a record
    // that PutBufferBytes would refuse fails the call, leaving the buffer refused.
    virtual HResult WriteRecordBytes(int32_t channel, const uint8_t* record, int32_t recordLength,
                                     const uint8_t* key, int32_t keyLength, VariantBool* ok) = 0;
};

// A subordinate key definition.
class ITalvoSubKey : public platform::IDispatch {
  public:
    virtual HResult GetFirst(int32_t* value) = 0;
    virtual HResult GetSecond(int32_t* value) = 0;
    virtual HResult GetName(WideString* name) = 0;
};

// The descriptor of a data file, in interface order. Every read reports success or failure.
class ITalvoDescriptor : public platform::IDispatch {
  public:
    virtual HResult GetPath(WideString* path) = 0;  // not used by the client
    virtual HResult GetDirectoryText(WideString* text) = 0;
    virtual HResult GetNameText(WideString* text) = 0;
    virtual HResult GetFileType(int32_t* value) = 0;
    virtual HResult GetFormatVersion(int32_t* value) = 0;  // not used by the client
    virtual HResult GetInfoWord2(int32_t* value) = 0;
    virtual HResult GetInfoWord3(int32_t* value) = 0;
    virtual HResult GetRecordSize(int32_t* value) = 0;
    virtual HResult GetKeySize(int32_t* value) = 0;
    virtual HResult GetInfoLong1(int32_t* value) = 0;
    virtual HResult GetInfoLong2(int32_t* value) = 0;
    virtual HResult GetInfoLong3(int32_t* value) = 0;
    virtual HResult GetDateTime1(WideString* text) = 0;
    virtual HResult GetDateTime2(WideString* text) = 0;
    virtual HResult GetDateTime3(WideString* text) = 0;
    virtual HResult GetInfoWord1(int32_t* value) = 0;
    virtual HResult GetKeyPosition(int32_t* value) = 0;
    // Components of minor version 2 and later:
    virtual HResult GetExtraText(WideString* text) = 0;
    virtual HResult GetInfoLong4(int32_t* value) = 0;
};

// Registers the engine-backed component under kClsidTalvoLib (defined by the engine library).
void RegisterTalvoLib();

}  // namespace talvo
