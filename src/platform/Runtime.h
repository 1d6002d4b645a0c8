#pragma once

#include "platform/Numbers.h"

#include <QDateTime>

#include <cstdint>
#include <string>
#include <string_view>

// Numeric helpers that behave like the runtime functions the program was designed with.
namespace quadrantel::platform {

// Whole seconds from a to b, counted as second boundaries crossed.
int64_t SecondsBetween(const QDateTime& a, const QDateTime& b);
int64_t SecondsBetween(int64_t aMSecs, int64_t bMSecs);

// Upper and lower case of 8-bit text (ASCII letters and the Latin-1 letters).
std::string UCase(std::string_view text);
std::string LCase(std::string_view text);
char UpperChar(char c);
// Case-blind equality of 8-bit texts.
bool EqualsNoCase(std::string_view a, std::string_view b);
// Text with leading and trailing blanks removed.
std::string Trim(std::string_view text);
std::string RTrim(std::string_view text);
std::string LTrim(std::string_view text);

} // namespace quadrantel::platform
