// Profile files as the settings file and the component's configuration are read and written:
// the input is the whole file. Every section, key and value is read with large and small
// buffers; then one value is written, one key removed and one directory set, and everything
// else must read as it did before.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/path.h"
#include "platform/profile.h"
#include "talvo/facade/directory_table.h"
#include "talvo/facade/talvo_config.h"

namespace {

constexpr size_t kMaxInput = 16384;
constexpr uint32_t kLarge = 1u << 16;
constexpr size_t kMaxNames = 12;
// A default no file holds, to tell a missing key from an empty value.
constexpr const char* kDefault = "\001(missing)";

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

std::vector<std::string> SplitList(const std::vector<char>& buffer, uint32_t count) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < count) {
        const size_t length = std::strlen(buffer.data() + start);
        names.emplace_back(buffer.data() + start, length);
        start += length + 1;
    }
    return names;
}

// The names of a list (sections when section is null, else keys), read with a large buffer and
// checked against the same list read into small ones.
std::vector<std::string> ReadList(const char* section, const std::string& file) {
    std::vector<char> buffer(kLarge, '#');
    const uint32_t count =
        GetPrivateProfileString(section, nullptr, "", buffer.data(), kLarge, file.c_str());
    FUZZ_CHECK(count + 1 < kLarge, "a list fits the large buffer");
    FUZZ_CHECK(buffer[count] == '\0' && buffer[count == 0 ? 1 : count - 1] == '\0',
               "a list ends with two zeros");
    const std::vector<std::string> names = SplitList(buffer, count);
    for (uint32_t size : {1u, 2u, 3u, 5u, 16u}) {
        std::vector<char> small(size, '#');
        const uint32_t got =
            GetPrivateProfileString(section, nullptr, "", small.data(), size, file.c_str());
        FUZZ_CHECK(got < size, "a list never counts more than its buffer");
        FUZZ_CHECK(small[got] == '\0', "a list cut to its buffer ends with a zero");
        FUZZ_CHECK(std::memcmp(small.data(), buffer.data(), got) == 0,
                   "a list cut short is the start of the whole list");
    }
    return names;
}

std::string ReadValue(const std::string& section, const std::string& key, const std::string& file) {
    std::vector<char> buffer(kLarge, '#');
    const uint32_t count = GetPrivateProfileString(section.c_str(), key.c_str(), kDefault,
                                                   buffer.data(), kLarge, file.c_str());
    FUZZ_CHECK(count < kLarge && buffer[count] == '\0', "a value is terminated");
    const std::string value(buffer.data(), count);
    for (uint32_t size : {1u, 2u, 7u}) {
        std::vector<char> small(size, '#');
        const uint32_t got = GetPrivateProfileString(section.c_str(), key.c_str(), kDefault,
                                                     small.data(), size, file.c_str());
        FUZZ_CHECK(got == std::min<size_t>(value.size(), size - 1) && small[got] == '\0',
                   "a value is cut to its buffer");
        FUZZ_CHECK(value.compare(0, got, small.data(), got) == 0,
                   "a value cut short is the start of the value");
    }
    return value;
}

using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

