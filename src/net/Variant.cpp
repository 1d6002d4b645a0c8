#include "net/Variant.h"

#include "platform/Runtime.h"

#include <cmath>

namespace quadrantel::net {

bool Variant::isNumeric() const
{
    switch (type_) {
    case vbInteger:
    case vbLong:
    case vbSingle:
    case vbDouble:
    case vbCurrency:
    case vbBoolean:
    case vbByte:
        return true;
    case vbString:
        // Not strtod: it would take hexadecimal, "nan", "inf" and the locale's decimal comma.
        return platform::IsNumeric(std::get<std::string>(value_));
    default:
        return false;
    }
}

double Variant::toDouble() const
{
    if (const auto* i = std::get_if<std::int64_t>(&value_))
        return type_ == vbCurrency ? static_cast<double>(*i) / 10000.0 : static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value_))
        return *d;
    if (type_ == vbString && isNumeric())
        return platform::Val(std::get<std::string>(value_));
    return 0.0;
}

std::int64_t Variant::toInt64() const
{
    if (const auto* i = std::get_if<std::int64_t>(&value_); i && type_ != vbCurrency)
        return *i;
    const double d = platform::RoundHalfEven(toDouble());
    if (!(d > -9.2e18 && d < 9.2e18))
        return 0;
    return static_cast<std::int64_t>(d);
}

std::string Variant::toText() const
{
    if (const auto* s = std::get_if<std::string>(&value_))
        return *s;
    if (const auto* b = std::get_if<Bytes>(&value_))
        return std::string(b->begin(), b->end());
    if (type_ == vbBoolean)
        return toInt64() ? "True" : "False";
    if (std::holds_alternative<std::int64_t>(value_) && type_ != vbCurrency)
        return std::to_string(std::get<std::int64_t>(value_));
    if (std::holds_alternative<std::monostate>(value_))
        return {};
    return platform::NumberText(toDouble(), 'g', 15);
}

} // namespace quadrantel::net
