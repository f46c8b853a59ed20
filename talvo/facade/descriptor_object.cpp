#include "talvo/facade/descriptor_object.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "platform/codepage.h"
#include "platform/path.h"
#include "talvo/facade/dispatch_names.h"

namespace talvo {
namespace {

using platform::HResult;
using platform::kOk;
using platform::kPointer;

int32_t Saturate(uint64_t n) {
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(n > kMax ? kMax : n);
}

HResult PutInt(int32_t value, int32_t* out) {
    if (out == nullptr) return kPointer;
    *out = value;
    return kOk;
}

HResult PutText(const std::string& text, WideString* out) {
    if (out == nullptr) return kPointer;
    try {
        *out = platform::NarrowToWide(text);
    } catch (...) {
        out->reset();
        return platform::kOutOfMemory;
    }
    return kOk;
}

// Answers the query for IUnknown, IDispatch and `iid` with `self`.
template <typename Self>
HResult QueryFor(Self* self, const Guid& ownIid, const Guid& iid, void** object) {
    if (object == nullptr) return kPointer;
    if (iid == platform::kIidUnknown || iid == platform::kIidDispatch || iid == ownIid) {
        self->AddRef();
        *object = static_cast<platform::IDispatch*>(self);
        return kOk;
    }
    *object = nullptr;
    return platform::kNoInterface;
}

class DescriptorObject final : public platform::RefCounted<ITalvoDescriptor> {
  public:
    explicit DescriptorObject(DescriptorValues values) : v_(std::move(values)) {}

    HResult QueryInterface(const Guid& iid, void** object) override {
        return QueryFor(this, kIidTalvoDescriptor, iid, object);
    }
    HResult GetIDsOfNames(const std::u16string& name, DispId* id) override {
        static constexpr std::u16string_view kMembers[] = {
            u"GetPath",          u"GetDirectoryText", u"GetNameText",  u"GetFileType",
            u"GetFormatVersion", u"GetInfoWord2",     u"GetInfoWord3", u"GetRecordSize",
            u"GetKeySize",       u"GetInfoLong1",     u"GetInfoLong2", u"GetInfoLong3",
            u"GetDateTime1",     u"GetDateTime2",     u"GetDateTime3", u"GetInfoWord1",
            u"GetKeyPosition",   u"GetExtraText",     u"GetInfoLong4"};
        return FindDispatchName(kMembers, name, id);
    }

    HResult GetPath(WideString* path) override { return PutText(v_.path, path); }
    HResult GetDirectoryText(WideString* text) override { return PutText(v_.directoryText, text); }
    HResult GetNameText(WideString* text) override { return PutText(v_.nameText, text); }
    HResult GetFileType(int32_t* value) override { return PutInt(v_.fileType, value); }
    HResult GetFormatVersion(int32_t* value) override { return PutInt(v_.formatVersion, value); }
    HResult GetInfoWord2(int32_t* value) override { return PutInt(v_.infoWord2, value); }
    HResult GetInfoWord3(int32_t* value) override { return PutInt(v_.infoWord3, value); }
    HResult GetRecordSize(int32_t* value) override { return PutInt(v_.recordSize, value); }
    HResult GetKeySize(int32_t* value) override { return PutInt(v_.keySize, value); }
    HResult GetInfoLong1(int32_t* value) override { return PutInt(v_.infoLong1, value); }
    HResult GetInfoLong2(int32_t* value) override { return PutInt(v_.infoLong2, value); }
    HResult GetInfoLong3(int32_t* value) override { return PutInt(v_.infoLong3, value); }
    HResult GetDateTime1(WideString* text) override { return PutText(v_.dateTime1, text); }
    HResult GetDateTime2(WideString* text) override { return PutText(v_.dateTime2, text); }
    HResult GetDateTime3(WideString* text) override { return PutText(v_.dateTime3, text); }
    HResult GetInfoWord1(int32_t* value) override { return PutInt(v_.infoWord1, value); }
    HResult GetKeyPosition(int32_t* value) override { return PutInt(v_.keyPosition, value); }
    HResult GetExtraText(WideString* text) override { return PutText(v_.extraText, text); }
    HResult GetInfoLong4(int32_t* value) override { return PutInt(v_.infoLong4, value); }

