// The string table.
#include <array>
#include <utility>

#include "res/resources.h"

namespace res {
namespace {

constexpr std::array<std::pair<int, std::string_view>, 2> kStrings{{
    {kAboutMenuText, "&About Ordelin..."},
    {kRecordLayoutMenuText, "Record &Layout..."},
}};

}  // namespace

std::string_view LoadString(int id) {
    for (const auto& [stringId, text] : kStrings) {
        if (stringId == id) return text;
    }
    return {};
}

}  // namespace res
