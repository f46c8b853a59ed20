// The facade's statuses are the engine's (Status::Failure makes every text): the codes it
// publishes to clients are checked to be the engine's own.
#pragma once

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

}  // namespace talvo