  private:
    DescriptorValues v_;
};

class SubKeyObject final : public platform::RefCounted<ITalvoSubKey> {
  public:
    explicit SubKeyObject(SubKeyDef def) : def_(std::move(def)) {}

    HResult QueryInterface(const Guid& iid, void** object) override {
        return QueryFor(this, kIidTalvoSubKey, iid, object);
    }
    HResult GetIDsOfNames(const std::u16string& name, DispId* id) override {
        static constexpr std::u16string_view kMembers[] = {u"GetFirst", u"GetSecond", u"GetName"};
        return FindDispatchName(kMembers, name, id);
    }
    HResult GetFirst(int32_t* value) override { return PutInt(def_.first, value); }
    HResult GetSecond(int32_t* value) override { return PutInt(def_.second, value); }
    HResult GetName(WideString* name) override { return PutText(def_.name, name); }

  private:
    SubKeyDef def_;
};

}  // namespace

std::string FormatDateTime(std::time_t time) {
    const std::string zeros(14, '0');
    if (time == 0) return zeros;
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return zeros;
    long year = static_cast<long>(local.tm_year) + 1900;
    if (year < 1 || year > 9999) return zeros;
    char text[32];
    std::snprintf(text, sizeof text, "%04ld%02d%02d%02d%02d%02d", year, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

DescriptorValues DescribeFile(const FileInfo& info, int subKeyCount, std::string_view directoryName,
                              std::string_view fileName) {
    DescriptorValues v;
    v.path = info.dataPath.empty() ? std::string() : platform::ToPlatformPath(info.dataPath);
    v.directoryText = std::string(directoryName);
    v.nameText = std::string(fileName);
    v.fileType = static_cast<int32_t>(info.type);
    v.formatVersion = Saturate(info.formatVersion);
    v.infoWord1 = subKeyCount;
    int mark = DeletedMarkOffset(info.type);
    v.infoWord2 = mark < 0 ? 0 : mark;
    v.infoWord3 = static_cast<int32_t>(info.formatVersion & 0xFFFF);
    v.recordSize = Saturate(info.recordSize);
    v.keySize = Saturate(info.keySize);
    v.infoLong1 = Saturate(info.slotCount);
    v.infoLong2 = Saturate(info.deletedCount);
    v.infoLong3 = Saturate(info.keyCount);
    v.dateTime1 = FormatDateTime(info.created);
    v.dateTime2 = FormatDateTime(info.modified);
    v.dateTime3 = FormatDateTime(info.accessed);
    v.keyPosition = info.type == FileType::kExtendedKeyed ? Saturate(info.keyPosition) : 0;
    bool keyed = info.type == FileType::kKeyed || info.type == FileType::kExtendedKeyed;
    if (!keyed) {
        v.extraText = "RECORDS";
    } else if (info.recordSize == 0) {
        v.extraText = "KEYONLY";
    } else {
        v.extraText = info.type == FileType::kExtendedKeyed ? "EXTKEYED" : "KEYED";
    }
    if (keyed && info.recordSize == 0) {
        v.infoLong4 = Saturate(info.keyCount);
    } else {
        v.infoLong4 =
            Saturate(info.slotCount >= info.deletedCount ? info.slotCount - info.deletedCount : 0);
    }
    return v;
}

platform::IDispatch* NewDescriptorObject(DescriptorValues values) {
    return new DescriptorObject(std::move(values));
}

platform::IDispatch* NewSubKeyObject(SubKeyDef def) {
    return new SubKeyObject(std::move(def));
}

}  // namespace talvo
