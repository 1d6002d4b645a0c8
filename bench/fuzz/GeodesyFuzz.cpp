// libFuzzer target: the great-circle distance and course against the formulas written out
// literally, without clamping. Where the literal formulas compute, every bit must agree;
// where they fault, the course is a plain 0, 180 or 360 or a division by zero.
// Input: four doubles (latitude, longitude of each point); out-of-range values are folded in.
#include "gonio/Geodesy.h"
#include "platform/RuntimeError.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

using namespace quadrantel::gonio;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

std::optional<double> LiteralArccos(double x)
{
    const double d = -x * x + 1;
    if (!(d > 0))
        return std::nullopt;
    return std::atan(-x / std::sqrt(d)) + PI / 2;
}

double Rad(double d)
{
    return d * PI / 180;
}

std::optional<double> LiteralPosdist(double a, double b, double c, double d)
{
    if (a == c && b == d)
        return 0.0;
    const double k = std::cos(Rad(c)) * std::cos(Rad(a)) * std::cos(Rad(d - b)) + std::sin(Rad(c)) * std::sin(Rad(a));
    const auto ac = LiteralArccos(k);
    return ac ? std::optional(180 / PI * 60 * *ac) : std::nullopt;
}

std::optional<float> LiteralCourse(double a, double b, double c, double d)
{
    if (b == d)
        return a >= c ? 180.0f : 0.0f;
    const auto dist = LiteralPosdist(a, b, c, d);
    if (!dist)
        return std::nullopt;
    const double delta = Rad(*dist / 60);
    const double den = std::cos(Rad(a)) * std::sin(delta);
    if (den == 0)
        return std::nullopt;
    const auto ac = LiteralArccos((std::sin(Rad(c)) - std::cos(delta) * std::sin(Rad(a))) / den);
    if (!ac)
        return std::nullopt;
    float T = static_cast<float>(*ac * 180 / PI);
    if (std::sin(Rad(d - b)) < 0)
        T = 360 - T;
    return T;
}

double Fold(double v, double limit)
{
    return std::isfinite(v) ? std::fmod(v, limit) : 0.0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    double v[4];
    if (size < sizeof v)
        return 0;
    std::memcpy(v, data, sizeof v);
    const double a = Fold(v[0], 90), b = Fold(v[1], 180), c = Fold(v[2], 90), d = Fold(v[3], 180);

    if (const auto dist = LiteralPosdist(a, b, c, d))
        Check(Posdist(a, b, c, d) == *dist);
    if (const auto course = LiteralCourse(a, b, c, d)) {
        try {
            Check(Course(a, b, c, d) == *course);
        } catch (const quadrantel::platform::RuntimeError& e) {
            // Within 1e-12 of a pole or of the antipode counts as there: the truncated pi
            // leaves the exact points at about 1e-15, not at 0.
            const double delta = Rad(*LiteralPosdist(a, b, c, d) / 60);
            Check(e.number() == kErrDivisionByZero &&
                  (std::fabs(std::cos(Rad(a))) < 1e-12 || std::fabs(std::sin(delta)) < 1e-12));
        }
    } else {
        try {
            const float t = Course(a, b, c, d);
            Check(t == 0.0f || t == 180.0f || t == 360.0f);
        } catch (const quadrantel::platform::RuntimeError& e) {
            Check(e.number() == kErrDivisionByZero);
        }
    }
    return 0;
}
