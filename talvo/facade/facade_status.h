// Statuses the facade makes itself: the engine's text for the code, then the detail.
#pragma once

#include <string>

#include "talvo/engine.h"

namespace talvo {

[[nodiscard]] inline Status FacadeError(Error code, const std::string& detail) {
    return Status::Failure(code, detail);
}

}  // namespace talvo
