#include "batch/batch_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace batch {
namespace {

ParsedCommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "ordelin-batch");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(BatchOptions, EveryOptionLandsWhereTheScriptReadsIt) {
    const ParsedCommandLine p =
        Parse({"--key",      "4:6",       "/data/cust", "/dDAT",         "--out",
               "CITY",       "--out-dir", "OUT",        "--record-size", "-5",
               "--key-size", "+10",       "--key",      "0:4",           "/net=srv",
               "--key-pos",  "12",        "--from",     "A B",           "--to",
               "",           "--order",   "key",        "--overwrite",   "--dry-run",
               "--json",     "--progress"});
    ASSERT_TRUE(p.options) << p.err;
    const BatchOptions& o = *p.options;
    // A key field takes one value: the input file after it is not swallowed.
    EXPECT_EQ(o.words, (std::vector<std::string>{"/data/cust", "/dDAT", "/net=srv"}));
    EXPECT_EQ(o.out, "CITY");
    EXPECT_EQ(o.outDir, "OUT");
    EXPECT_EQ(o.recordSize, "-5");  // the dialog says what it makes of a negative size
    EXPECT_EQ(o.keySize, "+10");
    EXPECT_EQ(o.keys, (std::vector<KeyFieldText>{{"4", "6"}, {"0", "4"}}));
    EXPECT_EQ(o.keyPos, "12");
    EXPECT_FALSE(o.noKeyPos);
    EXPECT_EQ(o.from, "A B");
    EXPECT_EQ(o.to, "");
    EXPECT_EQ(o.order, InputOrder::Key);
    EXPECT_TRUE(o.overwrite && o.dryRun && o.json && o.progress);
}

TEST(BatchOptions, WhatIsNotGivenStaysAsTheDialogStarts) {
    const ParsedCommandLine p = Parse({"/data/cust", "/DDAT", "--out", "X"});
    ASSERT_TRUE(p.options) << p.err;
    const BatchOptions& o = *p.options;
    EXPECT_FALSE(o.outDir || o.recordSize || o.keySize || o.keyPos || o.from || o.to || o.order);
    EXPECT_TRUE(o.keys.empty());
    EXPECT_FALSE(o.noKeyPos || o.overwrite || o.dryRun || o.json || o.progress);
}

TEST(BatchOptions, UnusableCommandLinesGiveTheReasonAndTheUsageLine) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"/d/c", "/DD"}, "--out"},
        {{"/d/c", "/DD", "--out", ""}, "must not be empty"},
        {{"/d/c", "/DD", "--out", "X", "--key", "4"}, "POS:LEN"},
        {{"/d/c", "/DD", "--out", "X", "--key", "1:-4"}, "POS:LEN"},
        {{"/d/c", "/DD", "--out", "X", "--key", ":4"}, "POS:LEN"},
        {{"/d/c", "/DD", "--out", "X", "--key-size", "1e3"}, "decimal"},
        {{"/d/c", "/DD", "--out", "X", "--key-pos", "-"}, "decimal"},
        {{"/d/c", "/DD", "--out", "X", "--order", "Key"}, "--order"},
        {{"/d/c", "/DD", "--out", "X", "--no-key-pos", "--key-pos", "3"}, "excludes"},
        {{"/d/c", "/DD", "--out", "X", "--to", "K", "--order", "record"}, "--from and --to"},
        {{"/d/c", "/DD", "extra", "--out", "X"}, "\"extra\" is neither"},
        {{"--out", "X"}, "input file is missing"},
    };
    for (const auto& [args, reason] : cases) {
        const ParsedCommandLine p = Parse(args);
        EXPECT_FALSE(p.options) << reason;
        EXPECT_EQ(p.exitStatus, kExitUsage) << reason;
        EXPECT_EQ(p.err.rfind("ordelin-batch: ", 0), 0u) << p.err;
        EXPECT_NE(p.err.find(reason), std::string::npos) << p.err;
        EXPECT_NE(p.err.find(kUsageLine), std::string::npos) << p.err;
        EXPECT_EQ(p.out, "");
    }
}

TEST(BatchOptions, HelpAndVersionAnswerOnStandardOutput) {
    const ParsedCommandLine help = Parse({"--help"});
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.exitStatus, kExitOk);
    EXPECT_NE(help.out.find("--order TEXT:{key,record}"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
    const ParsedCommandLine version = Parse({"/d/c", "--version"});
    EXPECT_EQ(version.exitStatus, kExitOk);
    EXPECT_EQ(version.out, VersionText() + "\n");
}

}  // namespace
}  // namespace batch
