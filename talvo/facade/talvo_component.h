// TalvoComponent: the file-system component behind ITalvoFs, over one Engine per object.
// RegisterTalvoLib() (talvo/talvolib.h) registers its factory under kClsidTalvoLib.
//
// What the integers the interface leaves open mean here:
//   Initialize(title, param1, directoryTableSize, param3): param1 and param3 are kept for the
//     connection and have no effect; directoryTableSize (0 to kMaxDirectoryTableSize) is the
//     number of entries of the directory table, which is filled from the configuration file
//     (talvo/facade/talvo_config.h) in file order.
//   GetHandle(channel, integer, handle): handle is the operating system's file descriptor of
//     the data file open on the channel; integer is that file's record size in bytes, so the
//     length that Seek(handle, 0, 2) gives divided by it estimates the record count.
//   AddSubKey(file, directory, first, second, name) / ITalvoSubKey: first and second are kept
//     with the definition and handed back unchanged; the component gives them no meaning.
//   PrepareBuffer(channel, result): empties the channel's record buffer; result is the record
//     size of the file open on the channel (-1 on failure).
//
// Channels: any channel number from 0 to 2^31 - 1. Open on a channel that is already open is
// refused (close it first). Each open channel has a key position and a record buffer:
//   - Open and FindKey set the key position; NextKey delivers the next key and moves past it.
//     Reads and writes leave it alone.
//   - Record bytes and key bytes travel one byte per 16-bit unit. A unit above 0xFF is refused
//     (nothing is cut): PutBuffer then fails and leaves the buffer refused, so that a following
//     WriteKey fails too instead of storing an older buffer; a key with such a unit fails the
//     operation.
//   - ITalvoBytes (QueryInterface) offers NextKey, WriteKey, ReadKey, PutBuffer and GetBuffer
//     with the bytes as they are: the same bodies, minus the conversions at each end; and
//     ReadRecord or ReadKey then GetBuffer, and PrepareBuffer, PutBuffer then WriteKey, each in
//     one call.
// Seek accepts only handles that GetHandle gives for channels open on this object.
//
// Errors: every failure returns a failure status (kFail; kPointer for a missing out-parameter,
// kOutOfMemory when memory runs out) and records the engine's code and text, which
// GetErrorCode and GetErrorMessage give until the next operation. Before Initialize (and after
// Shutdown) operations fail with code 1, "no connection". No exception leaves the object.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "talvo/engine.h"
#include "talvo/facade/directory_table.h"
#include "talvo/talvolib.h"

namespace talvo {

constexpr int32_t kMaxDirectoryTableSize = 65535;
constexpr int32_t kTalvoLibVersion = 0x00010002;  // 1.2

class TalvoComponent final : public platform::RefCounted<ITalvoFs>, public ITalvoBytes {
  public:
    TalvoComponent();

    // One object, one count, whichever of its two interfaces is asked.
    HResult QueryInterface(const Guid& iid, void** object) override;
    uint32_t AddRef() override { return RefCounted::AddRef(); }
    uint32_t Release() override { return RefCounted::Release(); }
    HResult GetIDsOfNames(const std::u16string& name, DispId* id) override;

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
    HResult Version(int32_t* version) override;
    HResult Initialize2(const WideString& title, const WideString& networkName, int32_t param1,
                        int32_t directoryTableSize, int32_t param3) override;
    HResult GetSubKey(int32_t channel, int32_t index, platform::IDispatch** subKey) override;
    HResult AddSubKey(const WideString& file, const WideString& directory, int32_t first,
                      int32_t second, const WideString& name, VariantBool* ok) override;

    // ITalvoBytes
    HResult NextKeyBytes(int32_t channel, uint8_t* key, int32_t capacity, int32_t* length) override;
    HResult WriteKeyBytes(int32_t channel, const uint8_t* key, int32_t length,
                          VariantBool* ok) override;
    HResult ReadKeyBytes(int32_t channel, const uint8_t* key, int32_t length,
                         VariantBool* ok) override;
    HResult PutBufferBytes(int32_t channel, const uint8_t* data, int32_t length) override;
    HResult GetBufferBytes(int32_t channel, uint8_t* data, int32_t capacity,
                           int32_t* length) override;
    HResult ReadRecordBytes(int32_t channel, int32_t recordNumber, uint8_t* data, int32_t capacity,
                            int32_t* length, VariantBool* ok) override;
    HResult WriteRecordBytes(int32_t channel, const uint8_t* record, int32_t recordLength,
                             const uint8_t* key, int32_t keyLength, VariantBool* ok) override;
    HResult ReadRecordByKeyBytes(int32_t channel, const uint8_t* key, int32_t keyLength,
                                 uint8_t* data, int32_t capacity, int32_t* length,
                                 VariantBool* ok) override;

  private:
    ~TalvoComponent() override;

    struct Channel {
        std::shared_ptr<DataFile> file;
        // Keyed files: the channel's key position. FindKey sets it; NextKey delivers the first
        // key not below it, or strictly above the key delivered last; ReadKey of the key just
        // delivered takes its record from the reader, which has read it ahead. Destroyed
        // before the file is closed (it is declared after it).
        std::unique_ptr<KeyReader> reader;
        // Files without keys: the same position, for NextKey to report that they have none.
        std::string positionKey;
        bool afterPosition = false;
        std::vector<uint8_t> buffer;
        bool bufferRefused = false;  // the last PutBuffer failed
        // Where reads and PutBuffer build the next buffer; swapped in on success, so that a
        // failure leaves the buffer as it was and neither side is allocated again per record.
        std::vector<uint8_t> spare;
        uint32_t recordSize = 0;  // of the open file, which never changes while it is open
    };

