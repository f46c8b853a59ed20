// Construction, connection, errors and version of the client, and its destruction.
#include <cstdio>
#include <cstring>
#include <string>

#include "fsclient/dornapi.h"
#include "platform/bounded_text.h"
#include "platform/message_box.h"
#include "platform/system_error.h"

const char noFileName[13] = {'\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF',
                             '\xFF', '.',    '\xFF', '\xFF', '\xFF', '\0'};

namespace {

constexpr size_t kMaxSystemText = 4095;
constexpr size_t kNetworkBufferSize = 128;
constexpr int32_t kDefaultVersion = 0x10001;  // 1.1: components without "Version"

constexpr const char* kNoConnectionText =
    "A connection to the Talvo file system could not be established.";
constexpr const char* kVersionMismatchText =
    "The installed version of TalvoLib does not match the DORN version.";

}  // namespace

CDornApi::CDornApi(const char* title, int32_t tableSize, int32_t param3, int32_t param1,
                   bool multithreaded)
    : applicationTitle(title != nullptr ? title : ""),
      initParam1(param1),
      directoryTableSize(tableSize),
      initParam3(param3) {
    // The result does not matter: the destructor balances this call whatever it was.
    platform::CoInitializeEx(nullptr, multithreaded ? platform::kCoinitMultithreaded
                                                    : platform::kCoinitApartmentThreaded);
}

CDornApi::~CDornApi() {
    Disconnect();
    platform::CoUninitialize();
}

bool CDornApi::Connect(const char* givenNetworkName, bool showSystemError) {
    // A second Connect first closes the connection it replaces, so that no component is left
    // initialised behind the client's back and `connected` never outlives `component`.
    Disconnect();

    platform::HResult hr =
        platform::CoCreateInstance(talvo::kClsidTalvoLib, nullptr, platform::kClsctxAll,
                                   talvo::kIidTalvoFs, component.PutVoid());
    if (platform::Succeeded(hr) && !component) hr = platform::kNoInterface;
    if (platform::Failed(hr)) {
        component.Reset();
        errorNumber = hr;
        errorText = platform::SystemMessageText(static_cast<uint32_t>(hr));
        if (errorText.size() > kMaxSystemText) errorText.resize(kMaxSystemText);
        if (showSystemError) ShowSystemError();
        return false;
    }

    WideString title;
    WideString network;
    try {
        title = TextToWide(applicationTitle.c_str());
        network = TextToWide(givenNetworkName);
    } catch (...) {
        component.Reset();
        throw;
    }
    hasNetworkName = false;

    platform::DispId id = 0;
    platform::HResult status;
    if (component->GetIDsOfNames(u"Initialize2", &id) == platform::kOk) {
        status = component->Initialize2(title, network, initParam1, directoryTableSize, initParam3);
    } else {
        status = component->Initialize(title, initParam1, directoryTableSize, initParam3);
    }

    if (status == platform::kOk) {
        connected = true;
        if (component->QueryInterface(talvo::kIidTalvoBytes, bytes.PutVoid()) != platform::kOk) {
            bytes.Reset();
        }
        if (givenNetworkName != nullptr && *givenNetworkName != '\0') {
            networkName = givenNetworkName;
            hasNetworkName = true;
        }
        componentVersionMajor = GetComponentVersion(&componentVersionMinor);
        return true;
    }

    int32_t code = 0;
    component->GetErrorCode(&code);
    WideString message;
    component->GetErrorMessage(&message);
    errorNumber = code;
    errorText = WideToText(message);
    component.Reset();
    return false;
}

bool CDornApi::ConnectFromCommandLine(const char* commandLine) {
    // FindOption works on a text it may change; this one is only read.
    std::string source = commandLine != nullptr ? commandLine : "";
    char network[kNetworkBufferSize] = {};
    const bool found =
        platform::FindOption(source.data(), "/NET:", network, sizeof network, false, false) ||
        platform::FindOption(source.data(), "/NET=", network, sizeof network, false, false);

    if (Connect(found ? network : nullptr, true)) return true;

    std::string message;
    switch (GetErrorNumber()) {
        case talvo::kErrorNoConnection:
            message = kNoConnectionText;
            break;
        case talvo::kErrorVersionMismatch:
            message = kVersionMismatchText;
            break;
        default:
            message = GetErrorText();
            break;
    }
    platform::AppMessageBox(message, platform::MB_OK | platform::MB_TOPMOST);
    return false;
}

void CDornApi::Disconnect() {
    if (!connected) return;
    component->Shutdown();
    bytes.Reset();
    component.Reset();
    connected = false;
}

int32_t CDornApi::GetErrorNumber() {
    if (!connected) return errorNumber;
    int32_t code = 0;
    component->GetErrorCode(&code);
    return code;
}

const std::string& CDornApi::GetErrorText() {
    if (connected) {
        WideString message;
        component->GetErrorMessage(&message);
        errorText = WideToText(message);
    }
    return errorText;
}

int CDornApi::GetComponentVersion(int* minor) {
    if (!connected) return 0;
    int32_t value = kDefaultVersion;
    platform::DispId id = 0;
    if (component->GetIDsOfNames(u"Version", &id) == platform::kOk) {
        int32_t reported = 0;
        if (component->Version(&reported) == platform::kOk) value = reported;
    }
    const uint32_t bits = static_cast<uint32_t>(value);
    if (minor != nullptr) *minor = static_cast<int>(bits & 0xFFFFu);
    return static_cast<int>(bits >> 16);
}

void CDornApi::ShowSystemError() {
    std::string text = "System error: ";
    char code[16];
    std::snprintf(code, sizeof code, "%x", static_cast<unsigned>(errorNumber));
    text += code;
    text += " - ";
    text += errorText;
    platform::SystemMessageBox(
        text, "TalvoLib Error",
        platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_TOPMOST);
}
