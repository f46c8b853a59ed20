// The build as a unit of its own: a request, the client and a listener, no dialog. What the
// listener is told and answers, what the component is asked, and the limits a request is held to.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "builder/build_run.h"
#include "builder/key_fields.h"
#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "platform/message_box.h"
#include "settings/test_home.h"

namespace builder {
namespace {

using fstest::Units;

// Everything the build shows, in order, one line each; boxes are answered from `answers` (OK, or
// No for a question, once they run out).
class RecordingListener : public BuildListener {
  public:
    std::vector<std::string> events;
    std::vector<int> answers;

    int ShowMessage(const std::string& text, unsigned flags) override {
        events.push_back("box " + std::to_string(flags) + ": " + text);
        if (answers.empty()) return platform::CautiousAnswer(flags);
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    void BeginWaitCursor() override { events.push_back("wait"); }
    void EndWaitCursor() override { events.push_back("normal"); }
    void ShowProgress(bool show) override { events.push_back(show ? "shown" : "hidden"); }
    void RepaintNow() override { events.push_back("repaint"); }
    void SetProgressRange(int upper) override {
        events.push_back("range " + std::to_string(upper));
    }
    void SetProgressPosition(int position) override {
        events.push_back("position " + std::to_string(position));
    }
    void OpenListFile(const std::string& name) override { events.push_back("open " + name); }
};

// A temporary home for the settings file and the list files (TestHome), the scripted component
// with the input CUST on DAT and a connected client.
class BuildRequestTest : public TestHome {
  protected:
    void SetUp() override {
        TestHome::SetUp();
        component = fstest::ScriptedComponent::Make();
        registration = std::make_unique<fstest::ScopedComponentRegistration>(component);
        client = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client->Connect(nullptr, false));
        component->directoryTable.at(0) = {u"DAT", u"/data/DAT"};
        // OUT is the temporary folder itself: the build's hold on its output's name and the
        // dry run's look at the folder find a real one.
        component->directoryTable.at(1) = {u"OUT", fstest::W(P())};
        // CUST on DAT: type 4, 10-byte records under the 4-byte keys K000 .. K004.
        fstest::FakeFile& input = component->AddFile("DAT", "CUST", 4, 10, 4);
        for (int i = 0; i < 5; ++i) {
            const std::string key = "K00" + std::to_string(i);
            fstest::ScriptedComponent::AddRecord(input, Units(key), Units(key + "ab" + key));
        }
    }

    void TearDown() override {
        client.reset();
        registration.reset();
        component.Reset();
        TestHome::TearDown();
    }

    // NEW on OUT, keyed on input bytes 6..9 (the key again), in key order.
    static BuildRequest Request() {
        BuildRequest request;
        request.inputFileName = "CUST";
        request.inputDirectory = "DAT";
        request.inputFileType = 4;
        request.inputRecordSize = 10;
        request.inputKeySize = 4;
        request.outputFileName = "NEW";
        request.outputDirectory = "OUT";
        request.outputRecordSize = 10;
        request.outputKeySize = 4;
        request.keyFields = {{6, 4}};
        return request;
    }

    std::vector<std::u16string> KeysWritten() const {
        std::vector<std::u16string> keys;
        for (const fstest::Call& call : component->Calls("WriteKey")) {
            keys.push_back(*call.variant.bstrVal);
        }
        return keys;
    }

