#include "talvo/facade/talvo_component.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <span>
#include <utility>

#include "platform/codepage.h"
#include "platform/path.h"
#include "platform/wide_bytes.h"
#include "talvo/byte_copy.h"
#include "talvo/facade/descriptor_object.h"
#include "talvo/facade/dispatch_names.h"
#include "talvo/facade/facade_status.h"
#include "talvo/facade/talvo_config.h"

namespace talvo {
namespace {

using platform::kOk;
using platform::kPointer;

constexpr VariantBool kTrue = platform::VARIANT_TRUE;
constexpr VariantBool kFalse = platform::VARIANT_FALSE;

// Text (a file, directory or sub-key name) from a wide string; an absent string is empty.
Status TextFromWide(const WideString& wide, const char* what, std::string* text) {
    if (!wide) {
        text->clear();
        return Status::Ok();
    }
    std::optional<std::string> narrow = platform::WideToNarrow(*wide);
    if (!narrow)
        return Status::Failure(Error::kInvalidArgument, std::string(what) + " is not valid text");
    if (narrow->find('\0') != std::string::npos) {
        return Status::Failure(Error::kInvalidArgument,
                               std::string(what) + " holds a zero character");
    }
    *text = std::move(*narrow);
    return Status::Ok();
}

// Bytes from a wide string, one byte per unit; a unit above 0xFF is refused (and *bytes is
// then empty). Every record and key crosses here, so the common case is one pass over the
// units that narrows and checks them, with no allocation once *bytes has grown.
Status BytesFromWide(std::u16string_view wide, const char* what, std::vector<uint8_t>* bytes) {
    if (bytes->size() != wide.size()) bytes->resize(wide.size());
    if (!platform::NarrowUnits(wide.data(), wide.size(), bytes->data())) {
        bytes->clear();
        for (size_t i = 0; i < wide.size(); ++i) {
            if (wide[i] > 0xFF) {
                char detail[96];
                std::snprintf(detail, sizeof detail, "%s holds character U+%04X at %zu, above 0xFF",
                              what, static_cast<unsigned>(wide[i]), i);
                return Status::Failure(Error::kInvalidArgument, detail);
            }
        }
    }
    return Status::Ok();
}

// The bytes, one unit each (zero-extended), into *wide, whose memory is reused: the caller's
// string of the last record serves for the next.
void WideFromBytes(std::span<const uint8_t> bytes, WideString* wide) {
    if (!*wide) wide->emplace();
    std::u16string& units = **wide;
    units.resize(bytes.size());
    platform::WidenBytes(bytes.data(), bytes.size(), units.data());
}

// The key bytes of a key variant (a wide string).
Status KeyFromVariant(const Variant& key, std::vector<uint8_t>* bytes) {
    if (key.vt != platform::VT_BSTR) {
        return Status::Failure(
            Error::kInvalidArgument,
            "a key must be a string variant, not of kind " + std::to_string(key.vt));
    }
    return BytesFromWide(key.bstrVal ? std::u16string_view(*key.bstrVal) : std::u16string_view(),
                         "the key", bytes);
}

// A file opened for one operation (a descriptor, a sub-key definition): closed when it goes,
// unless Close was called. When the file is open on a channel, this is one more hold on it.
class TemporaryOpen {
  public:
    explicit TemporaryOpen(Engine& engine) : engine_(engine) {}
    TemporaryOpen(const TemporaryOpen&) = delete;
    TemporaryOpen& operator=(const TemporaryOpen&) = delete;
    ~TemporaryOpen() {
        if (file_) engine_.Close(file_);
    }

    Status Open(const std::string& hostPath) {
        Status s = engine_.Open(hostPath, &file_);
        if (!s.ok()) file_.reset();  // a failed open gives no hold
        if (s.ok() && !file_) s = Status::Failure(Error::kIoError, "the engine gave no file");
        return s;
    }
    DataFile* operator->() const { return file_.get(); }
    // Releases the hold; the last hold commits.
    Status Close() {
        std::shared_ptr<DataFile> file = std::move(file_);
        file_.reset();
        return engine_.Close(file);
    }

