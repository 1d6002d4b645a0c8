#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace quadrantel::platform {

// The program's one run-time error: a number, the source that raised it and a description.
class RuntimeError : public std::exception {
public:
    RuntimeError(long number, std::string source, std::string description)
        : number_(number), source_(std::move(source)), description_(std::move(description))
    {
    }

    long number() const noexcept { return number_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    long number_;
    std::string source_;
    std::string description_;
};

// Runs one step of an "errors are ignored from here on" sequence: a failing step is
// skipped and the caller goes on with the next one. Returns whether the step succeeded.
template <typename F> bool IgnoreErrors(F&& step) noexcept
{
    try {
        std::forward<F>(step)();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace quadrantel::platform
