#include "platform/com.h"

#include <gtest/gtest.h>

#include <thread>

namespace platform {
namespace {

constexpr Guid kClsidA{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr Guid kClsidB{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};

class Thing : public RefCounted<IDispatch> {
  public:
    explicit Thing(int* alive) : alive_(alive) { ++*alive_; }
    ~Thing() override { --*alive_; }
    HResult QueryInterface(const Guid& iid, void** object) override {
        if (iid == kIidUnknown || iid == kIidDispatch) {
            AddRef();
            *object = static_cast<IDispatch*>(this);
            return kOk;
        }
        *object = nullptr;
        return kNoInterface;
    }
    HResult GetIDsOfNames(const std::u16string&, DispId*) override { return kUnknownName; }

  private:
    int* alive_;
};

ClassFactory ThingFactory(int* alive) {
    return [alive](const Guid& iid, void** object) {
        ComPtr<Thing> thing(new Thing(alive));
        return thing->QueryInterface(iid, object);
    };
}

TEST(ComRegistryTest, CreatesOnlyRegisteredClassesAndRestoresFormerFactories) {
    int alive = 0;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClsidA, nullptr, kClsctxAll, kIidDispatch, &object),
              kClassNotRegistered);
    EXPECT_EQ(object, nullptr);

    EXPECT_FALSE(RegisterClassFactory(kClsidA, ThingFactory(&alive)));
    {
        ComPtr<IDispatch> created;
        ASSERT_EQ(CoCreateInstance(kClsidA, nullptr, kClsctxAll, kIidDispatch, created.PutVoid()),
                  kOk);
        EXPECT_TRUE(created);
        EXPECT_EQ(alive, 1);
        // A class that differs in the last byte of its identifier is another class.
        EXPECT_EQ(CoCreateInstance(kClsidB, nullptr, kClsctxAll, kIidDispatch, &object),
                  kClassNotRegistered);
    }
    EXPECT_EQ(alive, 0) << "the factory's reference and the caller's are both released";

    // The factory's failure comes through and leaves no object.
    constexpr Guid kOther{1, 2, 3, {0}};
    EXPECT_EQ(CoCreateInstance(kClsidA, nullptr, kClsctxAll, kOther, &object), kNoInterface);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(alive, 0);

    // Replacing hands back the former factory; an empty one removes the class.
    ClassFactory former = RegisterClassFactory(kClsidA, {});
    ASSERT_TRUE(former);
    EXPECT_EQ(CoCreateInstance(kClsidA, nullptr, kClsctxAll, kIidDispatch, &object),
              kClassNotRegistered);
    RegisterClassFactory(kClsidA, std::move(former));
    ComPtr<IDispatch> again;
    EXPECT_EQ(CoCreateInstance(kClsidA, nullptr, kClsctxAll, kIidDispatch, again.PutVoid()), kOk);
    again.Reset();
    RegisterClassFactory(kClsidA, {});
}

TEST(ComRegistryTest, RefusesBadArguments) {
    int alive = 0;
    RegisterClassFactory(kClsidA, ThingFactory(&alive));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClsidA, nullptr, kClsctxAll, kIidDispatch, nullptr), kPointer);
    int outer = 0;
    EXPECT_TRUE(Failed(CoCreateInstance(kClsidA, reinterpret_cast<IUnknown*>(&outer), kClsctxAll,
                                        kIidDispatch, &object)));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(kClsidA, nullptr, 0, kIidDispatch, &object), kInvalidArgument);
    EXPECT_EQ(alive, 0);
    RegisterClassFactory(kClsidA, {});
}

TEST(ComApartmentTest, CountsSetUpAndTearDownPerThread) {
    const int calls = ApartmentInitCalls();
    const int count = ApartmentInitCount();
    EXPECT_EQ(CoInitializeEx(nullptr, kCoinitApartmentThreaded), kOk);
    EXPECT_EQ(CoInitializeEx(nullptr, kCoinitApartmentThreaded), kFalse);
    HResult other = kFail;
    std::thread([&] {
        other = CoInitializeEx(nullptr, kCoinitMultithreaded);
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, kOk) << "another thread's first set-up is its own";
    EXPECT_EQ(ApartmentInitCount(), count + 2);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(ApartmentInitCount(), count);
    EXPECT_EQ(ApartmentInitCalls(), calls + 3);
    EXPECT_EQ(CoInitializeEx(nullptr, kCoinitApartmentThreaded), kOk);
    CoUninitialize();
}

}  // namespace
}  // namespace platform
