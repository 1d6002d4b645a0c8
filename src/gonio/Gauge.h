#pragma once

#include "platform/Controls.h"
#include "traffic/Position.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quadrantel::gonio {

// Where the needle, its arrowhead and the bearing label go for one heading; twips,
// single precision.
struct GaugeGeometry {
    float needle[4];  // x1, y1, x2, y2: centre to tip
    float stroke1[4]; // tip to 5 degrees left of the needle, 150 inside the rim
    float stroke2[4]; // tip to 5 degrees right
    int hdg;          // the bearing the label shows
    std::string caption;
    float labelWidth, labelHeight;
    std::optional<std::pair<float, float>> labelPos; // left, top; none for bearings off the dial
};

// Width and height of a caption in twips, in the window's font.
using MeasureText = std::function<std::pair<float, float>(const std::string&)>;

// A rough measure for use without a window: 7 by 16 pixels a character at 96 DPI.
std::pair<float, float> EstimateText(const std::string& caption);

// Geometry of the gauge for a QDM of `heading` degrees on the dial `shape`.
GaugeGeometry ComputeGauge(double heading, const platform::Bounds& shape, const MeasureText& measure);

// Another caller heard with the one on the gauge: a thinner needle from the centre to the rim
// towards his aircraft, his callsign just inside the rim at its end; twips.
struct CallerNeedle {
    std::string callsign;
    float line[4]; // x1, y1, x2, y2
    platform::Bounds label;
    bool operator==(const CallerNeedle&) const = default;
};
CallerNeedle ComputeCallerNeedle(const std::string& callsign, double qdr, const platform::Bounds& shape,
                                 const MeasureText& measure);

// The QDR of an aircraft from a station (a position Id), by the reading's rules; none when the
// aircraft is out of radio range or its position cannot be read.
std::optional<int> CallerBearing(const std::string& stationId, const traffic::Position& aircraft);
// The aircraft's position as the station distance and bearing read it ("N050.30.00.000 E009...").
std::string PlaneText(double latitude, double longitude);
// Out of radio range: 10 NM or more out and beyond the horizon of his altitude. A data feed's
// pilot without an altitude is not put there on a guess; the link's empty field reads as 0, as
// it always has.
bool OutOfRange(double distNm, const traffic::Position& aircraft);

// The gauge and the goniometer switch on the main window.
class GaugePanel {
public:
    struct Controls {
        platform::Shape& Shape1;
        platform::Line& Line1;
        platform::Line& Line2;
        platform::Line& Line3;
        platform::Label& lblHdg;
        platform::Image& imgGonio;
        platform::CheckBox& chkGonio;
        platform::CheckBox& cmdPicTowrix;
        platform::Image& imgMonitor;
        platform::Image& imgSpeak;
        platform::Label& lblError;
    };

    GaugePanel(Controls controls, MeasureText measure = EstimateText);

    void DrawGauge(double heading);
    void chkGonio_Click(const std::function<void()>& clearReading);
    void imgGonio_Click();
    void UpdateIcon(const std::string& sMessage = {});
    // The other callers' needles, each callsign with his QDR; none clears them.
    void DrawCallers(const std::vector<std::pair<std::string, int>>& callers);
    const std::vector<CallerNeedle>& callers() const { return callers_; }

    // Set by the window: re-assigns its own icon.
    std::function<void()> refreshIcon;
    platform::Notifier callersChanged;

private:
    Controls c_;
    std::vector<CallerNeedle> callers_;
    MeasureText measure_;
};

} // namespace quadrantel::gonio
