// Statuses the facade makes itself: the engine's text for the code, then the detail.
#pragma once

#include <string>

#include "talvo/engine.h"
#include "talvo/talvolib.h"

namespace talvo {

// The codes published to clients are the engine's.
static_assert(kErrorNoConnection == static_cast<int32_t>(Error::kNoConnection));
static_assert(kErrorVersionMismatch == static_cast<int32_t>(Error::kVersionMismatch));
static_assert(kErrorNotFound == static_cast<int32_t>(Error::kNotFound));
static_assert(kErrorNoSuchFile == static_cast<int32_t>(Error::kNoSuchFile));
static_assert(kErrorDamaged == static_cast<int32_t>(Error::kDamaged));
static_assert(kErrorNoSpace == static_cast<int32_t>(Error::kNoSpace));
static_assert(kErrorEndOfKeys == static_cast<int32_t>(Error::kEndOfKeys));
static_assert(kErrorOutOfMemory == static_cast<int32_t>(Error::kOutOfMemory));

[[nodiscard]] inline Status FacadeError(Error code, const std::string& detail) {
    return Status::Failure(code, detail);
}

}  // namespace talvo
