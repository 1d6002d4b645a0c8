#pragma once

#include <string>
#include <string_view>

namespace quadrantel::stations {

// The outcome of checking a typed coordinate: when ok, text is the coordinate in hemisphere
// form ("N040.41.20.616"); otherwise it is the typed text, unchanged.
struct CoordinateCheck {
    bool ok = false;
    std::string text;
};

// Accepts "[NS]###.##.##.###" (any case, blanks around) or signed decimal degrees
// ("+40.689060", "-.5"), which are rewritten in hemisphere form. Places off the earth are
// refused: beyond 90 degrees, or minutes or seconds of 60 or more.
CoordinateCheck CheckLatitude(std::string_view typed);
// The same for "[EW]###.##.##.###", up to 180 degrees.
CoordinateCheck CheckLongitude(std::string_view typed);

// Whether a text has exactly the hemisphere form of a latitude or a longitude; no range is
// tested, so stored positions are read as they are.
bool IsLatitudeText(std::string_view text);
bool IsLongitudeText(std::string_view text);

// Signed decimal degrees to "DDD.MM.SS.sss", "-" in front when negative: "-74.044636" gives
// "-074.02.40.690"; seconds rounding to 60 carry into the minutes. Blank text is returned unchanged; text that is not a
// number gives "".
std::string Normalize(std::string_view sLatLongValue);

} // namespace quadrantel::stations