  private:
    Engine& engine_;
    std::shared_ptr<DataFile> file_;
};

bool IsKeyed(FileType type) {
    return type == FileType::kKeyed || type == FileType::kExtendedKeyed;
}

// The bytes a pointer and a length give; none when either is missing or the length is not
// positive, as an absent or empty key variant gives none.
std::span<const uint8_t> BytesOf(const uint8_t* bytes, int32_t length) {
    if (bytes == nullptr || length <= 0) return {};
    return {bytes, static_cast<size_t>(length)};
}

}  // namespace

TalvoComponent::TalvoComponent() : engine_(std::make_unique<Engine>()) {}

TalvoComponent::~TalvoComponent() {
    try {
        CloseAll();
    } catch (...) {
        // Nothing may leave a destructor; the engine has closed what it could.
    }
}

// --- Error bookkeeping ---------------------------------------------------------------------------

template <typename Body>
HResult TalvoComponent::Guard(Body&& body) {
    // The handlers build no Status: making its text may need the memory that just ran out.
    try {
        return body();
    } catch (const std::bad_alloc&) {
        FailWithText(Error::kOutOfMemory, "an allocation failed; the operation was not done");
        return platform::kOutOfMemory;
    } catch (const std::exception& e) {
        return FailWithText(Error::kIoError, e.what());
    } catch (...) {
        return FailWithText(Error::kIoError, "unexpected failure");
    }
}

HResult TalvoComponent::FailWithText(Error code, const char* detail) noexcept {
    lastCode_ = code;
    try {
        lastMessage_ = std::string(ErrorText(code)) + ": " + detail;
    } catch (...) {
        lastMessage_.clear();  // the code alone must do
    }
    return platform::kFail;
}

HResult TalvoComponent::Succeed() {
    lastCode_ = Error::kOk;
    lastMessage_.clear();
    return kOk;
}

HResult TalvoComponent::MissingOut() {
    FailWithText(Error::kInvalidArgument, "no place for the result was given");
    return kPointer;
}

HResult TalvoComponent::Fail(const Status& status) {
    lastCode_ = status.code() == Error::kOk ? Error::kIoError : status.code();
    try {
        lastMessage_ = status.message();
    } catch (...) {
        lastMessage_.clear();  // the code alone must do
    }
    return platform::kFail;
}

Status TalvoComponent::CheckConnected() const {
    if (connected_) return Status::Ok();
    return Status::Failure(Error::kNoConnection, "the component is not initialised");
}

Status TalvoComponent::SearchChannel(int32_t channel, Channel** found) {
    if (Status s = CheckConnected(); !s.ok()) return s;
    auto it = channels_.find(channel);
    if (it == channels_.end()) {
        return Status::Failure(Error::kNotOpen,
                               "no file is open on channel " + std::to_string(channel));
    }
    *found = &it->second;
    recent_[1] = recent_[0];
    recent_[0] = {channel, &it->second};
    return Status::Ok();
}

Status TalvoComponent::Resolve(const WideString& file, const WideString& directory,
                               NamedFile* named) const {
    if (Status s = CheckConnected(); !s.ok()) return s;
    std::string directoryName;
    if (Status s = TextFromWide(file, "the file name", &named->fileName); !s.ok()) return s;
    if (Status s = TextFromWide(directory, "the directory name", &directoryName); !s.ok()) return s;
    if (named->fileName.empty())
        return Status::Failure(Error::kInvalidArgument, "no file name was given");
    DirectoryConfigEntry entry;
    if (Status s = directories_.Find(directoryName, &entry); !s.ok()) return s;
    named->directoryName = entry.name;
    if (entry.path.empty()) {
        return Status::Failure(Error::kNoDirectory, "directory " + entry.name + " has no path");
    }
    std::optional<std::string> host =
        platform::ToHostPath(platform::JoinPath(entry.path, named->fileName));
    if (!host) {
        return Status::Failure(Error::kNoDirectory, "the drive of directory " + entry.name + " (" +
                                                        entry.path + ") is not available");
    }
    named->hostPath = std::move(*host);
    return Status::Ok();
}

Status TalvoComponent::CloseAll() {
    Status first;
    while (!channels_.empty()) {
        auto it = channels_.begin();
        std::shared_ptr<DataFile> file = std::move(it->second.file);
        ForgetRecentChannels();
        channels_.erase(it);
        if (!file) continue;
        Status s = engine_->Close(file);
        if (!s.ok() && first.ok()) first = s;
    }
    return first;
}

// --- The dispatch interface ----------------------------------------------------------------------

HResult TalvoComponent::QueryInterface(const Guid& iid, void** object) {
    if (object == nullptr) return kPointer;
    if (iid == platform::kIidUnknown || iid == platform::kIidDispatch || iid == kIidTalvoFs) {
        AddRef();
        *object = static_cast<ITalvoFs*>(this);
        return kOk;
    }
    if (iid == kIidTalvoBytes) {
        AddRef();
        *object = static_cast<ITalvoBytes*>(this);
        return kOk;
    }
    *object = nullptr;
    return platform::kNoInterface;
}

HResult TalvoComponent::GetIDsOfNames(const std::u16string& name, DispId* id) {
    return FindDispatchName(kTalvoFsMembers, name, id);
}

// --- Connection ----------------------------------------------------------------------------------

HResult TalvoComponent::Connect(const WideString& title, int32_t param1, int32_t directoryTableSize,
                                int32_t param3) {
    if (connected_) {
        return Fail(Status::Failure(Error::kInvalidArgument,
                                    "the component is already initialised; shut it down first"));
    }
    if (directoryTableSize < 0 || directoryTableSize > kMaxDirectoryTableSize) {
        return Fail(Status::Failure(Error::kInvalidArgument,
                                    "a directory table of " + std::to_string(directoryTableSize) +
                                        " entries (0 to " + std::to_string(kMaxDirectoryTableSize) +
                                        ")"));
    }
    std::string titleText;
    if (Status s = TextFromWide(title, "the title", &titleText); !s.ok()) return Fail(s);

    DirectoryTable table(static_cast<size_t>(directoryTableSize));
    std::string configPath;
    // Without a configuration file (or a place for one) the table starts empty.
    if (TalvoConfigPath(&configPath).ok()) {
        std::vector<DirectoryConfigEntry> entries;
        if (Status s = LoadDirectoryConfig(configPath, &entries); !s.ok()) return Fail(s);
        table.Fill(entries);
    }
    directories_ = std::move(table);
    title_ = std::move(titleText);
    param1_ = param1;
    param3_ = param3;
    connected_ = true;
    return Succeed();
}

HResult TalvoComponent::Initialize(const WideString& title, int32_t param1,
                                   int32_t directoryTableSize, int32_t param3) {
    return Guard([&] { return Connect(title, param1, directoryTableSize, param3); });
}

HResult TalvoComponent::Initialize2(const WideString& title, const WideString& networkName,
                                    int32_t param1, int32_t directoryTableSize, int32_t param3) {
    return Guard([&] {
        if (networkName && !networkName->empty()) {
            std::string name;
            if (!TextFromWide(networkName, "the network name", &name).ok()) name = "?";
            // A name the command line gave in quotes keeps them; it is not quoted twice.
            const bool quoted = name.size() >= 2 && (name.front() == '"' || name.front() == '\'') &&
                                name.back() == name.front();
            if (!quoted) name = "\"" + name + "\"";
            // Not "no connection": clients show a fixed text of their own for that code, so the
            // reason would never reach the user.
            return Fail(
                Status::Failure(Error::kNotSupported,
                                "this TalvoLib serves local files only and cannot connect to "
                                "the network name " +
                                    name));
        }
        return Connect(title, param1, directoryTableSize, param3);
    });
}

HResult TalvoComponent::Shutdown() {
    return Guard([&] {
        Status s = CloseAll();
        connected_ = false;
        directories_ = DirectoryTable();
        return s.ok() ? Succeed() : Fail(s);
    });
}

HResult TalvoComponent::GetErrorCode(int32_t* code) {
    if (code == nullptr) return kPointer;
    *code = static_cast<int32_t>(lastCode_);
    return kOk;
}

HResult TalvoComponent::GetErrorMessage(WideString* text) {
    if (text == nullptr) return kPointer;
    try {
        // A failure told when there was no memory for its text is told by its code's text.
        *text = platform::NarrowToWide(lastMessage_.empty() && lastCode_ != Error::kOk
                                           ? std::string(ErrorText(lastCode_))
                                           : lastMessage_);
    } catch (...) {
        text->reset();
        return platform::kOutOfMemory;
    }
    return kOk;
}

HResult TalvoComponent::Version(int32_t* version) {
    if (version == nullptr) return kPointer;
    *version = kTalvoLibVersion;
    return kOk;
}

// --- Handles -------------------------------------------------------------------------------------

HResult TalvoComponent::GetHandle(int32_t channel, int32_t* integer, int64_t* handle) {
    if (handle == nullptr || integer == nullptr) return MissingOut();
    *handle = -1;
    *integer = 0;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        int fd = ch->file->NativeHandle();
        if (fd < 0) return Fail(Status::Failure(Error::kNotOpen, "the data file has no handle"));
        *integer = static_cast<int32_t>(ch->file->Info().recordSize);
        *handle = fd;
        return Succeed();
    });
}

