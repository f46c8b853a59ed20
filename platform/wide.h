// Wide strings as the component object model passes them: UTF-16 text that may also be absent
// (a null string), distinct from an empty one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

using WideString = std::optional<std::u16string>;

// Length in 16-bit units; an absent string has length 0.
inline size_t WideLength(const WideString& s) {
    return s ? s->size() : 0;
}

}  // namespace platform