    platform::ComPtr<fstest::ScriptedComponent> component;
    std::unique_ptr<fstest::ScopedComponentRegistration> registration;
    std::unique_ptr<CDornApi> client;
    RecordingListener listener;
    ListFile listFile;
    BuildSummary summary;
};

TEST_F(BuildRequestTest, ARunWorksFromItsRequestAndShowsItselfThroughItsListener) {
    BuildRequest request = Request();
    request.fromKey = "K00123456";  // longer than the key: its first four bytes position
    request.toKey = "K002";
    BuildRun(*client, request, listener, listFile, summary).Run();
    EXPECT_EQ(KeysWritten(), (std::vector<std::u16string>{u"K001", u"K002"}));
    ASSERT_EQ(component->CallCount("FindKey"), 1);
    EXPECT_EQ(*component->LastCall("FindKey").variant.bstrVal, u"K001");

    // A second run on the same list file and summary: a shorter bound is followed by zero bytes,
    // not by what the first one left; the summary starts again.
    listener.events.clear();
    request.fromKey = "K00";
    request.outputFileName = "NEW2";
    BuildRun(*client, request, listener, listFile, summary).Run();
    EXPECT_EQ(*component->LastCall("FindKey").variant.bstrVal, (std::u16string{u"K00", 4}));
    EXPECT_EQ(summary.recordsRead, 3u);
    EXPECT_EQ(summary.recordsWritten, 3u);
    EXPECT_TRUE(summary.keyOrder);
    ASSERT_FALSE(summary.listFileName.empty());
    EXPECT_FALSE(listFile.open);
    // Five records of 10 bytes: no bar, the position set to the estimate at the end all the same.
    EXPECT_EQ(listener.events, (std::vector<std::string>{"wait", "position 5", "normal",
                                                         "box 0: 3 records were written", "hidden",
                                                         "open " + summary.listFileName}));
}

TEST_F(BuildRequestTest, TheListenersAnswerDecidesWhetherAnOutputInPlaceIsReplaced) {
    component->AddFile("OUT", "NEW", 4, 10, 4);
    const std::string question = "box 36: Overwrite existing \"NEW\"?";
    listener.answers = {platform::IDNO};
    BuildRun(*client, Request(), listener, listFile, summary).Run();
    EXPECT_EQ(listener.events, std::vector<std::string>{question});
    EXPECT_EQ(summary.failure, "\"NEW\" exists and was kept");
    EXPECT_EQ(component->CallCount("Erase"), 0);
    EXPECT_FALSE(summary.copied);

    listener.events.clear();
    listener.answers = {platform::IDYES};
    BuildRun(*client, Request(), listener, listFile, summary).Run();
    ASSERT_FALSE(listener.events.empty());
    EXPECT_EQ(listener.events.front(), question);
    EXPECT_EQ(component->CallCount("Erase"), 1);
    EXPECT_EQ(KeysWritten().size(), 5u);
    EXPECT_TRUE(summary.copied);
}

TEST_F(BuildRequestTest, ADryRunShowsNothingWritesNothingAndStartsNoListFile) {
    BuildRequest request = Request();
    request.keyFields = {{4, 2}, {0, 2}};  // "ab" then "K0": one key for every record
    request.keyOrder = false;
    const BuildSummary dry = BuildRun(*client, request, listener, listFile, summary).DryRun();
    EXPECT_TRUE(listener.events.empty());
    EXPECT_FALSE(listFile.open);
    EXPECT_TRUE(dry.dryRun);
    EXPECT_EQ(dry.recordsRead, 5u);
    EXPECT_EQ(dry.recordsWritten, 1u);
    EXPECT_EQ(dry.recordsNotWritten, 4u);
    EXPECT_EQ(summary.recordsNotWritten, 4u);
    for (const char* operation : {"WriteKey", "CreateKeyed", "CreateExtendedKeyed", "Erase"}) {
        EXPECT_EQ(component->CallCount(operation), 0) << operation;
    }
    EXPECT_FALSE(component->IsOpen(38));
}

TEST(BuildLimitsTest, ARequestIsHeldToTheBuffersAtTheirEdges) {
    struct Row {
        const char* what;
        void (*change)(BuildRequest&);
        bool refused;
    };
    const Row rows[] = {
        {"a field ending at the last byte",
         [](BuildRequest& r) {
             r.keyFields = {{65527, 8}};
         },
         false},
        {"one byte further",
         [](BuildRequest& r) {
             r.keyFields = {{65528, 8}};
         },
         true},
        {"a position that wraps",
         [](BuildRequest& r) {
             r.keyFields = {{0xFFFFFFFF, 2}};
         },
         true},
        {"254 fields",
         [](BuildRequest& r) {
             r.keyFields.assign(254, {0, 1});
         },
         false},
        {"255 fields",
         [](BuildRequest& r) {
             r.keyFields.assign(255, {0, 1});
         },
         true},
        {"fields of 255 bytes",
         [](BuildRequest& r) {
             r.keyFields = {{0, 200}, {200, 55}};
         },
         false},
        {"fields of 256 bytes",
         [](BuildRequest& r) {
             r.keyFields = {{0, 200}, {200, 56}};
         },
         true},
        {"records of 1 byte", [](BuildRequest& r) { r.inputRecordSize = r.outputRecordSize = 1; },
         false},
        {"an input record of 0 bytes", [](BuildRequest& r) { r.inputRecordSize = 0; }, true},
        {"records of 65535 bytes",
         [](BuildRequest& r) { r.inputRecordSize = r.outputRecordSize = 65535; }, false},
        {"an input record of 65536", [](BuildRequest& r) { r.inputRecordSize = 65536; }, true},
        {"an output record of 65536", [](BuildRequest& r) { r.outputRecordSize = 65536; }, true},
        {"keys of 255 bytes", [](BuildRequest& r) { r.inputKeySize = r.outputKeySize = 255; },
         false},
        {"an input key of 256", [](BuildRequest& r) { r.inputKeySize = 256; }, true},
        {"an output key of 256", [](BuildRequest& r) { r.outputKeySize = 256; }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        BuildRequest request;
        request.inputRecordSize = request.outputRecordSize = 100;
        request.inputKeySize = request.outputKeySize = 8;
        row.change(request);
        const bool refused = CheckKeyFields(request) || CheckBuildLimits(request);
        EXPECT_EQ(refused, row.refused);
    }

    // The key is assembled at fixed offsets, each field after the lengths before it, and zeros
    // fill it to the output key size.
    BuildRequest request;
    request.outputKeySize = 12;
    request.keyFields = {{0, 4}, {4, 2}, {65533, 2}};
    auto buffers = std::make_unique<BuildBuffers>();
    const uint8_t start[] = {0x41, 0x42, 0x00, 0x44, 0x45, 0x46};
    std::copy(std::begin(start), std::end(start), buffers->recordBuffer.begin());
    buffers->recordBuffer[65533] = 0xFF;
    buffers->recordBuffer[65534] = 0xFE;
    buffers->builtKey.fill(0x77);
    AssembleKey(request, *buffers);
    const std::vector<uint8_t> key(buffers->builtKey.begin(), buffers->builtKey.begin() + 12);
    EXPECT_EQ(key, (std::vector<uint8_t>{0x41, 0x42, 0x00, 0x44, 0x45, 0x46, 0xFF, 0xFE, 0x00, 0x00,
                                         0x00, 0x00}));
    // The next record's key over the last one's: nothing of it shows through, nor of a field
    // list cut short by a field outside the record.
    buffers->recordBuffer[1] = 0x58;
    request.keyFields = {{0, 2}, {65535, 1}, {2, 2}};
    AssembleKey(request, *buffers);
    const std::vector<uint8_t> next(buffers->builtKey.begin(), buffers->builtKey.begin() + 12);
    EXPECT_EQ(next, (std::vector<uint8_t>{0x41, 0x58, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(AssembleKeyTest, EveryFieldLengthCopiesExactlyItsBytes) {
    // Short fields are copied in overlapping words: each length from 1 to 255, at the start
    // and at the very end of the record buffer, behind a field of odd length, must give exactly
    // the field's bytes, with the bytes after the key left as the zeros that fill it.
    auto buffers = std::make_unique<BuildBuffers>();
    for (size_t i = 0; i < buffers->recordBuffer.size(); ++i) {
        buffers->recordBuffer[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    const auto& record = buffers->recordBuffer;
    const uint32_t end = static_cast<uint32_t>(record.size());
    for (uint32_t length = 1; length <= 254; ++length) {
        SCOPED_TRACE("a field of " + std::to_string(length) + " bytes");
        for (const uint32_t position : {0u, 3u, end - length}) {
            BuildRequest request;
            request.outputKeySize = 255;
            request.keyFields = {{1, 1}, {position, length}};
            buffers->builtKey.fill(0xAA);
            AssembleKey(request, *buffers);
            std::vector<uint8_t> expected(255, 0);
            expected[0] = record[1];
            std::copy_n(record.begin() + position, length, expected.begin() + 1);
            const std::vector<uint8_t> key(buffers->builtKey.begin(),
                                           buffers->builtKey.begin() + 255);
            ASSERT_EQ(key, expected) << "at position " << position;
        }
    }
}

// Fields of every kind together, short ones copied as words whose tails the next fields and the
// zeros must cover, over a key left full of other bytes: the key is exactly the fields' bytes and
// the zeros, whatever the key size.
TEST(AssembleKeyTest, MixedFieldListsGiveExactlyTheirBytes) {
    auto buffers = std::make_unique<BuildBuffers>();
    for (size_t i = 0; i < buffers->recordBuffer.size(); ++i) {
        buffers->recordBuffer[i] = static_cast<uint8_t>(i * 13 + i / 256 + 1);
    }
    const auto& record = buffers->recordBuffer;
    const auto end = static_cast<uint32_t>(record.size());
    uint32_t seed = 12345;
    const auto next = [&seed](uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % below;
    };
    for (int round = 0; round < 2000; ++round) {
        BuildRequest request;
        uint32_t total = 0;
        const uint32_t fields = 1 + next(6);
        for (uint32_t f = 0; f < fields; ++f) {
            const uint32_t length = 1 + (next(4) == 0 ? next(40) : next(16));
            const uint32_t position = next(3) == 0 ? end - length - next(8) : next(200);
            if (total + length > 255) break;
            request.keyFields.push_back({position, length});
            total += length;
        }
        request.outputKeySize = 1 + next(255);
        std::vector<uint8_t> expected;
        for (const KeyField& field : request.keyFields) {
            expected.insert(expected.end(), record.begin() + field.position,
                            record.begin() + field.position + field.length);
        }
        expected.resize(std::max<size_t>(expected.size(), request.outputKeySize), 0);
        expected.resize(request.outputKeySize);
        buffers->builtKey.fill(static_cast<uint8_t>(0xA5 + round));
        KeyAssembler(request).Assemble(*buffers);
        const std::vector<uint8_t> key(buffers->builtKey.begin(),
                                       buffers->builtKey.begin() + request.outputKeySize);
        ASSERT_EQ(key, expected) << "round " << round;
    }
}

}  // namespace
}  // namespace builder
