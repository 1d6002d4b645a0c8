// libFuzzer target: typed coordinates and position texts.
// Input: up to four texts separated by NUL (typed latitude, typed longitude, two positions);
// its first eight bytes are also read as a double.
#include "gonio/Geodesy.h"
#include "platform/Numbers.h"
#include "platform/RuntimeError.h"
#include "stations/CoordinateInput.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using namespace quadrantel;
using gonio::Axis;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

void CheckTyped(std::string_view typed, Axis axis)
{
    const bool lat = axis == Axis::Latitude;
    const auto c = lat ? stations::CheckLatitude(typed) : stations::CheckLongitude(typed);
    if (!c.ok) {
        Check(c.text == typed);
        return;
    }
    // "L###.##.##.###", and accepting it again changes nothing.
    Check(c.text.size() == 14);
    Check(lat ? stations::IsLatitudeText(c.text) : stations::IsLongitudeText(c.text));
    const auto again = lat ? stations::CheckLatitude(c.text) : stations::CheckLongitude(c.text);
    Check(again.ok && again.text == c.text);

    // Seconds are not range-checked, so "999.59.99.999" reaches just past 1000 degrees.
    const double v = gonio::CoordinateToDecimal(c.text, axis);
    Check(std::isfinite(v) && std::fabs(v) < 1001.0);
    if (std::fabs(v) >= 999.0)
        return; // the round trip needs three degree digits
    const std::string back = gonio::DecimalToCoordinate(v, axis);
    Check(back.size() == 14);
    Check(std::fabs(gonio::CoordinateToDecimal(back, axis) - v) < 1e-6);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string_view part[4];
    for (auto& p : part) {
        const auto nul = rest.find('\0');
        p = rest.substr(0, nul);
        rest = nul == std::string_view::npos ? std::string_view{} : rest.substr(nul + 1);
    }

    CheckTyped(part[0], Axis::Latitude);
    CheckTyped(part[1], Axis::Longitude);
    (void)stations::Normalize(part[0]);

    try {
        const int16_t bearing = gonio::SctBearing(part[2], part[3]);
        Check(bearing >= 0 && bearing <= 360);
    } catch (const platform::RuntimeError&) {
    }
    try {
        const float distance = gonio::SctDistance(part[2], part[3]);
        Check(!(distance < 0.0f));
    } catch (const platform::RuntimeError&) {
    }
    for (const auto& p : {part[2], part[3]}) {
        try {
            const double lat = gonio::CoordinateToDecimal(p, Axis::Latitude);
            (void)gonio::CoordinateToDecimal(p, Axis::Longitude);
            // One blank more leaves the fast path for well-formed text: the same bits.
            const double general = gonio::CoordinateToDecimal(std::string(p) + " ", Axis::Latitude);
            Check(lat == general);
        } catch (const platform::RuntimeError&) { // degrees or minutes beyond 16 bits
        }
    }

    if (size >= 8) {
        double d;
        std::memcpy(&d, data, sizeof d);
        try {
            const std::string text = gonio::DecimalToCoordinate(d, Axis::Longitude);
            Check(text.size() >= 14);
            // The seconds as the general number formatting writes them.
            int16_t dd, mm;
            double ss;
            gonio::DecToLonLat(std::fabs(d), dd, mm, ss);
            Check(text == std::string(d > 0 ? "E" : "W") + platform::Format(dd, "0##") + "." +
                              platform::Format(mm, "0#") + "." + platform::Format(ss, "0#.##0"));
        } catch (const platform::RuntimeError&) {
        }
    }
    return 0;
}
