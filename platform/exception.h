// The platform's exception type: the framework's exceptions all derive from it, and the client's
// two record-buffer transfers catch it (nothing else catches exceptions).
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& what) : std::runtime_error(what) {}
};

// Raised when memory for a wide string or buffer cannot be had.
class MemoryException : public Exception {
  public:
    MemoryException() : Exception("out of memory") {}
};

}  // namespace platform
