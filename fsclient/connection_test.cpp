#include <gtest/gtest.h>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "platform/com.h"
#include "platform/message_box.h"

namespace {

using fstest::ScopedComponentRegistration;
using fstest::ScopedMessageBoxRecorder;
using fstest::ScriptedComponent;
using fstest::W;

constexpr unsigned kSystemErrorFlags =
    platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_TOPMOST;

class ConnectionTest : public testing::Test {
  protected:
    platform::ComPtr<ScriptedComponent> component = ScriptedComponent::Make();
    ScopedMessageBoxRecorder boxes;

    static std::unique_ptr<CDornApi> MakeClient() {
        return std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
    }
    // References held besides the test's own.
    int OtherReferences() {
        const uint32_t count = component->AddRef();
        component->Release();
        return static_cast<int>(count) - 2;
    }
};

TEST_F(ConnectionTest, InitialisesWithTheNetworkNameWhenTheComponentHasInitialize2) {
    ScopedComponentRegistration registration(component);
    auto client = MakeClient();
    ASSERT_TRUE(client->Connect("srv1", false));
    EXPECT_TRUE(client->IsConnected());
    EXPECT_EQ(component->CallCount("Initialize"), 0);
    const fstest::Call init = component->LastCall("Initialize2");
    ASSERT_EQ(init.operation, "Initialize2");
    EXPECT_EQ(init.texts[0], W("Ordelin Utility"));
    EXPECT_EQ(init.texts[1], W("srv1"));
    EXPECT_EQ(init.numbers, (std::vector<int64_t>{0, 100, 51}));
    EXPECT_TRUE(client->HasNetworkName());
    EXPECT_EQ(client->NetworkName(), "srv1");
    int minor = -1;
    EXPECT_EQ(client->GetComponentVersion(&minor), 1);
    EXPECT_EQ(minor, 2);
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ConnectionTest, InitialisesWithoutTheNetworkNameWhenInitialize2IsMissing) {
    component->hasInitialize2 = false;
    ScopedComponentRegistration registration(component);
    auto client = MakeClient();
    ASSERT_TRUE(client->Connect("srv1", false));
    EXPECT_EQ(component->CallCount("Initialize2"), 0);
    const fstest::Call init = component->LastCall("Initialize");
    ASSERT_EQ(init.operation, "Initialize");
    EXPECT_EQ(init.texts, (std::vector<platform::WideString>{W("Ordelin Utility")}));
    EXPECT_EQ(init.numbers, (std::vector<int64_t>{0, 100, 51}));
    EXPECT_TRUE(client->HasNetworkName()) << "a given name is still stored on success";
    EXPECT_EQ(client->NetworkName(), "srv1");
}

TEST_F(ConnectionTest, ComponentVersion) {
    struct Case {
        bool hasVersion;
        int32_t version;
        int major;
        int minor;
    };
    const Case cases[] = {
        {false, 0x00050007, 1, 1},  // without "Version": 1.1, and Version is never called
        {true, 0x00030005, 3, 5},
        {true, static_cast<int32_t>(0xFFFF0001u), 65535, 1},
    };
    for (const Case& c : cases) {
        component = ScriptedComponent::Make();
        component->hasVersion = c.hasVersion;
        component->version = c.version;
        ScopedComponentRegistration registration(component);
        auto client = MakeClient();
        int minor = -1;
        EXPECT_EQ(client->GetComponentVersion(&minor), 0) << "not connected";
        EXPECT_EQ(minor, -1) << "not connected: minor untouched";
        ASSERT_TRUE(client->Connect(nullptr, false));
        EXPECT_EQ(client->GetComponentVersion(&minor), c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(client->GetComponentVersion(nullptr), c.major);
        if (!c.hasVersion) {
            EXPECT_EQ(component->CallCount("Version"), 0);
        }
    }
}

TEST_F(ConnectionTest, CreationFailureFromTheCommandLineShowsBothBoxesInOrder) {
    ScopedComponentRegistration unregistered;
    auto client = MakeClient();
    EXPECT_FALSE(client->ConnectFromCommandLine(R"(Z:\DATA\CUST /DABC)"));
    EXPECT_FALSE(client->IsConnected());
    ASSERT_EQ(boxes.boxes().size(), 2u);
    EXPECT_EQ(boxes.boxes()[0].caption, "TalvoLib Error");
    EXPECT_EQ(boxes.boxes()[0].text, "System error: 80040154 - Class not registered");
    EXPECT_EQ(boxes.boxes()[0].flags, kSystemErrorFlags);
    EXPECT_EQ(boxes.boxes()[1].caption, platform::AppName());
    EXPECT_EQ(boxes.boxes()[1].text, "Class not registered");
    EXPECT_EQ(boxes.boxes()[1].flags, platform::MB_OK | platform::MB_TOPMOST);
    EXPECT_EQ(client->GetErrorNumber(), platform::kClassNotRegistered);
    EXPECT_EQ(client->GetErrorText(), "Class not registered");
}

TEST_F(ConnectionTest, CreationFailureShowsTheSystemErrorOnlyWhenAsked) {
    ScopedComponentRegistration failing(platform::kOutOfMemory);
    auto client = MakeClient();
    EXPECT_FALSE(client->Connect(nullptr, false));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(client->GetErrorNumber(), platform::kOutOfMemory);
    EXPECT_FALSE(client->Connect(nullptr, true));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              "System error: 8007000e - Not enough memory resources are available to complete "
              "this operation.");
    EXPECT_EQ(failing.creations(), 2);
}

TEST_F(ConnectionTest, InitialiseFailureGivesTheMessageOfItsCode) {
    struct Case {
        int32_t code;
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        {1, "no server", "A connection to the Talvo file system could not be established."},
        {14, "old", "The installed version of TalvoLib does not match the DORN version."},
        {20, "Network names are not supported", "Network names are not supported"},
    };
    for (const Case& c : cases) {
        component = ScriptedComponent::Make();
        component->initStatus = platform::kFail;
        component->errorCode = c.code;
        component->errorMessage = W(c.message);
        ScopedComponentRegistration registration(component);
        ScopedMessageBoxRecorder recorder;
        auto client = MakeClient();
        EXPECT_FALSE(client->ConnectFromCommandLine(R"(Z:\DATA\CUST /DABC /NET:SRV)"));
        EXPECT_FALSE(client->IsConnected());
        ASSERT_EQ(recorder.boxes().size(), 1u) << "no system-error box on this path";
        EXPECT_EQ(recorder.boxes()[0].text, c.shown);
        EXPECT_EQ(recorder.boxes()[0].caption, platform::AppName());
        EXPECT_EQ(client->GetErrorNumber(), c.code);
        EXPECT_EQ(client->GetErrorText(), c.message);
        EXPECT_FALSE(client->HasNetworkName());
        EXPECT_EQ(component->CallCount("Shutdown"), 0);
        EXPECT_EQ(OtherReferences(), 1) << "only the registration keeps the component";
    }
}

TEST_F(ConnectionTest, NetworkOptionOfTheCommandLine) {
    struct Case {
        const char* commandLine;
        platform::WideString sent;
        bool hasNetworkName;
    };
    const Case cases[] = {
        {R"(Z:\DATA\CUST /DABC /NET=two /NET:one)", W("ONE"), true},
        {R"(Z:\DATA\CUST /DABC /NET=two)", W("TWO"), true},
        {R"(Z:\DATA\CUST /DABC)", std::nullopt, false},
        {R"(Z:\DATA\CUST /DABC /NET: x)", W(""), false},
    };
    for (const Case& c : cases) {
        component = ScriptedComponent::Make();
        ScopedComponentRegistration registration(component);
        auto client = MakeClient();
        ASSERT_TRUE(client->ConnectFromCommandLine(c.commandLine)) << c.commandLine;
        const fstest::Call init = component->LastCall("Initialize2");
        ASSERT_EQ(init.texts.size(), 2u);
        EXPECT_EQ(init.texts[1], c.sent) << c.commandLine;
        EXPECT_EQ(client->HasNetworkName(), c.hasNetworkName) << c.commandLine;
    }
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ConnectionTest, ErrorsBeforeConnectAndWhileConnected) {
    ScopedComponentRegistration registration(component);
    auto client = MakeClient();
    EXPECT_EQ(client->GetErrorNumber(), 0);
    EXPECT_EQ(client->GetErrorText(), "");
    EXPECT_EQ(component->calls.size(), 0u);

    ASSERT_TRUE(client->Connect(nullptr, false));
    component->errorCode = 5;
    component->errorMessage = W("File not found: CUST");
    EXPECT_EQ(client->GetErrorNumber(), 5);
    EXPECT_EQ(client->GetErrorText(), "File not found: CUST");
    component->errorMessage = std::nullopt;
    EXPECT_EQ(client->GetErrorText(), "");
}

TEST_F(ConnectionTest, DisconnectAndDestructionBalanceEverything) {
    ScopedComponentRegistration registration(component);
    const int apartments = platform::ApartmentInitCount();
    {
        auto client = MakeClient();
        EXPECT_EQ(platform::ApartmentInitCount(), apartments + 1);
        client->Disconnect();  // not connected: nothing
        EXPECT_EQ(component->calls.size(), 0u);
        ASSERT_TRUE(client->Connect(nullptr, false));
        EXPECT_EQ(OtherReferences(), 2);
        client->Disconnect();
        client->Disconnect();
        EXPECT_EQ(component->CallCount("Shutdown"), 1);
        EXPECT_FALSE(client->IsConnected());
        EXPECT_EQ(OtherReferences(), 1);
        EXPECT_EQ(client->GetErrorNumber(), 0) << "not connected: the stored number";
    }
    EXPECT_EQ(component->CallCount("Shutdown"), 1) << "the destructor after Disconnect";
    EXPECT_EQ(platform::ApartmentInitCount(), apartments);

    {
        auto client = MakeClient();
        ASSERT_TRUE(client->Connect(nullptr, false));
    }
    EXPECT_EQ(component->CallCount("Shutdown"), 2) << "the destructor disconnects";
    EXPECT_EQ(OtherReferences(), 1);
    EXPECT_EQ(platform::ApartmentInitCount(), apartments);

    // A failed connection leaves the apartment to the destructor all the same.
    {
        ScopedComponentRegistration unregistered;
        auto client = MakeClient();
        EXPECT_FALSE(client->Connect(nullptr, false));
    }
    EXPECT_EQ(platform::ApartmentInitCount(), apartments);
}

TEST_F(ConnectionTest, ASecondConnectClosesTheFirst) {
    ScopedComponentRegistration registration(component);
    auto client = MakeClient();
    ASSERT_TRUE(client->Connect("a", false));
    ASSERT_TRUE(client->Connect(nullptr, false));
    EXPECT_EQ(component->CallCount("Shutdown"), 1);
    EXPECT_EQ(OtherReferences(), 2);
    EXPECT_FALSE(client->HasNetworkName());

    // When the second attempt fails, the client is left cleanly disconnected.
    ScopedComponentRegistration unregistered;
    EXPECT_FALSE(client->Connect(nullptr, false));
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(component->CallCount("Shutdown"), 2);
    EXPECT_EQ(client->GetErrorNumber(), platform::kClassNotRegistered);
}

}  // namespace
