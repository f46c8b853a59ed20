// Statuses the facade makes itself: the engine's text for the code, then the detail.
#pragma once

#include <string>

#include "talvo/engine.h"

namespace talvo {

inline Status FacadeError(Error code, const std::string& detail) {
    return Status(code, std::string(ErrorText(code)) + ": " + detail);
}

}  // namespace talvo