HResult TalvoComponent::Seek(int64_t handle, int64_t offset, int32_t origin, int64_t* position) {
    if (position == nullptr) return MissingOut();
    *position = -1;
    return Guard([&] {
        if (Status s = CheckConnected(); !s.ok()) return Fail(s);
        bool ours = false;
        for (const auto& [number, ch] : channels_) ours = ours || ch.file->NativeHandle() == handle;
        if (!ours || handle < 0) {
            return Fail(Status::Failure(
                Error::kInvalidArgument,
                "handle " + std::to_string(handle) + " is not a data file open on a channel"));
        }
        int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : -1;
        if (whence < 0) {
            return Fail(Status::Failure(Error::kInvalidArgument,
                                        "seek origin " + std::to_string(origin) + " (0, 1 or 2)"));
        }
        off_t result = ::lseek(static_cast<int>(handle), static_cast<off_t>(offset), whence);
        if (result < 0) {
            return Fail(
                Status::Failure(Error::kIoError, std::string("seek: ") + std::strerror(errno)));
        }
        *position = result;
        return Succeed();
    });
}

// --- Files ---------------------------------------------------------------------------------------

HResult TalvoComponent::Open(int32_t channel, const WideString& file, const WideString& directory,
                             VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        if (Status s = CheckConnected(); !s.ok()) return Fail(s);
        if (channel < 0) {
            return Fail(
                Status::Failure(Error::kInvalidArgument,
                                "channel " + std::to_string(channel) + " (channels are 0 and up)"));
        }
        if (channels_.count(channel) != 0) {
            return Fail(Status::Failure(Error::kInvalidArgument,
                                        "channel " + std::to_string(channel) + " is already open"));
        }
        NamedFile named;
        if (Status s = Resolve(file, directory, &named); !s.ok()) return Fail(s);
        std::shared_ptr<DataFile> opened;
        if (Status s = engine_->Open(named.hostPath, &opened); !s.ok() || !opened) {
            return Fail(s.ok() ? Status::Failure(Error::kIoError, "the engine gave no file") : s);
        }
        try {
            Channel& added = channels_[channel];
            added.file = opened;
            const FileInfo info = opened->Info();
            added.recordSize = info.recordSize;
            if (IsKeyed(info.type)) {
                if (Status s = opened->NewKeyReader(&added.reader); !s.ok()) {
                    ForgetRecentChannels();
                    channels_.erase(channel);
                    engine_->Close(opened);
                    return Fail(s);
                }
            }
        } catch (...) {
            // A failed allocation here leaves no channel behind that names a closed file.
            ForgetRecentChannels();
            channels_.erase(channel);
            engine_->Close(opened);
            throw;
        }
        *ok = kTrue;
        return Succeed();
    });
}