    // A file named by file and directory name, resolved through the directory table.
    struct NamedFile {
        std::string fileName;
        std::string directoryName;  // as the table spells it
        std::string hostPath;
    };

    // Runs an operation body: catches every exception, turning it into a failure.
    template <typename Body>
    HResult Guard(Body&& body);
    HResult Succeed();
    HResult Fail(const Status& status);
    HResult MissingOut();  // a null out-parameter: recorded, kPointer
    // Records a failure without throwing; when its text cannot be made, the code alone.
    HResult FailWithText(Error code, const char* detail) noexcept;

    Status CheckConnected() const;
    // The open channel; kNotOpen (kNoConnection before Initialize) otherwise. The channels
    // found last are answered without a search.
    Status FindChannel(int32_t channel, Channel** found) {
        if (connected_) {
            // Spelled out: a copy loop alternates between two channels, and this runs twice a
            // record.
            if (recent_[0].number == channel && recent_[0].channel != nullptr) {
                *found = recent_[0].channel;
                return {};
            }
            if (recent_[1].number == channel && recent_[1].channel != nullptr) {
                *found = recent_[1].channel;
                return {};
            }
        }
        return SearchChannel(channel, found);
    }
    Status SearchChannel(int32_t channel, Channel** found);
    // What NextKey and NextKeyBytes share: the next key as bytes, empty when none is left, valid
    // until the channel's next operation.
    Status NextKeyOf(int32_t channel, std::span<const uint8_t>* found);
    // NextKeyOf on a channel without a reader: the key sought after the channel's position.
    static Status NextKeySought(Channel* ch, std::span<const uint8_t>* found);
    // The open channel whose record buffer may be written: not refused by the last PutBuffer.
    Status WritableChannel(int32_t channel, Channel** found);
    // Makes the n bytes at `data` the channel's record buffer. One as long as the record before
    // goes over it with memcpy (a copy loop's every record, twice); otherwise a failed allocation
    // leaves the buffer as it was.
    static void SetBuffer(Channel& ch, const uint8_t* data, size_t n) {
        if (n != 0 && ch.buffer.size() == n) {
            std::memcpy(ch.buffer.data(), data, n);
        } else {
            ch.buffer.assign(data, data + n);
        }
    }
    // Reads the record of `key` into the channel's record buffer.
    Status ReadKeyInto(Channel& ch, std::span<const uint8_t> key);
    // ReadKeyInto when the reader has not the record at hand: the record looked up.
    static Status ReadKeySearched(Channel& ch, std::span<const uint8_t> key);
    // Reads record `number` (0 or more) into the channel's record buffer.
    static Status ReadRecordInto(Channel& ch, int32_t number);
    // ReadRecordInto when the file has not the record at hand: the slot read.
    static Status ReadRecordSlot(Channel& ch, int32_t number);
    // Makes `length` bytes of `data` the channel's record buffer; a negative length, or no data
    // for a positive one, empties it and leaves it refused.
    static Status StoreBuffer(Channel& ch, const uint8_t* data, int32_t length);
    // At most `capacity` bytes of the channel's record buffer to `data`; *length the number.
    static Status CopyBufferOut(const Channel& ch, uint8_t* data, int32_t capacity,
                                int32_t* length);
    // What ReadRecordBytes and ReadRecordByKeyBytes share: the checks of the place for the
    // record before `read` fills the channel's record buffer, the copy after.
    template <typename Read>
    HResult ReadAndCopy(int32_t channel, uint8_t* data, int32_t capacity, int32_t* length,
                        VariantBool* ok, Read&& read);
    void ForgetRecentChannels() { recent_[0] = recent_[1] = {}; }
    Status Resolve(const WideString& file, const WideString& directory, NamedFile* named) const;
    Status Create(const WideString& file, const WideString& directory,
                  const CreateOptions& options);
    // CreateKeyed (type 4) and CreateExtendedKeyed (type 36, at keyPosition).
    HResult CreateKeyedFile(const WideString& file, const WideString& directory, int32_t recordSize,
                            int32_t keySize, bool extended, int32_t keyPosition, VariantBool* ok);
    Status CloseAll();
    HResult Connect(const WideString& title, int32_t param1, int32_t directoryTableSize,
                    int32_t param3);

    std::unique_ptr<Engine> engine_;
    bool connected_ = false;
    std::string title_;
    int32_t param1_ = 0;
    int32_t param3_ = 0;
    DirectoryTable directories_;
    std::map<int32_t, Channel> channels_;
    // The channels found last (a copy loop asks for the same two again and again); forgotten
    // whenever a channel goes.
    struct RecentChannel {
        int32_t number = -1;
        Channel* channel = nullptr;
    };
    RecentChannel recent_[2];
    // The key of the operation at hand, reused between calls: of a read or a positioning, and of
    // a write (kept apart, so that neither changes size from call to call in a copy loop).
    std::vector<uint8_t> keyBytes_;
    std::vector<uint8_t> writtenKeyBytes_;
    Error lastCode_ = Error::kOk;
    std::string lastMessage_;
};

}  // namespace talvo
