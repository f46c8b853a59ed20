// The copybook reader against GnuCOBOL: the corpus in layout/testdata (and the demonstration
// copybook) and random copybooks are compiled, and every item's offset and length must be the
// compiler's. LAYOUT_ORACLE_COPYBOOKS=N runs N random copybooks instead of the few CI runs
// (LAYOUT_ORACLE_SEED picks another series); scripts/layout_oracle.sh does so.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/program_run.h"
#include "layout/copybook_reader.h"
#include "layout/testing/cobol_oracle.h"
#include "layout/testing/random_copybook.h"

namespace layout {
namespace {

namespace fs = std::filesystem;
using testing::CompareWithCompiler;
using testing::OracleCase;
using testing::OracleResult;

std::string SourceDir() {
    const char* dir = std::getenv("ORDELIN_SOURCE_DIR");
    return dir ? dir : ".";
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The corpus: every copybook of layout/testdata ("-free" in the name: free form) and the
// demonstration copybook.
std::vector<OracleCase> Corpus() {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(SourceDir() + "/layout/testdata")) {
        if (entry.path().extension() == ".cpy") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    paths.push_back(SourceDir() + "/demo/customer.cpy");
    std::vector<OracleCase> cases;
    for (const fs::path& path : paths) {
        const std::string name = path.filename().string();
        cases.push_back({name, ReadText(path),
                         name.find("-free") != std::string::npos ? SourceFormat::kFree
                                                                 : SourceFormat::kFixed});
    }
    return cases;
}

std::string Report(const OracleResult& result) {
    std::string text;
    for (size_t i = 0; i < result.disagreements.size() && i < 40; ++i) {
        text += result.disagreements[i] + "\n";
    }
    if (result.disagreements.size() > 40) {
        text += "... and " + std::to_string(result.disagreements.size() - 40) + " more\n";
    }
    return text;
}

class CompilerLayout : public ::testing::TestWithParam<BinarySize> {
  protected:
    void SetUp() override {
        if (testing::FindCobc().empty()) GTEST_SKIP() << "cobc is not installed (gnucobol3)";
    }
    e2e::Scratch scratch_;
};

TEST_P(CompilerLayout, CorpusAgreesWithTheCompiler) {
    const std::vector<OracleCase> cases = Corpus();
    ASSERT_GE(cases.size(), 10u);
    const OracleResult result = CompareWithCompiler(cases, GetParam(), scratch_.root());
    ASSERT_TRUE(result.compiled) << result.failure;
    EXPECT_TRUE(result.disagreements.empty()) << Report(result);
    // Every named item of the corpus is measured, tables at several occurrences.
    EXPECT_GT(result.compared, 500u);
}

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Compares the cases with the compiler. The compiler has faults of its own: a copybook that
// makes it stop with an "internal compiler error" is singled out by halving the batch, and left
// out (counted in *skipped).
OracleResult CompareSkippingCompilerFaults(const std::vector<OracleCase>& cases, BinarySize size,
                                           const std::string& folder, size_t* skipped) {
    OracleResult result = CompareWithCompiler(cases, size, folder);
    if (result.compiled || result.failure.find("internal compiler error") == std::string::npos) {
        return result;
    }
    if (cases.size() == 1) {
        ++*skipped;
        std::printf("the compiler fails on %s: left out\n", cases[0].name.c_str());
        return {true, "", 0, {}};
    }
    const auto middle = cases.begin() + static_cast<std::ptrdiff_t>(cases.size() / 2);
    OracleResult first = CompareSkippingCompilerFaults({cases.begin(), middle}, size, folder,
                                                       skipped);
    OracleResult second = CompareSkippingCompilerFaults({middle, cases.end()}, size, folder,
                                                        skipped);
    if (!first.compiled) return first;
    if (!second.compiled) return second;
    first.compared += second.compared;
    first.disagreements.insert(first.disagreements.end(), second.disagreements.begin(),
                               second.disagreements.end());
    return first;
}

TEST_P(CompilerLayout, RandomCopybooksAgreeWithTheCompiler) {
    // Split over the three binary sizes; one program per batch of copybooks.
    const uint64_t all = EnvNumber("LAYOUT_ORACLE_COPYBOOKS", 90);
    const auto part = static_cast<uint64_t>(GetParam());
    const uint64_t total = all / 3 + (part < all % 3 ? 1 : 0);
    const uint64_t seed = EnvNumber("LAYOUT_ORACLE_SEED", 20240601) + static_cast<uint64_t>(GetParam()) * 1'000'003;
    constexpr uint64_t kBatch = 150;
    size_t compared = 0;
    size_t skipped = 0;
    for (uint64_t first = 0; first < total; first += kBatch) {
        std::vector<OracleCase> cases;
        for (uint64_t n = first; n < std::min(total, first + kBatch); ++n) {
            const testing::RandomCopybook c =
                testing::MakeRandomCopybook(seed + n, "K" + std::to_string(n) + "-");
            cases.push_back({"random copybook of seed " + std::to_string(seed + n) + " (" +
                                 BinarySizeName(GetParam()) + ")",
                             c.text, c.format});
        }
        const OracleResult result =
            CompareSkippingCompilerFaults(cases, GetParam(), scratch_.root(), &skipped);
        ASSERT_TRUE(result.compiled) << result.failure;
        EXPECT_TRUE(result.disagreements.empty()) << Report(result);
        compared += result.compared;
    }
    std::printf("%llu random copybooks (%zu left out for the compiler's faults), %zu places "
                "compared\n",
                static_cast<unsigned long long>(total), skipped, compared);
    EXPECT_LE(skipped * 50, total) << "more than 2% of the copybooks left out";
    EXPECT_GT(compared, total * 3);
}

INSTANTIATE_TEST_SUITE_P(BinarySizes, CompilerLayout,
                         ::testing::Values(BinarySize::k1248, BinarySize::k248, BinarySize::k1to8),
                         [](const ::testing::TestParamInfo<BinarySize>& p) {
                             return std::string(p.param == BinarySize::k1248  ? "Size1248"
                                                : p.param == BinarySize::k248 ? "Size248"
                                                                                 : "Size1to8");
                         });

}  // namespace
}  // namespace layout