HResult TalvoComponent::Close(int32_t channel, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        std::shared_ptr<DataFile> held = std::move(ch->file);
        ForgetRecentChannels();
        channels_.erase(channel);
        if (Status s = engine_->Close(held); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

HResult TalvoComponent::Erase(const WideString& file, const WideString& directory,
                              VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        NamedFile named;
        if (Status s = Resolve(file, directory, &named); !s.ok()) return Fail(s);
        if (Status s = engine_->Erase(named.hostPath); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

Status TalvoComponent::Create(const WideString& file, const WideString& directory,
                              const CreateOptions& options) {
    NamedFile named;
    if (Status s = Resolve(file, directory, &named); !s.ok()) return s;
    return engine_->Create(named.hostPath, options);
}

HResult TalvoComponent::CreateKeyed(const WideString& file, const WideString& directory,
                                    int32_t recordSize, int32_t keySize, VariantBool* ok) {
    return CreateKeyedFile(file, directory, recordSize, keySize, false, 0, ok);
}

HResult TalvoComponent::CreateExtendedKeyed(const WideString& file, const WideString& directory,
                                            int32_t recordSize, int32_t keySize,
                                            int32_t keyPosition, VariantBool* ok) {
    return CreateKeyedFile(file, directory, recordSize, keySize, true, keyPosition, ok);
}

HResult TalvoComponent::CreateKeyedFile(const WideString& file, const WideString& directory,
                                        int32_t recordSize, int32_t keySize, bool extended,
                                        int32_t keyPosition, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        if (Status s = CheckConnected(); !s.ok()) return Fail(s);
        if (recordSize < 0 || keySize < 0 || (extended && keyPosition < 0)) {
            return Fail(Status::Failure(
                Error::kInvalidArgument,
                "record size " + std::to_string(recordSize) + ", key size " +
                    std::to_string(keySize) +
                    (extended ? ", key position " + std::to_string(keyPosition) : std::string()) +
                    ": none of them may be negative"));
        }
        CreateOptions options;
        options.type = extended ? FileType::kExtendedKeyed : FileType::kKeyed;
        options.recordSize = static_cast<uint32_t>(recordSize);
        options.keySize = static_cast<uint32_t>(keySize);
        options.keyPosition = extended ? static_cast<uint32_t>(keyPosition) : 0;
        if (Status s = Create(file, directory, options); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

// --- Keys and records ----------------------------------------------------------------------------

[[gnu::always_inline]] inline Status TalvoComponent::NextKeyOf(int32_t channel,
                                                               std::span<const uint8_t>* found) {
    Channel* ch = nullptr;
    if (Status s = FindChannel(channel, &ch); !s.ok()) return s;
    if (ch->reader) {
        Status s = ch->reader->Next(found);
        if (s.code() == Error::kEndOfKeys) {
            *found = {};  // none left: the empty key
            return Status::Ok();
        }
        return s;
    }
    return NextKeySought(ch, found);
}

Status TalvoComponent::NextKeySought(Channel* ch, std::span<const uint8_t>* found) {
    std::span<const uint8_t> from(reinterpret_cast<const uint8_t*>(ch->positionKey.data()),
                                  ch->positionKey.size());
    std::string next;
    Status s = ch->file->SeekKey(from, ch->afterPosition, &next);
    if (s.code() == Error::kEndOfKeys) {
        *found = {};  // none left: the empty key
        return Status::Ok();
    }
    if (!s.ok()) return s;
    ch->positionKey = std::move(next);
    ch->afterPosition = true;
    *found =
        std::span(reinterpret_cast<const uint8_t*>(ch->positionKey.data()), ch->positionKey.size());
    return Status::Ok();
}

HResult TalvoComponent::NextKey(int32_t channel, WideString* key) {
    if (key == nullptr) return MissingOut();
    if (*key)
        (*key)->clear();  // its memory is kept for the key to come
    else
        key->emplace();
    return Guard([&] {
        std::span<const uint8_t> found;
        if (Status s = NextKeyOf(channel, &found); !s.ok()) return Fail(s);
        WideFromBytes(found, key);
        return Succeed();
    });
}

HResult TalvoComponent::NextKeyBytes(int32_t channel, uint8_t* key, int32_t capacity,
                                     int32_t* length) {
    if (length == nullptr) return MissingOut();
    *length = 0;
    return Guard([&] {
        std::span<const uint8_t> found;
        if (Status s = NextKeyOf(channel, &found); !s.ok()) return Fail(s);
        const size_t copied = std::min(found.size(), static_cast<size_t>(std::max(capacity, 0)));
        if (key != nullptr) CopyFewBytes(key, found.data(), copied);
        *length = static_cast<int32_t>(found.size());
        return Succeed();
    });
}

HResult TalvoComponent::FindKey(int32_t channel, const Variant& key, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        FileInfo info = ch->file->Info();
        if (!IsKeyed(info.type)) {
            return Fail(
                Status::Failure(Error::kWrongFileType,
                                "the file on channel " + std::to_string(channel) + " has no keys"));
        }
        std::vector<uint8_t>& bytes = keyBytes_;
        if (Status s = KeyFromVariant(key, &bytes); !s.ok()) return Fail(s);
        // A positioning key counts with its first key-size bytes.
        if (bytes.size() > info.keySize) bytes.resize(info.keySize);
        if (ch->reader) ch->reader->Seek(bytes, false);
        ch->positionKey.assign(bytes.begin(), bytes.end());
        ch->afterPosition = false;
        *ok = kTrue;
        return Succeed();
    });
}

Status TalvoComponent::WritableChannel(int32_t channel, Channel** found) {
    if (Status s = FindChannel(channel, found); !s.ok()) return s;
    if ((*found)->bufferRefused) {
        return Status::Failure(Error::kInvalidArgument,
                               "the record buffer of channel " + std::to_string(channel) +
                                   " was refused by the last PutBuffer; nothing was written");
    }
    return Status::Ok();
}

HResult TalvoComponent::WriteKey(int32_t channel, const Variant& key, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = WritableChannel(channel, &ch); !s.ok()) return Fail(s);
        std::vector<uint8_t>& bytes = writtenKeyBytes_;
        if (Status s = KeyFromVariant(key, &bytes); !s.ok()) return Fail(s);
        if (Status s = ch->file->Put(bytes, ch->buffer); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

HResult TalvoComponent::WriteKeyBytes(int32_t channel, const uint8_t* key, int32_t length,
                                      VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = WritableChannel(channel, &ch); !s.ok()) return Fail(s);
        if (Status s = ch->file->Put(BytesOf(key, length), ch->buffer); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

[[gnu::always_inline]] inline Status TalvoComponent::ReadKeyInto(Channel& ch,
                                                                 std::span<const uint8_t> key) {
    // A record read ahead is copied as it is; a failed allocation leaves the buffer as it was.
    if (ch.reader) {
        if (const uint8_t* at = ch.reader->RecordAtHand(key)) {
            SetBuffer(ch, at, ch.recordSize);
            ch.bufferRefused = false;
            return Status::Ok();
        }
    }
    return ReadKeySearched(ch, key);
}

Status TalvoComponent::ReadKeySearched(Channel& ch, std::span<const uint8_t> key) {
    Status s = ch.reader ? ch.reader->Get(key, &ch.spare) : ch.file->Get(key, &ch.spare);
    if (!s.ok()) return s;
    ch.buffer.swap(ch.spare);
    ch.bufferRefused = false;
    return Status::Ok();
}

HResult TalvoComponent::ReadKey(int32_t channel, const Variant& key, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        std::vector<uint8_t>& bytes = keyBytes_;
        if (Status s = KeyFromVariant(key, &bytes); !s.ok()) return Fail(s);
        if (Status s = ReadKeyInto(*ch, bytes); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

HResult TalvoComponent::ReadKeyBytes(int32_t channel, const uint8_t* key, int32_t length,
                                     VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (Status s = ReadKeyInto(*ch, BytesOf(key, length)); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

// The failures of the reads and stores of records, made apart: the text they build would keep
// the steps every record takes from being inline.
[[gnu::cold, gnu::noinline]] static Status NegativeRecordNumber() {
    return Status::Failure(Error::kInvalidArgument,
                           "a record number must be an integer variant of 0 or more");
}

[[gnu::cold, gnu::noinline]] static Status RefusedBuffer(const uint8_t* data, int32_t length) {
    return Status::Failure(Error::kInvalidArgument, "PutBuffer of " + std::to_string(length) +
                                                        " bytes from " +
                                                        (data ? "a record" : "nowhere"));
}

[[gnu::cold, gnu::noinline]] static Status BadPlace(int32_t capacity) {
    return Status::Failure(Error::kInvalidArgument,
                           capacity < 0 ? "GetBuffer offset and length cannot be negative"
                                        : "no place for the record buffer was given");
}

[[gnu::always_inline]] inline Status TalvoComponent::ReadRecordInto(Channel& ch, int32_t number) {
    if (number < 0) return NegativeRecordNumber();
    // A record read ahead is copied as it is; a failed allocation leaves the buffer as it was.
    if (const uint8_t* at = ch.file->RecordAtHand(static_cast<uint64_t>(number))) {
        SetBuffer(ch, at, ch.recordSize);
        ch.bufferRefused = false;
        return Status::Ok();
    }
    return ReadRecordSlot(ch, number);
}

Status TalvoComponent::ReadRecordSlot(Channel& ch, int32_t number) {
    Status s = ch.file->ReadRecord(static_cast<uint64_t>(number), &ch.spare);
    if (!s.ok()) return s;
    ch.buffer.swap(ch.spare);
    ch.bufferRefused = false;
    return Status::Ok();
}

HResult TalvoComponent::ReadRecord(int32_t channel, const Variant& recordNumber, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        // Any other kind of variant is refused as a negative number is.
        const int32_t number = recordNumber.vt == platform::VT_I4 ? recordNumber.lVal : -1;
        if (Status s = ReadRecordInto(*ch, number); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

template <typename Read>
HResult TalvoComponent::ReadAndCopy(int32_t channel, uint8_t* data, int32_t capacity,
                                    int32_t* length, VariantBool* ok, Read&& read) {
    if (ok == nullptr || length == nullptr) return MissingOut();
    *ok = kFalse;
    *length = 0;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (capacity < 0 || (data == nullptr && capacity > 0)) return Fail(BadPlace(capacity));
        if (Status s = read(*ch); !s.ok()) return Fail(s);
        *ok = kTrue;
        // The place was checked above: the copy cannot fail.
        const size_t count = std::min(static_cast<size_t>(capacity), ch->buffer.size());
        if (count != 0) std::memcpy(data, ch->buffer.data(), count);
        *length = static_cast<int32_t>(count);
        return Succeed();
    });
}

HResult TalvoComponent::ReadRecordBytes(int32_t channel, int32_t recordNumber, uint8_t* data,
                                        int32_t capacity, int32_t* length, VariantBool* ok) {
    return ReadAndCopy(channel, data, capacity, length, ok,
                       [&](Channel& ch) { return ReadRecordInto(ch, recordNumber); });
}

HResult TalvoComponent::ReadRecordByKeyBytes(int32_t channel, const uint8_t* key, int32_t keyLength,
                                             uint8_t* data, int32_t capacity, int32_t* length,
                                             VariantBool* ok) {
    return ReadAndCopy(channel, data, capacity, length, ok,
                       [&](Channel& ch) { return ReadKeyInto(ch, BytesOf(key, keyLength)); });
}

// --- The record buffer ---------------------------------------------------------------------------

HResult TalvoComponent::PrepareBuffer(int32_t channel, int32_t* result) {
    if (result == nullptr) return MissingOut();
    *result = -1;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        ch->buffer.clear();
        ch->bufferRefused = false;
        *result = static_cast<int32_t>(ch->recordSize);
        return Succeed();
    });
}

HResult TalvoComponent::PutBuffer(int32_t channel, const WideString& data, int32_t offset,
                                  int32_t length) {
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        size_t available = platform::WideLength(data);
        Status s;
        if (offset < 0 || length < 0 ||
            static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > available) {
            s = Status::Failure(Error::kInvalidArgument,
                                "PutBuffer of " + std::to_string(length) + " units from " +
                                    std::to_string(offset) + " of a string of " +
                                    std::to_string(available));
        }
        if (s.ok()) {
            std::u16string_view units = data ? std::u16string_view(*data) : std::u16string_view();
            s = BytesFromWide(units.substr(offset, length), "the record", &ch->spare);
        }
        if (!s.ok()) {
            ch->buffer.clear();
            ch->bufferRefused = true;
            return Fail(s);
        }
        ch->buffer.swap(ch->spare);
        ch->bufferRefused = false;
        return Succeed();
    });
}

HResult TalvoComponent::GetBuffer(int32_t channel, int32_t offset, int32_t length,
                                  WideString* data) {
    if (data == nullptr) return MissingOut();
    if (*data)
        (*data)->clear();  // its memory is kept for the record to come
    else
        data->emplace();
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (offset < 0 || length < 0) {
            return Fail(Status::Failure(Error::kInvalidArgument,
                                        "GetBuffer offset and length cannot be negative"));
        }
        size_t start = std::min(static_cast<size_t>(offset), ch->buffer.size());
        size_t count = std::min(static_cast<size_t>(length), ch->buffer.size() - start);
        WideFromBytes(std::span(ch->buffer).subspan(start, count), data);
        return Succeed();
    });
}

[[gnu::always_inline]] inline Status TalvoComponent::StoreBuffer(Channel& ch, const uint8_t* data,
                                                                 int32_t length) {
    if (length < 0 || (data == nullptr && length > 0)) {
        ch.buffer.clear();
        ch.bufferRefused = true;
        return RefusedBuffer(data, length);
    }
    // Copied in place: a record no longer than the buffer's room needs no allocation, and a
    // failed one leaves the buffer as it was.
    SetBuffer(ch, data, static_cast<size_t>(length));
    ch.bufferRefused = false;
    return Status::Ok();
}

Status TalvoComponent::CopyBufferOut(const Channel& ch, uint8_t* data, int32_t capacity,
                                     int32_t* length) {
    if (capacity < 0) {
        return Status::Failure(Error::kInvalidArgument,
                               "GetBuffer offset and length cannot be negative");
    }
    const size_t count = std::min(static_cast<size_t>(capacity), ch.buffer.size());
    if (count != 0) {
        if (data == nullptr) {
            return Status::Failure(Error::kInvalidArgument,
                                   "no place for the record buffer was given");
        }
        std::memcpy(data, ch.buffer.data(), count);
    }
    *length = static_cast<int32_t>(count);
    return Status::Ok();
}

HResult TalvoComponent::PutBufferBytes(int32_t channel, const uint8_t* data, int32_t length) {
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (Status s = StoreBuffer(*ch, data, length); !s.ok()) return Fail(s);
        return Succeed();
    });
}

HResult TalvoComponent::GetBufferBytes(int32_t channel, uint8_t* data, int32_t capacity,
                                       int32_t* length) {
    if (length == nullptr) return MissingOut();
    *length = 0;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (Status s = CopyBufferOut(*ch, data, capacity, length); !s.ok()) return Fail(s);
        return Succeed();
    });
}

