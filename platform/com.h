// The component object model as far as this system uses it: result codes, class and interface
// identifiers, reference-counted interfaces with interface query, a class-factory registry that
// stands in for creation by class identifier, dispatch-name lookup for optional members, and the
// apartment set-up and tear-down (counted no-ops on this platform).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/wide.h"

namespace platform {

// Result of an operation: 0 is success, a negative value a failure (as HRESULTs are).
using HResult = int32_t;

constexpr HResult kOk = 0;                                                  // S_OK
constexpr HResult kFalse = 1;                                               // S_FALSE
constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001u);      // E_NOTIMPL
constexpr HResult kNoInterface = static_cast<HResult>(0x80004002u);         // E_NOINTERFACE
constexpr HResult kPointer = static_cast<HResult>(0x80004003u);             // E_POINTER
constexpr HResult kFail = static_cast<HResult>(0x80004005u);                // E_FAIL
constexpr HResult kUnknownName = static_cast<HResult>(0x80020006u);         // DISP_E_UNKNOWNNAME
constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154u);  // REGDB_E_CLASSNOTREG
constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000Eu);         // E_OUTOFMEMORY
constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057u);     // E_INVALIDARG

inline bool Succeeded(HResult hr) {
    return hr >= 0;
}
inline bool Failed(HResult hr) {
    return hr < 0;
}

// A 128-bit class or interface identifier.
struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};

constexpr Guid kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid kIidDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Server contexts accepted by CreateInstance (all of them are served in process here).
constexpr uint32_t kClsctxInprocServer = 0x1;
constexpr uint32_t kClsctxInprocHandler = 0x2;
constexpr uint32_t kClsctxLocalServer = 0x4;
constexpr uint32_t kClsctxRemoteServer = 0x10;
constexpr uint32_t kClsctxAll =
    kClsctxInprocServer | kClsctxInprocHandler | kClsctxLocalServer | kClsctxRemoteServer;

// The root interface. Reference counts start at 1 for the creator.
class IUnknown {
  public:
    // On success stores an added reference in *object; on failure stores nullptr and returns
    // kNoInterface.
    virtual HResult QueryInterface(const Guid& iid, void** object) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

  protected:
    virtual ~IUnknown() = default;
};

using DispId = int32_t;

// Name lookup of a dual interface: finds the dispatch id of a member by its name.
class IDispatch : public IUnknown {
  public:
    // Returns kOk and the member's id when the object has a member of that name (compared
    // without regard to case), otherwise kUnknownName.
    virtual HResult GetIDsOfNames(const std::u16string& name, DispId* id) = 0;
};

// Implements the reference count of a class that offers the interface Base (deleted with its
// last reference); the class itself answers QueryInterface.
template <typename Base>
class RefCounted : public Base {
  public:
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
        uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

  protected:
    virtual ~RefCounted() = default;

  private:
    std::atomic<uint32_t> refs_{1};
};

// Owning pointer to an interface: releases its reference when it goes.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    // Takes over a reference the caller owns.
    explicit ComPtr(T* p) : p_(p) {}
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and gives the slot to fill.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() { return std::exchange(p_, nullptr); }

  private:
    T* p_ = nullptr;
};

// --- Creation by class identifier ---------------------------------------------------------------

// Makes a new object of a registered class and answers the query for `iid` on it.
using ClassFactory = std::function<HResult(const Guid& iid, void** object)>;

// Registers (or, with an empty factory, removes) the factory of a class. Returns the factory
// it replaces, so a test can put the former one back.
ClassFactory RegisterClassFactory(const Guid& clsid, ClassFactory factory);

// Creates an object of the class: kClassNotRegistered when no factory is registered, otherwise
// the factory's result. *object is nullptr on failure.
HResult CoCreateInstance(const Guid& clsid, IUnknown* outer, uint32_t context, const Guid& iid,
                         void** object);

// --- Apartments ---------------------------------------------------------------------------------

constexpr uint32_t kCoinitApartmentThreaded = 0x2;
constexpr uint32_t kCoinitMultithreaded = 0x0;

// Set-up and tear-down of the calling thread's apartment. No-ops that count their calls.
HResult CoInitializeEx(void* reserved, uint32_t flags);
void CoUninitialize();
// Calls of CoInitializeEx minus calls of CoUninitialize in this process.
int ApartmentInitCount();
// Calls of each so far (for tests).
int ApartmentInitCalls();
int ApartmentUninitCalls();

}  // namespace platform