// Every value of the first sections and keys, by (section, key) as listed.
Snapshot ReadEverything(const std::string& file, std::vector<std::string>* sections) {
    Snapshot values;
    *sections = ReadList(nullptr, file);
    for (size_t s = 0; s < sections->size() && s < kMaxNames; ++s) {
        const std::string& section = (*sections)[s];
        const std::vector<std::string> keys = ReadList(section.c_str(), file);
        for (size_t k = 0; k < keys.size() && k < kMaxNames; ++k) {
            values.emplace(std::make_pair(section, keys[k]), ReadValue(section, keys[k], file));
        }
    }
    return values;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Compares two snapshots, leaving out the value of (section, key) in any letter case.
void ExpectSameExcept(const Snapshot& before, const Snapshot& after, const std::string& section,
                      const std::string& key, const std::string& what) {
    for (const auto& [name, value] : before) {
        if (EqualNoCase(name.first, section) && EqualNoCase(name.second, key)) continue;
        auto it = after.find(name);
        // A listed name may be cut from the snapshot when the lists grow past kMaxNames.
        if (it == after.end()) continue;
        FUZZ_CHECK(it->second == value, what + " changed [" + name.first + "] " + name.second +
                                            " from \"" + value + "\" to \"" + it->second + "\"");
    }
}

void WriteAndReadBack(const std::string& host, const std::string& file, const std::string& text) {
    std::vector<std::string> sections;
    const Snapshot before = ReadEverything(file, &sections);

    // The first key of the first section, or a new one.
    std::string section = sections.empty() ? "Directories" : sections.front();
    std::string key = "QVTEMP";
    for (const auto& [name, value] : before) {
        if (name.first == section) {
            key = name.second;
            break;
        }
    }
    const std::string value = "Z:\\fuzz\\value " + std::to_string(text.size());
    if (WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), file.c_str())) {
        FUZZ_CHECK(ReadValue(section, key, file) == value,
                   "a written value reads back: [" + section + "] " + key);
        std::vector<std::string> sectionsAfter;
        ExpectSameExcept(before, ReadEverything(file, &sectionsAfter), section, key,
                         "writing [" + section + "] " + key);
    } else {
        FUZZ_CHECK(fuzz::ReadWholeFile(host) == text, "a refused write leaves the file alone");
        return;
    }

    const std::string written = fuzz::ReadWholeFile(host);
    std::vector<std::string> ignored;
    const Snapshot beforeRemoval = ReadEverything(file, &ignored);
    if (WritePrivateProfileString(section.c_str(), key.c_str(), nullptr, file.c_str())) {
        FUZZ_CHECK(ReadValue(section, key, file) == kDefault,
                   "a removed key reads as the default: [" + section + "] " + key);
        ExpectSameExcept(beforeRemoval, ReadEverything(file, &ignored), section, key,
                         "removing [" + section + "] " + key);
    } else {
        FUZZ_CHECK(fuzz::ReadWholeFile(host) == written, "a refused removal leaves the file alone");
    }
}

void Configuration(const std::string& host) {
    std::vector<talvo::DirectoryConfigEntry> entries;
    talvo::Status s = talvo::LoadDirectoryConfig(host, &entries);
    if (!s.ok()) return;
    talvo::DirectoryTable table(8);
    table.Fill(entries);
    for (const auto& entry : entries) {
        talvo::DirectoryConfigEntry found;
        if (table.Find(entry.name, &found).ok()) {
            FUZZ_CHECK(talvo::CheckDirectoryName(found.name).ok() && !found.path.empty(),
                       "the table holds only entries it accepts");
        }
    }
    const std::string before = fuzz::ReadWholeFile(host);
    s = talvo::SetDirectoryConfig(host, "fz", "Z:\\fuzz dir");
    if (!s.ok()) {
        FUZZ_CHECK(fuzz::ReadWholeFile(host) == before, "a refused set leaves the file alone");
        return;
    }
    std::vector<talvo::DirectoryConfigEntry> after;
    FUZZ_CHECK(talvo::LoadDirectoryConfig(host, &after).ok(), "the configuration reads again");
    size_t set = 0;
    for (const auto& entry : after) {
        if (EqualNoCase(entry.name, "fz")) {
            FUZZ_CHECK(entry.path == "Z:\\fuzz dir", "the set directory reads back");
            ++set;
        }
    }
    FUZZ_CHECK(set >= 1, "the set directory is listed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string host = fuzz::ScratchPath("NAVO.INI");
    const std::string file = platform::ToPlatformPath(host);

    fuzz::WriteWholeFile(host, text);
    WriteAndReadBack(host, file, text);

    fuzz::WriteWholeFile(host, text);
    Configuration(host);
    return 0;
}
