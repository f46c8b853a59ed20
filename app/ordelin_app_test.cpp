// The start-up against the component's doubles, with every dialog run on the headless host:
// command lines that do not split, a failed connection, a failed registration, normal runs ended
// every way a person can end them, the about command, and the exit statuses.
#include "app/ordelin_app.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fsclient/testing/scripted_component.h"
#include "platform/com.h"
#include "platform/dialog.h"
#include "platform/message_box.h"
#include "ui/headless/headless_host.h"

namespace {

using D = COrdelinDlg;
using Outcome = COrdelinApp::Outcome;
using headless::HeadlessHost;

constexpr const char* kCommandLine = R"(Z:\DATA\CUST /DDAT)";

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        component = fstest::ScriptedComponent::Make();
        registration = std::make_unique<fstest::ScopedComponentRegistration>(component);
        component->AddFile("DAT", "CUST", 4, 100, 12);
        apartmentsBefore = platform::ApartmentInitCount();
        uninitsBefore = platform::ApartmentUninitCalls();
    }

    void TearDown() override {
        registration.reset();
        component.Reset();
    }

    // Runs the start-up on `commandLine`; every dialog follows `script` (none: closed at once).
    Outcome Run(const std::string& commandLine, HeadlessHost::Step script = {}) {
        headless::HeadlessDialogs dialogs(std::move(script));
        COrdelinApp app(commandLine);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.GetMainWnd(), nullptr);
        templatesRun = dialogs.TemplatesRun();
        exitStatus = app.ExitStatus();
        return app.GetOutcome();
    }

    // The client is gone: its apartment set-up was undone exactly once.
    void ExpectClientDestroyed() {
        EXPECT_EQ(platform::ApartmentInitCount(), apartmentsBefore);
        EXPECT_EQ(platform::ApartmentUninitCalls(), uninitsBefore + 1);
    }

    platform::ComPtr<fstest::ScriptedComponent> component;
    std::unique_ptr<fstest::ScopedComponentRegistration> registration;
    fstest::ScopedMessageBoxRecorder boxes;
    std::vector<int> templatesRun;
    int exitStatus = -1;
    int apartmentsBefore = 0;
    int uninitsBefore = 0;
};

TEST_F(AppTest, CommandLinesThatDoNotSplitEndWithoutWindowOrMessage) {
    for (const char* commandLine : {"", R"(Z:\DATA\CUST)", "CUST /DDAT", R"(Z:\DATA\ /DDAT)",
                                    R"(Z:\DATA\CUST /D)", R"("Z:\DATA\CUST /DDAT)"}) {
        SCOPED_TRACE(commandLine);
        uninitsBefore = platform::ApartmentUninitCalls();
        EXPECT_EQ(Run(commandLine), Outcome::BadCommandLine);
        EXPECT_EQ(exitStatus, COrdelinApp::kExitUsage);
        ExpectClientDestroyed();
    }
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(templatesRun.empty());
    EXPECT_EQ(registration->creations(), 0);  // no connection was tried
}

TEST_F(AppTest, FailedConnectionShowsOnlyItsOwnMessage) {
    component->initStatus = platform::kFail;
    component->errorCode = talvo::kErrorNoConnection;
    EXPECT_EQ(Run(kCommandLine), Outcome::NotConnected);
    EXPECT_EQ(exitStatus, COrdelinApp::kExitFailed);

    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              "A connection to the Talvo file system could not be established.");
    EXPECT_TRUE(templatesRun.empty());
    EXPECT_EQ(component->CallCount("SetDirectory"), 0);
    EXPECT_EQ(component->CallCount("GetDirectory"), 0);
    EXPECT_EQ(component->CallCount("Shutdown"), 0);
    ExpectClientDestroyed();
}

TEST_F(AppTest, FailedRegistrationShowsTheTalvoErrorAndDisconnects) {
    component->failingOperations = {"SetDirectory"};
    EXPECT_EQ(Run(kCommandLine), Outcome::NotRegistered);
    EXPECT_EQ(exitStatus, COrdelinApp::kExitFailed);

    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text,
              "The following Talvo error occurred:\n\nSetDirectory failed\n");
    EXPECT_EQ(boxes.boxes()[0].flags, platform::MB_ICONSTOP);
    EXPECT_EQ(boxes.boxes()[0].caption, platform::AppName());
    EXPECT_TRUE(templatesRun.empty());
    EXPECT_EQ(component->CallCount("GetDescriptor"), 0);
    EXPECT_EQ(component->CallCount("Shutdown"), 1);
    ExpectClientDestroyed();
}

