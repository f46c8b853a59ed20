// CDornApi::GetFileDescriptor: fills the caller's FileDescriptor from the component's descriptor
// object, field by field.
//
// Only named fields are written. The bytes between them, the part of a text field after the
// characters delivered (and its zero byte), extraText and infoLong4 on components older than
// minor version 2, and any field whose read fails keep what the caller's record held; the one
// exception is a date-time text, which becomes fourteen '0' characters when its read fails.
#include <cstring>

#include "fsclient/dornapi.h"

namespace {

using platform::HResult;
using platform::kOk;

constexpr size_t kDateTimeLength = 14;

bool Ok(HResult hr) {
    return hr == kOk;
}

}  // namespace

bool CDornApi::GetFileDescriptor(const char* fileName, const char* directoryName,
                                 FileDescriptor& record) {
    // The reserved name: all twelve bytes, compared exactly (a shorter name differs at its
    // terminator, where the comparison stops).
    if (fileName && std::strncmp(fileName, noFileName, 12) == 0) return false;
    if (!connected || !component) return false;

    talvo::ITalvoDescriptor* raw = nullptr;
    {
        WideString file = TextToWide(fileName);
        WideString directory = TextToWide(directoryName);
        platform::IDispatch* object = nullptr;
        const HResult hr = component->GetDescriptor(file, directory, &object);
        if (!Ok(hr) || !object) {
            if (object) object->Release();
            return false;
        }
        const HResult found =
            object->QueryInterface(talvo::kIidTalvoDescriptor, reinterpret_cast<void**>(&raw));
        object->Release();
        if (platform::Failed(found) || !raw) return false;
    }
    platform::ComPtr<talvo::ITalvoDescriptor> descriptor(raw);

    // A text read: at most `maximum` characters, each as the low 8 bits of its code, into
    // `field`; with `terminate`, a zero byte right after the last one copied. A failed read
    // writes nothing.
    auto readText = [](auto read, char* field, int32_t maximum, bool terminate) {
        WideString text;
        if (!Ok(read(&text))) return false;
        const int32_t n = WideToBytes(text, reinterpret_cast<uint8_t*>(field), maximum);
        if (terminate) field[n] = '\0';
        return true;
    };
    // An integer read, kept only when it succeeds; the caller takes the bits that count.
    auto readNumber = [](auto read, auto assign) {
        int32_t value = 0;
        if (Ok(read(&value))) assign(value);
    };
    talvo::ITalvoDescriptor* d = descriptor.Get();

    // Date-time texts: fourteen '0' characters when the component cannot give one.
    char* const dateTimes[] = {record.dateTime1, record.dateTime2, record.dateTime3};
    HResult (talvo::ITalvoDescriptor::*const dateReads[])(WideString*) = {
        &talvo::ITalvoDescriptor::GetDateTime1, &talvo::ITalvoDescriptor::GetDateTime2,
        &talvo::ITalvoDescriptor::GetDateTime3};
    for (size_t i = 0; i < 3; ++i) {
        auto read = [&](WideString* t) { return (d->*dateReads[i])(t); };
        if (!readText(read, dateTimes[i], kDateTimeLength, false)) {
            std::memset(dateTimes[i], '0', kDateTimeLength);
        }
    }

    readNumber([&](int32_t* v) { return d->GetInfoLong3(v); },
               [&](int32_t v) { record.infoLong3 = v; });
    readNumber([&](int32_t* v) { return d->GetInfoLong1(v); },
               [&](int32_t v) { record.infoLong1 = v; });
    readText([&](WideString* t) { return d->GetDirectoryText(t); }, record.directoryText, 3, true);
    readNumber([&](int32_t* v) { return d->GetInfoWord3(v); },
               [&](int32_t v) { record.infoWord3 = static_cast<uint16_t>(v); });
    readNumber([&](int32_t* v) { return d->GetFileType(v); },
               [&](int32_t v) { record.fileType = static_cast<uint8_t>(v); });
    readNumber([&](int32_t* v) { return d->GetInfoWord1(v); },
               [&](int32_t v) { record.infoWord1 = static_cast<uint16_t>(v); });
    readNumber([&](int32_t* v) { return d->GetInfoLong2(v); },
               [&](int32_t v) { record.infoLong2 = v; });
    readNumber([&](int32_t* v) { return d->GetKeySize(v); },
               [&](int32_t v) { record.keySize = static_cast<uint8_t>(v); });
    readText([&](WideString* t) { return d->GetNameText(t); }, record.nameText, 12, true);

    if (componentVersionMinor >= 2) {
        readText([&](WideString* t) { return d->GetExtraText(t); }, record.extraText, 8, true);
        readNumber([&](int32_t* v) { return d->GetInfoLong4(v); },
                   [&](int32_t v) { record.infoLong4 = v; });
    }

    readNumber([&](int32_t* v) { return d->GetRecordSize(v); },
               [&](int32_t v) { record.recordSize = static_cast<uint16_t>(v); });
    readNumber([&](int32_t* v) { return d->GetInfoWord2(v); },
               [&](int32_t v) { record.infoWord2 = static_cast<uint16_t>(v); });
    readNumber([&](int32_t* v) { return d->GetKeyPosition(v); },
               [&](int32_t v) { record.keyPosition = static_cast<int16_t>(v); });
    return true;
}
