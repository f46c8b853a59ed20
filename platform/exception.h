// The platform's exception type: the framework's exceptions all derive from it. The client's two
// record-buffer transfers turn it into a failed read or write; elsewhere exceptions are caught
// only at boundaries that must not let one through (the component's facade, the start-up's
// allocation of the client, each program's main).
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
