// The fixture of the dialog tests: a client connected to a scripted component that holds one
// input file, the dialog, and the headless host that runs it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "platform/message_box.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

class DialogTest : public ::testing::Test {
  protected:
    using D = COrdelinDlg;

    void SetUp() override {
        component = fstest::ScriptedComponent::Make();
        registration = std::make_unique<fstest::ScopedComponentRegistration>(component);
        client = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client->Connect(nullptr, false));
        dialog = std::make_unique<COrdelinDlg>();
        host = std::make_unique<headless::HeadlessHost>();
    }

    void TearDown() override {
        host.reset();  // takes the dialog down before the dialog goes
        dialog.reset();
        client.reset();
        registration.reset();
        component.Reset();
    }

    // Adds the input file CUST on DAT and opens the dialog on it (names handed over in lower
    // case). Returns whether the dialog is running.
    bool Open(int32_t fileType, int32_t recordSize, int32_t keySize, int32_t keyPosition = 0) {
        component->AddFile("DAT", "CUST", fileType, recordSize, keySize, keyPosition);
        dialog->SetInputFile(*client, "cust", "dat");
        return host->Open(*dialog);
    }

    // Types into an edit and leaves it for the read-only input file edit.
    void Enter(int id, const std::string& text) {
        ASSERT_TRUE(host->Type(id, text)) << "control " << id;
        host->MoveFocus(D::kInputFile);
    }

    // Adds a key field through the position and length edits and Add Key Field.
    void AddField(uint32_t position, uint32_t length) {
        Enter(D::kFieldPosition, std::to_string(position));
        Enter(D::kFieldLength, std::to_string(length));
        host->Click(D::kAddKeyField);
    }

    // Directory table entries of the component.
    void SetDirectories(const std::vector<std::u16string>& names) {
        for (size_t i = 0; i < names.size(); ++i) {
            component->directoryTable.at(i) = {names[i], u"/data/" + names[i]};
        }
    }

    // The one box shown since the last call (fails the test unless exactly one was shown).
    platform::ShownMessageBox OnlyBox() {
        std::vector<platform::ShownMessageBox> boxes = host->TakeMessageBoxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? platform::ShownMessageBox{} : boxes.front();
    }

    std::string Summary(int defined, int total) {
        return "Key Fields: (" + std::to_string(defined) + " of " + std::to_string(total) +
               " bytes currently defined)";
    }

    // The bytes the occupancy map marks, below `limit`.
    std::vector<uint32_t> Occupied(uint32_t limit = 400) {
        std::vector<uint32_t> bytes;
        for (uint32_t n = 0; n < limit; ++n) {
            if (dialog->IsByteOccupied(n)) bytes.push_back(n);
        }
        return bytes;
    }

    static std::vector<uint32_t> Range(uint32_t first, uint32_t count) {
        std::vector<uint32_t> bytes;
        for (uint32_t n = first; n < first + count; ++n) bytes.push_back(n);
        return bytes;
    }

    platform::ComPtr<fstest::ScriptedComponent> component;
    std::unique_ptr<fstest::ScopedComponentRegistration> registration;
    std::unique_ptr<CDornApi> client;
    std::unique_ptr<COrdelinDlg> dialog;
    std::unique_ptr<headless::HeadlessHost> host;
};