TEST_F(AppTest, NormalRunConnectsRegistersAndShowsTheInputFile) {
    std::string inputFile;
    std::string inputDirectory;
    EXPECT_EQ(Run(kCommandLine,
                  [&](HeadlessHost& host) {
                      inputFile = host.Text(D::kInputFile);
                      inputDirectory = host.Text(D::kInputDirectory);
                      host.Click(D::kClose);
                  }),
              Outcome::Ran);
    EXPECT_EQ(exitStatus, COrdelinApp::kExitOk);
    EXPECT_EQ(templatesRun, std::vector<int>{res::kMainDialog});
    EXPECT_EQ(inputFile, "CUST");
    EXPECT_EQ(inputDirectory, "DAT");
    EXPECT_TRUE(boxes.boxes().empty());

    // The client was made with the start-up's values; the folder went in under the name.
    const fstest::Call init = component->LastCall("Initialize2");
    EXPECT_EQ(init.numbers, (std::vector<int64_t>{0, 100, 51}));
    ASSERT_FALSE(init.texts.empty());
    EXPECT_EQ(init.texts[0], fstest::W("Ordelin Utility"));
    const fstest::Call set = component->LastCall("SetDirectory");
    ASSERT_EQ(set.texts.size(), 2u);
    EXPECT_EQ(set.texts[0], fstest::W("DAT"));
    EXPECT_EQ(set.texts[1], fstest::W(R"(Z:\DATA)"));

    // The steps in their order: connect, register, the dialog's descriptor, disconnect.
    std::vector<std::string> order;
    for (const std::string& name : component->CallNames()) {
        if (name == "Initialize2" || name == "SetDirectory" || name == "GetDescriptor" ||
            name == "Shutdown") {
            order.push_back(name);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Initialize2", "SetDirectory", "GetDescriptor",
                                               "Shutdown"}));
    ExpectClientDestroyed();
}

TEST_F(AppTest, EveryWayOutOfTheDialogDisconnectsOnceAndDestroysTheClient) {
    const std::vector<std::pair<const char*, HeadlessHost::Step>> endings{
        {"Close button", [](HeadlessHost& h) { h.Click(D::kClose); }},
        {"Escape", [](HeadlessHost& h) { h.PressEscape(); }},
        {"system menu Close", [](HeadlessHost& h) { h.SystemCommand(platform::kScClose); }},
        {"script left it open", [](HeadlessHost&) {}},
    };
    for (const auto& [name, step] : endings) {
        SCOPED_TRACE(name);
        const int shutdowns = component->CallCount("Shutdown");
        uninitsBefore = platform::ApartmentUninitCalls();
        EXPECT_EQ(Run(kCommandLine, step), Outcome::Ran);
        EXPECT_EQ(component->CallCount("Shutdown"), shutdowns + 1);
        ExpectClientDestroyed();
    }

    // An input file the dialog refuses ends it at once, after its box: still one of each.
    component->failingOperations = {"GetDescriptor"};
    const int shutdowns = component->CallCount("Shutdown");
    uninitsBefore = platform::ApartmentUninitCalls();
    EXPECT_EQ(Run(kCommandLine), Outcome::Ran);
    EXPECT_EQ(component->CallCount("Shutdown"), shutdowns + 1);
    ExpectClientDestroyed();
}

TEST_F(AppTest, MainWindowIsReachableWhileTheDialogRuns) {
    headless::HeadlessDialogs dialogs([](HeadlessHost& host) { host.Click(D::kClose); });
    COrdelinApp app(kCommandLine);
    COrdelinDlg* observed = nullptr;
    COrdelinDlg* mainWhileObserved = nullptr;
    app.SetDialogObserver([&](COrdelinDlg& dialog) {
        observed = &dialog;
        mainWhileObserved = app.GetMainWnd();
        EXPECT_EQ(dialog.inputFileName, "CUST");
        EXPECT_NE(dialog.client, nullptr);
    });
    EXPECT_EQ(app.GetOutcome(), Outcome::NotRun);
    EXPECT_FALSE(app.InitInstance());
    ASSERT_NE(observed, nullptr);
    EXPECT_EQ(mainWhileObserved, observed);
    EXPECT_EQ(app.GetMainWnd(), nullptr);
}

TEST_F(AppTest, AboutCommandsOpenTheAboutBox) {
    std::vector<std::string> aboutTexts;
    const Outcome outcome = Run(kCommandLine, [&](HeadlessHost& host) {
        if (!host.Exists(D::kOutputFile)) {  // the about box
            aboutTexts.push_back(host.Text(platform::kIdOk));
            host.Click(platform::kIdOk);
            return;
        }
        for (unsigned command : {15u, 16u, 31u, 32u}) host.SystemCommand(command);
    });
    EXPECT_EQ(outcome, Outcome::Ran);
    // Identifiers 16 to 31 are the about command; 15 and 32 get the default processing.
    EXPECT_EQ(templatesRun,
              (std::vector<int>{res::kMainDialog, res::kAboutDialog, res::kAboutDialog}));
    EXPECT_EQ(aboutTexts, (std::vector<std::string>{"OK", "OK"}));
}

TEST_F(AppTest, WithoutAViewTheDialogCannotRunAndTheRunFails) {
    const platform::DialogViewFactory former = platform::SetDialogViewFactory(nullptr);
    COrdelinApp app(kCommandLine);
    EXPECT_FALSE(app.InitInstance());
    platform::SetDialogViewFactory(former);
    EXPECT_EQ(app.GetOutcome(), Outcome::NoWindow);
    EXPECT_EQ(app.ExitStatus(), COrdelinApp::kExitFailed);
    EXPECT_EQ(component->CallCount("Shutdown"), 1);
    ExpectClientDestroyed();
}

class NoClientApp : public COrdelinApp {
  public:
    using COrdelinApp::COrdelinApp;

  protected:
    std::unique_ptr<CDornApi> CreateClient() override { return nullptr; }
};

TEST_F(AppTest, ClientThatCannotBeMadeEndsTheRunSilently) {
    NoClientApp app(kCommandLine);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.GetOutcome(), Outcome::NoClient);
    EXPECT_EQ(app.ExitStatus(), COrdelinApp::kExitFailed);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(registration->creations(), 0);
}

}  // namespace
