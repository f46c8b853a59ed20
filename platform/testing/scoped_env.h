// For tests: an environment variable set (or unset) for the life of a scope, and put back as it
// was when the scope ends.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace platform::testing {

class ScopedEnv {
  public:
    // Saves the variable only; whatever the test then sets is undone at the end of the scope.
    explicit ScopedEnv(const char* variable) : name(variable) {
        if (const char* old = std::getenv(variable)) saved = old;
    }
    // Saves the variable and sets it to `value` (null: removes it).
    ScopedEnv(const char* variable, const char* value) : ScopedEnv(variable) {
        if (value)
            setenv(variable, value, 1);
        else
            unsetenv(variable);
    }
    ~ScopedEnv() {
        if (saved)
            setenv(name.c_str(), saved->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name;
    std::optional<std::string> saved;
};

}  // namespace platform::testing
