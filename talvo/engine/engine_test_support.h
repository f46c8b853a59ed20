// Shared by the engine's tests: a temporary folder per test and small helpers for bytes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "talvo/engine.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine::testing {

inline std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

inline std::span<const uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "talvo-engine-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

// A temporary folder, the work counters cleared before the test and the process's budgets, which
// the test may lower, put back after it.
class TunedTempDirTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        saved_ = CurrentTuning();
        Counters() = {};
    }
    void TearDown() override {
        CurrentTuning() = saved_;
        TempDirTest::TearDown();
    }

    Tuning saved_;
};

#define ASSERT_OK(expr)                                 \
    do {                                                \
        const ::talvo::Status status_ = (expr);         \
        ASSERT_TRUE(status_.ok()) << status_.message(); \
    } while (0)
#define EXPECT_OK(expr)                                 \
    do {                                                \
        const ::talvo::Status status_ = (expr);         \
        EXPECT_TRUE(status_.ok()) << status_.message(); \
    } while (0)

}  // namespace talvo::engine::testing
