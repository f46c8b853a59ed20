// Dispatch-name lookup shared by the component's objects: a member's id is its 1-based place in
// the interface's member list; names compare without regard to (ASCII) letter case.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace talvo {

inline platform::HResult FindDispatchName(std::initializer_list<std::u16string_view> members,
                                          const std::u16string& name, platform::DispId* id) {
    if (id == nullptr) return platform::kPointer;
    auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; };
    platform::DispId next = 1;
    for (std::u16string_view member : members) {
        bool same = member.size() == name.size();
        for (size_t i = 0; same && i < name.size(); ++i) same = upper(member[i]) == upper(name[i]);
        if (same) {
            *id = next;
            return platform::kOk;
        }
        ++next;
    }
    *id = -1;  // DISPID_UNKNOWN
    return platform::kUnknownName;
}

}  // namespace talvo
