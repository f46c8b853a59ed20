// Variants of the two kinds the system exchanges with the component: 32-bit integers (VT_I4)
// and wide strings (VT_BSTR).
#pragma once

#include <cstdint>

#include "platform/wide.h"

namespace platform {

using VarType = uint16_t;
constexpr VarType VT_EMPTY = 0;
constexpr VarType VT_I4 = 3;
constexpr VarType VT_BSTR = 8;

struct Variant {
    VarType vt = VT_EMPTY;
    int32_t lVal = 0;    // VT_I4
    WideString bstrVal;  // VT_BSTR
};

// Frees what the variant holds and makes it empty.
inline void VariantClear(Variant& v) {
    v.vt = VT_EMPTY;
    v.lVal = 0;
    v.bstrVal.reset();
}

// 16-bit booleans of the component: non-zero is true.
using VariantBool = int16_t;
constexpr VariantBool VARIANT_TRUE = -1;
constexpr VariantBool VARIANT_FALSE = 0;

}  // namespace platform
