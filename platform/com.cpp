#include "platform/com.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

namespace platform {
namespace {

struct GuidLess {
    bool operator()(const Guid& a, const Guid& b) const {
        return std::tie(a.data1, a.data2, a.data3) < std::tie(b.data1, b.data2, b.data3) ||
               (std::tie(a.data1, a.data2, a.data3) == std::tie(b.data1, b.data2, b.data3) &&
                std::lexicographical_compare(a.data4, a.data4 + 8, b.data4, b.data4 + 8));
    }
};

struct Registry {
    std::mutex mutex;
    std::map<Guid, ClassFactory, GuidLess> factories;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::atomic<int> initCalls{0};
std::atomic<int> uninitCalls{0};
// Set-ups of the calling thread not yet torn down.
thread_local int threadDepth = 0;

}  // namespace

ClassFactory RegisterClassFactory(const Guid& clsid, ClassFactory factory) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    ClassFactory former;
    auto it = r.factories.find(clsid);
    if (it != r.factories.end()) {
        former = std::move(it->second);
        r.factories.erase(it);
    }
    if (factory) r.factories.emplace(clsid, std::move(factory));
    return former;
}

HResult CoCreateInstance(const Guid& clsid, IUnknown* outer, uint32_t context, const Guid& iid,
                         void** object) {
    if (object == nullptr) return kPointer;
    *object = nullptr;
    if (outer != nullptr) return static_cast<HResult>(0x80040110u);  // CLASS_E_NOAGGREGATION
    if ((context & kClsctxAll) == 0) return kInvalidArgument;
    ClassFactory factory;
    {
        Registry& r = TheRegistry();
        std::lock_guard lock(r.mutex);
        auto it = r.factories.find(clsid);
        if (it == r.factories.end()) return kClassNotRegistered;
        factory = it->second;
    }
    HResult hr = factory(iid, object);
    if (Failed(hr)) *object = nullptr;
    return hr;
}

HResult CoInitializeEx(void*, uint32_t) {
    // The first call of a thread answers S_OK, later ones S_FALSE, as the platform does.
    ++initCalls;
    return threadDepth++ == 0 ? kOk : kFalse;
}

void CoUninitialize() {
    ++uninitCalls;
    if (threadDepth > 0) --threadDepth;
}

int ApartmentInitCount() {
    return initCalls.load() - uninitCalls.load();
}
int ApartmentInitCalls() {
    return initCalls.load();
}
int ApartmentUninitCalls() {
    return uninitCalls.load();
}

}  // namespace platform
