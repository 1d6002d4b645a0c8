#pragma once

#include <clocale>
#include <string>

namespace quadrantel::test {

// Switches the C library's numbers to a decimal comma while it lives, as a German desktop
// does; scripts/install-deps generates the locale. active() tells whether it took.
class CommaLocale {
public:
    CommaLocale() : old_(std::setlocale(LC_NUMERIC, nullptr)), active_(std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {}
    ~CommaLocale() { std::setlocale(LC_NUMERIC, old_.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool active() const { return active_; }

private:
    std::string old_;
    bool active_;
};

} // namespace quadrantel::test