HResult TalvoComponent::WriteRecordBytes(int32_t channel, const uint8_t* record,
                                         int32_t recordLength, const uint8_t* key,
                                         int32_t keyLength, VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (Status s = StoreBuffer(*ch, record, recordLength); !s.ok()) return Fail(s);
        if (Status s = ch->file->Put(BytesOf(key, keyLength), ch->buffer); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

// --- Descriptors and sub-keys --------------------------------------------------------------------

HResult TalvoComponent::GetDescriptor(const WideString& file, const WideString& directory,
                                      platform::IDispatch** descriptor) {
    if (descriptor == nullptr) return MissingOut();
    *descriptor = nullptr;
    return Guard([&] {
        NamedFile named;
        if (Status s = Resolve(file, directory, &named); !s.ok()) return Fail(s);
        TemporaryOpen held(*engine_);
        if (Status s = held.Open(named.hostPath); !s.ok()) return Fail(s);
        FileInfo info = held->Info();
        int subKeys = 0;
        SubKeyDef def;
        for (int i = 1; i <= kMaxSubKeys; ++i) {
            if (held->GetSubKey(i, &def).ok()) ++subKeys;
        }
        if (Status s = held.Close(); !s.ok()) return Fail(s);
        *descriptor =
            NewDescriptorObject(DescribeFile(info, subKeys, named.directoryName, named.fileName));
        return Succeed();
    });
}

HResult TalvoComponent::GetSubKey(int32_t channel, int32_t index, platform::IDispatch** subKey) {
    if (subKey == nullptr) return MissingOut();
    *subKey = nullptr;
    return Guard([&] {
        Channel* ch = nullptr;
        if (Status s = FindChannel(channel, &ch); !s.ok()) return Fail(s);
        if (index < 1 || index > kMaxSubKeys) {
            return Fail(Status::Failure(Error::kInvalidArgument,
                                        "sub-key index " + std::to_string(index) + " (1 to 99)"));
        }
        SubKeyDef def;
        if (Status s = ch->file->GetSubKey(index, &def); !s.ok()) return Fail(s);
        *subKey = NewSubKeyObject(std::move(def));
        return Succeed();
    });
}

HResult TalvoComponent::AddSubKey(const WideString& file, const WideString& directory,
                                  int32_t first, int32_t second, const WideString& name,
                                  VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        NamedFile named;
        if (Status s = Resolve(file, directory, &named); !s.ok()) return Fail(s);
        SubKeyDef def{first, second, {}};
        if (Status s = TextFromWide(name, "the sub-key name", &def.name); !s.ok()) return Fail(s);
        if (def.name.size() > kMaxSubKeyName) {
            return Fail(
                Status::Failure(Error::kInvalidArgument,
                                "sub-key name \"" + def.name + "\" is longer than 31 characters"));
        }
        TemporaryOpen held(*engine_);
        if (Status s = held.Open(named.hostPath); !s.ok()) return Fail(s);
        Status added = held->AddSubKey(def);
        Status closed = held.Close();  // the last hold commits the definition
        if (!added.ok()) return Fail(added);
        if (!closed.ok()) return Fail(closed);
        *ok = kTrue;
        return Succeed();
    });
}

