#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numeric helpers that behave like the runtime functions the program was designed with.
// Standard library only, so the geodesy can use them too.
namespace quadrantel::platform {

// Leading number of a text: blanks anywhere are skipped, a point is the decimal separator,
// an optional sign and exponent are read, anything else ends the number. "12ab" -> 12.
double Val(std::string_view text);

// Rounds half to even ("banker's rounding"), as integer conversions do.
double RoundHalfEven(double x);
// Largest integer not above x.
double Int(double x);
// Conversion to a 16-bit integer with half-to-even rounding; throws RuntimeError 6 on overflow.
int16_t CInt(double x);
// Conversion to a 32-bit integer with half-to-even rounding; throws RuntimeError 6 on overflow.
int32_t CLng(double x);

// Formats a number with a digit pattern of '0' and '#' placeholders and at most one point:
// "000", "0##", "0#.##0", "00.000", "000000000000". A point is always the separator, a
// negative value keeps its minus sign in front of the digits, ties round away from zero.
std::string Format(double value, std::string_view pattern);

// The number as printf("%.<precision><conversion>") writes it in the C locale, whatever
// locale the process runs in: conversion 'f', 'e', 'g' or 'G'. The C library's own
// conversions follow the locale that Qt sets from the environment (a decimal comma in de_DE).
std::string NumberText(double value, char conversion, int precision);

// Whether a text reads as a plain number (blanks around, a sign, digits and one point).
bool IsNumeric(std::string_view text);
// A text converted to a 16-bit integer as an assignment would: RuntimeError 13 when it is
// not a number, 6 when it does not fit.
int16_t CIntText(std::string_view text);

} // namespace quadrantel::platform
