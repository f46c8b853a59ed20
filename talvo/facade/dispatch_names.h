// Dispatch-name lookup shared by the component's objects: a member's id is its 1-based place in
// the interface's member list; names compare without regard to (ASCII) letter case.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/text_case.h"

namespace talvo {

inline platform::HResult FindDispatchName(std::span<const std::u16string_view> members,
                                          const std::u16string& name, platform::DispId* id) {
    if (id == nullptr) return platform::kPointer;
    platform::DispId next = 1;
    for (std::u16string_view member : members) {
        if (platform::EqualsIgnoringCase(member, name)) {
            *id = next;
            return platform::kOk;
        }
        ++next;
    }
    *id = -1;  // DISPID_UNKNOWN
    return platform::kUnknownName;
}

}  // namespace talvo