// --- The directory table -------------------------------------------------------------------------

HResult TalvoComponent::SetDirectory(int32_t index, const WideString& name, const WideString& path,
                                     VariantBool* ok) {
    if (ok == nullptr) return MissingOut();
    *ok = kFalse;
    return Guard([&] {
        if (Status s = CheckConnected(); !s.ok()) return Fail(s);
        std::string nameText;
        std::string pathText;
        if (Status s = TextFromWide(name, "the directory name", &nameText); !s.ok()) return Fail(s);
        if (Status s = TextFromWide(path, "the directory path", &pathText); !s.ok()) return Fail(s);
        if (Status s = directories_.Set(index, nameText, pathText); !s.ok()) return Fail(s);
        *ok = kTrue;
        return Succeed();
    });
}

HResult TalvoComponent::GetDirectory(int32_t index, WideString* path, WideString* name) {
    if (path == nullptr || name == nullptr) return MissingOut();
    path->reset();
    name->reset();
    return Guard([&] {
        if (Status s = CheckConnected(); !s.ok()) return Fail(s);
        DirectoryConfigEntry entry;
        if (Status s = directories_.Get(index, &entry); !s.ok()) return Fail(s);
        *path = platform::NarrowToWide(entry.path);
        *name = platform::NarrowToWide(entry.name);
        return Succeed();
    });
}

// --- Registration --------------------------------------------------------------------------------

void RegisterTalvoLib() {
    platform::RegisterClassFactory(kClsidTalvoLib, [](const Guid& iid, void** object) -> HResult {
        if (object == nullptr) return kPointer;
        *object = nullptr;
        TalvoComponent* component = nullptr;
        try {
            component = new TalvoComponent();
        } catch (...) {
            return platform::kOutOfMemory;
        }
        HResult hr = component->QueryInterface(iid, object);
        component->Release();  // the query's reference is the caller's
        return hr;
    });
}

}  // namespace talvo
