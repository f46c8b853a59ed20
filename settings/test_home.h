// A temporary home for the settings tests: local application data, the Windows directory and
// the program's folder all lie in a fresh temporary folder, and the settings path cache is
// forgotten before and after each test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "fsclient/dornapi.h"
#include "platform/path.h"

class TestHome : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ordelin-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root + "/data");
        std::filesystem::create_directories(root + "/windir");
        std::filesystem::create_directories(root + "/app");
        SetEnv("HOME", root + "/home");
        SetEnv("XDG_DATA_HOME", root + "/data");
        SetEnv("ORDELIN_WINDIR", root + "/windir");
        SetEnv("ORDELIN_PROGRAM_PATH", root + "/app/ordelin");
        CDornApi::ResetSettingsPathCacheForTesting();
    }
    void TearDown() override {
        CDornApi::ResetSettingsPathCacheForTesting();
        for (const auto& [name, value] : savedEnv) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::filesystem::remove_all(root);
    }

    // Sets (or with nullopt unsets) a variable for the rest of the test.
    void SetEnv(const std::string& name, std::optional<std::string> value) {
        if (!savedEnv.count(name)) {
            const char* old = std::getenv(name.c_str());
            savedEnv[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }

    // The platform form of a host path below the temporary folder.
    std::string P(const std::string& below = "") const {
        return platform::ToPlatformPath(root + "/" + below);
    }
    std::string Host(const std::string& below) const { return root + "/" + below; }

    static void WriteText(const std::string& host, const std::string& text) {
        std::ofstream(host, std::ios::binary) << text;
    }
    static std::string ReadText(const std::string& host) {
        std::ifstream in(host, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string root;

  private:
    std::map<std::string, std::optional<std::string>> savedEnv;
};
