#include "gonio/Gauge.h"

#include "gonio/Geodesy.h"
#include "gonio/Reading.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/TextRoutines.h"

#include <cmath>

namespace quadrantel::gonio {
namespace {

constexpr double kDegree = 0.0174532925199433;

} // namespace

std::pair<float, float> EstimateText(const std::string& caption)
{
    return {static_cast<float>(caption.size() * 7 * 15), 16.0f * 15};
}

GaugeGeometry ComputeGauge(double heading, const platform::Bounds& shape, const MeasureText& measure)
{
    GaugeGeometry g{};
    const float R = shape.width / 2;
    const float left = shape.left;
    const float top = shape.top;
    const double theta = (heading - 180) * kDegree;
    const float tipX = static_cast<float>(left + R * std::sin(theta) + R);
    const float tipY = static_cast<float>(top + R - R * std::cos(theta));
    g.needle[0] = left + R;
    g.needle[1] = top + R;
    g.needle[2] = tipX;
    g.needle[3] = tipY;

    const auto stroke = [&](float* out, double angleDeg) {
        const double t = (angleDeg - 180) * kDegree;
        out[0] = tipX;
        out[1] = tipY;
        out[2] = static_cast<float>(left + (R - 150) * std::sin(t) + R);
        out[3] = static_cast<float>(top + R - (R - 150) * std::cos(t));
    };
    stroke(g.stroke1, heading - 5);
    stroke(g.stroke2, heading + 5);

    int hdg = platform::CInt(heading + 180);
    if (hdg > 360)
        hdg -= 360;
    g.hdg = hdg;
    g.caption = " " + platform::Format(hdg, "000") + '\xb0';
    const auto [w, h] = measure(g.caption);
    g.labelWidth = w + 200;
    g.labelHeight = h;

    if ((hdg >= 0 && hdg <= 90) || hdg == 360)
        g.labelPos = {{tipX, tipY - g.labelHeight}};
    else if (hdg >= 91 && hdg <= 180)
        g.labelPos = {{tipX, tipY}};
    else if (hdg >= 181 && hdg <= 270)
        g.labelPos = {{tipX - g.labelWidth, tipY}};
    else if (hdg >= 271 && hdg <= 359)
        g.labelPos = {{tipX - g.labelWidth, tipY - g.labelHeight}};
    return g;
}

CallerNeedle ComputeCallerNeedle(const std::string& callsign, double qdr, const platform::Bounds& shape,
                                 const MeasureText& measure)
{
    CallerNeedle n{callsign, {}, {}};
    const float R = shape.width / 2;
    const float cx = shape.left + R;
    const float cy = shape.top + R;
    const double theta = qdr * kDegree;
    const auto along = [&](float r) {
        return std::pair<float, float>(static_cast<float>(cx + r * std::sin(theta)),
                                       static_cast<float>(cy - r * std::cos(theta)));
    };
    const auto [tipX, tipY] = along(R);
    n.line[0] = cx;
    n.line[1] = cy;
    n.line[2] = tipX;
    n.line[3] = tipY;
    // Inside the rim, clear of the scale's ticks, whatever the side: centred on the needle a
    // label's half-diagonal in from the rim.
    const auto [w, h] = measure(callsign);
    const auto [x, y] = along(R - 150 - std::hypot(w, h) / 2);
    n.label = {x - w / 2, y - h / 2, w, h};
    return n;
}

std::string PlaneText(double latitude, double longitude)
{
    std::string lon = DecimalToCoordinate(longitude, Axis::Longitude);
    if (lon == "W090.00.00.000")
        lon = "W089.59.59.999";
    return DecimalToCoordinate(latitude, Axis::Latitude) + " " + lon;
}

bool OutOfRange(double distNm, const traffic::Position& aircraft)
{
    if (!aircraft.altitudeFt && aircraft.source != traffic::Source::Link)
        return false;
    return distNm >= 10 && distNm > RadioHorizon(aircraft.altitudeFt);
}

std::optional<int> CallerBearing(const std::string& stationId, const traffic::Position& aircraft)
{
    try {
        std::string station = stationId;
        shell::TakeToken(station, " ");
        const std::string plane = PlaneText(aircraft.latitude, aircraft.longitude);
        const double dist = platform::Int(static_cast<double>(SctDistance(station, plane)) + 0.5);
        if (OutOfRange(dist, aircraft))
            return std::nullopt;
        return SctBearing(station, plane);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

GaugePanel::GaugePanel(Controls controls, MeasureText measure) : c_(controls), measure_(std::move(measure)) {}

void GaugePanel::DrawGauge(double heading)
{
    c_.Line1.setVisible(false);
    c_.Line2.setVisible(false);
    c_.Line3.setVisible(false);
    c_.lblHdg.setVisible(false);

    const GaugeGeometry g = ComputeGauge(heading, c_.Shape1.rect(), measure_);
    c_.Line1.setPoints(g.needle[0], g.needle[1], g.needle[2], g.needle[3]);
    c_.Line2.setPoints(g.stroke1[0], g.stroke1[1], g.stroke1[2], g.stroke1[3]);
    c_.Line3.setPoints(g.stroke2[0], g.stroke2[1], g.stroke2[2], g.stroke2[3]);
    c_.lblHdg.setCaption(g.caption);
    const platform::Bounds& r = c_.lblHdg.rect();
    if (g.labelPos)
        c_.lblHdg.move(g.labelPos->first, g.labelPos->second, g.labelWidth, g.labelHeight);
    else
        c_.lblHdg.move(r.left, r.top, g.labelWidth, g.labelHeight);

    c_.Line1.setVisible(true);
    c_.Line2.setVisible(true);
    c_.Line3.setVisible(true);
    c_.lblHdg.setVisible(true);
}

void GaugePanel::chkGonio_Click(const std::function<void()>& clearReading)
{
    const bool on = c_.chkGonio.checked();
    c_.imgGonio.setPicture(on ? platform::Picture::On : platform::Picture::Off);
    c_.imgGonio.setToolTip(std::string(on ? "Deactivate" : "Activate") + " GONIO");
    platform::IgnoreErrors([&] { c_.chkGonio.setFocus(); });
    if (!on && clearReading)
        clearReading();
}

void GaugePanel::imgGonio_Click()
{
    c_.chkGonio.setValue(c_.chkGonio.value() == 0 ? 1 : 0);
    c_.cmdPicTowrix.setVisible(c_.chkGonio.checked());
    const bool shown = c_.cmdPicTowrix.visible();
    c_.imgMonitor.setVisible(shown);
    c_.Shape1.setVisible(shown);
    c_.imgSpeak.setVisible(shown);
}

void GaugePanel::DrawCallers(const std::vector<std::pair<std::string, int>>& callers)
{
    std::vector<CallerNeedle> needles;
    needles.reserve(callers.size());
    for (const auto& [callsign, qdr] : callers)
        needles.push_back(ComputeCallerNeedle(callsign, qdr, c_.Shape1.rect(), measure_));
    if (needles == callers_)
        return;
    callers_ = std::move(needles);
    callersChanged();
}

void GaugePanel::UpdateIcon(const std::string& sMessage)
{
    if (refreshIcon)
        refreshIcon();
    c_.lblError.setCaption(sMessage);
    c_.lblError.refresh();
}

} // namespace quadrantel::gonio
