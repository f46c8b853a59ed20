// When memory runs out in the middle of an operation, the component still answers with a
// status: no exception may reach a caller of the dispatch interface. The test program's
// allocation functions fail on demand for that.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <optional>
#include <string>

#include "platform/com.h"
#include "platform/path.h"
#include "talvo/engine.h"
#include "talvo/talvolib.h"

// The address sanitizer keeps its own allocation functions, which libraries built without it
// also reach; replacing them there would mismatch allocations and frees, so the sanitized
// build leaves them alone and skips the test.
#if defined(__SANITIZE_ADDRESS__)
#define TALVO_REPLACE_ALLOCATION 0
#else
#define TALVO_REPLACE_ALLOCATION 1
#endif

namespace {

std::atomic<bool> gAllocationsFail{false};
// At or above 0: the number of allocations that still succeed before one fails (once).
std::atomic<long> gAllocationsBeforeFailure{-1};

}  // namespace

#if TALVO_REPLACE_ALLOCATION
void* operator new(std::size_t size) {
    if (gAllocationsFail.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (gAllocationsBeforeFailure.load(std::memory_order_relaxed) >= 0 &&
        gAllocationsBeforeFailure.fetch_sub(1) == 0) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
// Not inlined: the compiler would otherwise see a new matched by free() and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace talvo {
namespace {

namespace fs = std::filesystem;
using platform::ComPtr;

WideString W(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

Variant Key(std::string_view bytes) {
    Variant v;
    v.vt = platform::VT_BSTR;
    v.bstrVal = W(bytes);
    return v;
}

// Runs `call` with every allocation failing; true when it returned instead of throwing.
bool ReturnsWithoutMemory(const std::function<HResult()>& call, HResult* status) {
    gAllocationsFail = true;
    bool returned = true;
    try {
        *status = call();
    } catch (...) {
        returned = false;
    }
    gAllocationsFail = false;
    return returned;
}

TEST(FacadeOutOfMemory, EveryOperationReturnsAFailureInsteadOfThrowing) {
    if (!TALVO_REPLACE_ALLOCATION) GTEST_SKIP() << "allocation failures cannot be injected here";
    std::string pattern = (fs::temp_directory_path() / "talvo-oom-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    const char* former = getenv("TALVO_CONFIG");
    std::optional<std::string> formerConfig;
    if (former) formerConfig = former;
    const std::string config = (root / "talvo.ini").string();
    setenv("TALVO_CONFIG", config.c_str(), 1);
    std::ofstream(config) << "[Directories]\nDAT=" << root.string() << "\n";

    RegisterTalvoLib();
    ComPtr<ITalvoFs> fs;
    ASSERT_EQ(platform::CoCreateInstance(kClsidTalvoLib, nullptr, platform::kClsctxAll, kIidTalvoFs,
                                         fs.PutVoid()),
              platform::kOk);
    ASSERT_EQ(fs->Initialize(W("Test"), 0, 100, 0), platform::kOk);
    VariantBool ok = 0;
    fs->CreateKeyed(W("CUST"), W("DAT"), 8, 2, &ok);
    ASSERT_NE(ok, 0);
    fs->Open(1, W("CUST"), W("DAT"), &ok);
    ASSERT_NE(ok, 0);
    int32_t prepared = 0;
    fs->PrepareBuffer(1, &prepared);
    fs->PutBuffer(1, W("record"), 0, 6);
    fs->WriteKey(1, Key("AA"), &ok);
    ASSERT_NE(ok, 0);
    // Committed: a write that runs out of memory gives up the changes since the last commit.
    fs->Close(1, &ok);
    fs->Open(1, W("CUST"), W("DAT"), &ok);
    ASSERT_NE(ok, 0);

    // Arguments are made before allocations start to fail.
    const WideString cust = W("CUST"), other = W("OTHER"), dat = W("DAT"), name = W("SUB");
    const WideString path = W("/tmp"), record = W("record"), title = W("T");
    const Variant keyAA = Key("AA"), keyZZ = Key("ZZ");
    WideString text, text2;
    int32_t number = 0;
    int64_t handle = 0;
    ComPtr<platform::IDispatch> object;
    ComPtr<ITalvoBytes> bytes;
    ASSERT_EQ(fs->QueryInterface(kIidTalvoBytes, bytes.PutVoid()), platform::kOk);
    const uint8_t bytesAA[] = {'A', 'A'}, bytesZY[] = {'Z', 'Y'};
    uint8_t got[100] = {};
    ComPtr<ITalvoFs> fresh;
    ASSERT_EQ(platform::CoCreateInstance(kClsidTalvoLib, nullptr, platform::kClsctxAll, kIidTalvoFs,
                                         fresh.PutVoid()),
              platform::kOk);
    struct Case {
        const char* name;
        std::function<HResult()> call;
    } cases[] = {
        {"Initialize", [&] { return fresh->Initialize(title, 0, 100, 0); }},
        {"Open", [&] { return fs->Open(2, cust, dat, &ok); }},
        {"Erase", [&] { return fs->Erase(other, dat, &ok); }},
        {"CreateKeyed", [&] { return fs->CreateKeyed(other, dat, 8, 2, &ok); }},
        {"FindKey", [&] { return fs->FindKey(1, keyAA, &ok); }},
        {"NextKey", [&] { return fs->NextKey(1, &text); }},
        {"ReadKey", [&] { return fs->ReadKey(1, keyAA, &ok); }},
        {"WriteKey", [&] { return fs->WriteKey(1, keyZZ, &ok); }},
        {"PutBuffer", [&] { return fs->PutBuffer(1, record, 0, 6); }},
        {"GetBuffer", [&] { return fs->GetBuffer(1, 0, 100, &text); }},
        {"NextKeyBytes", [&] { return bytes->NextKeyBytes(1, got, 100, &number); }},
        {"ReadKeyBytes", [&] { return bytes->ReadKeyBytes(1, bytesAA, 2, &ok); }},
        {"WriteKeyBytes", [&] { return bytes->WriteKeyBytes(1, bytesZY, 2, &ok); }},
        {"PutBufferBytes", [&] { return bytes->PutBufferBytes(1, bytesAA, 2); }},
        {"GetBufferBytes", [&] { return bytes->GetBufferBytes(1, got, 100, &number); }},
        {"GetHandle", [&] { return fs->GetHandle(1, &number, &handle); }},
        {"GetDescriptor", [&] { return fs->GetDescriptor(cust, dat, object.Put()); }},
        {"AddSubKey", [&] { return fs->AddSubKey(cust, dat, 1, 2, name, &ok); }},
        {"GetSubKey", [&] { return fs->GetSubKey(1, 1, object.Put()); }},
        {"SetDirectory", [&] { return fs->SetDirectory(5, name, path, &ok); }},
        {"GetDirectory", [&] { return fs->GetDirectory(0, &text, &text2); }},
        {"GetErrorMessage", [&] { return fs->GetErrorMessage(&text); }},
        {"Close", [&] { return fs->Close(7, &ok); }},
    };
    for (const Case& c : cases) {
        HResult status = platform::kOk;
        EXPECT_TRUE(ReturnsWithoutMemory(c.call, &status)) << c.name;
    }

    // A failure for want of memory is reported as a failure.
    HResult status = platform::kOk;
    ok = 1;
    ASSERT_TRUE(ReturnsWithoutMemory([&] { return fs->Open(3, cust, dat, &ok); }, &status));
    EXPECT_NE(status, platform::kOk);
    EXPECT_EQ(ok, 0);
    int32_t code = 0;
    EXPECT_EQ(fs->GetErrorCode(&code), platform::kOk);
    EXPECT_EQ(code, static_cast<int32_t>(Error::kOutOfMemory));
    WideString message;
    EXPECT_EQ(fs->GetErrorMessage(&message), platform::kOk);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->substr(0, 17), u"not enough memory");

    // The component works on once memory is back.
    ok = 0;
    fs->ReadKey(1, keyAA, &ok);
    EXPECT_NE(ok, 0);
    EXPECT_EQ(fs->Close(1, &ok), platform::kOk);

    // An open that runs out of memory at any one of its allocations leaves its channel free: the
    // same open succeeds once memory is back.
    for (long n = 0;; ++n) {
        ASSERT_LT(n, 10000) << "the open never succeeded";
        ok = 0;
        gAllocationsBeforeFailure = n;
        try {
            status = fs->Open(4, cust, dat, &ok);
        } catch (...) {
            ADD_FAILURE() << "an exception left Open at allocation " << n;
        }
        const bool failedAllocation = gAllocationsBeforeFailure.exchange(-1) < 0;
        if (ok != 0) {
            EXPECT_EQ(fs->Close(4, &ok), platform::kOk);
            if (!failedAllocation) break;  // every allocation of the open was tried
            continue;
        }
        fs->Open(4, cust, dat, &ok);
        ASSERT_NE(ok, 0) << "channel 4 after an open that failed at allocation " << n;
        EXPECT_EQ(fs->Close(4, &ok), platform::kOk);
    }
    bytes.Reset();
    fs.Reset();
    fresh.Reset();
    if (formerConfig)
        setenv("TALVO_CONFIG", formerConfig->c_str(), 1);
    else
        unsetenv("TALVO_CONFIG");
    fs::remove_all(root);
}

}  // namespace
}  // namespace talvo
