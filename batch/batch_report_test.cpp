#include "batch/batch_report.h"

#include <gtest/gtest.h>

#include "batch/testing/json_value.h"

namespace batch {
namespace {

TEST(BatchReport, JsonStringsAreAlwaysValidAndKeepTheirText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "\"plain\""},
        {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
        {"a\nb\r\tc", "\"a\\nb\\r\\tc\""},
        {std::string("\0\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
        {"Z\xc3\xbcrich \xe2\x82\xac \xf0\x9f\x98\x80",
         "\"Z\xc3\xbcrich \xe2\x82\xac \xf0\x9f\x98\x80\""},
        // Bytes outside a valid sequence: a lone continuation, a cut sequence, an overlong form,
        // a surrogate.
        {"\x80", "\"\\u0080\""},
        {"\xe2\x82", "\"\\u00e2\\u0082\""},
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(JsonString(text), json);
        const std::optional<jsontest::Value> parsed = jsontest::Parse(JsonString(text));
        ASSERT_TRUE(parsed) << json;
    }
}

TEST(BatchReport, SummaryNamesTheFirstRecordsNotWrittenAndCountsTheRest) {
    BatchReport report;
    report.dryRun = true;
    report.output = OutputDescription{"CITY", "OUT"};
    report.summary.copied = true;
    report.summary.recordsRead = 40;
    report.summary.recordsWritten = 25;
    for (uint64_t i = 0; i < 15; ++i) {
        const uint8_t key[2] = {0x41, static_cast<uint8_t>(i)};
        report.summary.AddNotWritten(i * 2, key, 2, "duplicate key:\nan earlier record");
    }
    const std::string text = SummaryText(report);
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "CITY on OUT (dry run): 40 records read, 25 would be written, 15 would not be "
              "written");
    EXPECT_NE(text.find("\n  record 0, key 4100: duplicate key: an earlier record\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n  record 18, key 4109: "), std::string::npos);
    EXPECT_EQ(text.find("key 410A"), std::string::npos);  // the eleventh is only counted
    EXPECT_NE(text.find("\n  and 5 more\n"), std::string::npos);
}

TEST(BatchReport, ExitStatusTellsACompleteBuildFromOneThatFellShort) {
    struct Row {
        const char* what;
        bool copied;
        uint64_t notWritten;
        std::string failure;
        std::string subordinateKeyFailure;
        int status;
    };
    const Row rows[] = {
        {"every record written", true, 0, "", "", 0},
        {"some records not written", true, 2, "", "", 3},
        {"an output that could not keep them", true, 2, "The output file \"X\" could not be...", "",
         1},
        {"every record in, a definition not copied", true, 0, "", "Subordinate key 1 could not...",
         3},
        {"ended before the copy", false, 0, "Create of File \"X\" on \"D\" - failed", "", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        BatchReport report;
        report.summary.copied = row.copied;
        report.summary.recordsNotWritten = row.notWritten;
        report.summary.failure = row.failure;
        report.summary.subordinateKeyFailure = row.subordinateKeyFailure;
        EXPECT_EQ(ExitStatusOf(report), row.status);
    }
}

}  // namespace
}  // namespace batch
