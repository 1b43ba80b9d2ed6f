#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tabula::test {

// Sets an environment variable for the object's lifetime, then restores it
// (or removes it when it was not set).
class TEnvironmentOverride {
public:
    TEnvironmentOverride(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~TEnvironmentOverride() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    TEnvironmentOverride(const TEnvironmentOverride&) = delete;
    TEnvironmentOverride& operator=(const TEnvironmentOverride&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace tabula::test
