#include "gonio/Reading.h"

#include "gonio/Geodesy.h"
#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/TextRoutines.h"

#include <cmath>

namespace quadrantel::gonio {

using platform::IgnoreErrors;

namespace {

constexpr uint32_t kBlack = 0;
constexpr uint32_t kGreen = 65280;

} // namespace

int RadioHorizon(std::optional<double> altitudeFt)
{
    const double feet = 1.5 * altitudeFt.value_or(0);
    if (!(feet >= 0))
        return 0; // a negative altitude has no horizon
    const double r = platform::Int(std::sqrt(feet) + 0.5);
    return r > 2147483647.0 ? 0 : static_cast<int>(r);
}

std::string AltitudeText(std::optional<double> altitudeFt)
{
    return altitudeFt ? platform::Format(*altitudeFt, "0") : std::string();
}

Reading::Reading(Controls controls, GaugePanel& gauge, int32_t& lLastSpeech, Hooks hooks)
    : c_(controls), gauge_(gauge), lLastSpeech_(lLastSpeech), hooks_(std::move(hooks))
{
}

void Reading::lstStrips_Click()
{
    const std::string sel = c_.lstStrips.text();
    if (!c_.chkGonio.checked() || sel.empty())
        return;
    if (!c_.chkLock.checked()) {
        IgnoreErrors([&] { lLastSpeech_ = hooks_.secondsNow(); });
        IgnoreErrors([&] { c_.txtGonio.setText(sel + " calculating ..."); });
        IgnoreErrors([&] { c_.txtGonio.setForeColor(kBlack); });
        IgnoreErrors([&] { c_.txtGonio.refresh(); });
        IgnoreErrors([&] { Gonio(sel); });
    } else {
        IgnoreErrors([&] { Gonio(c_.txtGonio.tag()); });
    }
}

void Reading::Gonio(const std::string& sPlane)
{
    if (sPlane.empty())
        return;
    std::string station = c_.txtStation.text();
    shell::TakeToken(station, " ");
    const auto fix = hooks_.fix ? hooks_.fix(sPlane) : std::nullopt;
    if (!fix)
        throw platform::RuntimeError(5, "Gonio", "Invalid procedure call or argument");
    const traffic::Position& aircraft = fix->position;

    const std::string plane = PlaneText(aircraft.latitude, aircraft.longitude);
    const double dist = platform::Int(static_cast<double>(SctDistance(station, plane)) + 0.5);

    const bool unknown = !aircraft.altitudeFt && aircraft.source != traffic::Source::Link;
    IgnoreErrors([&] {
        c_.txtGonio.setToolTip("Distance " + platform::Format(dist, "0") + "  (" +
                               (unknown ? "altitude unknown)"
                                        : std::to_string(RadioHorizon(aircraft.altitudeFt)) + "/" +
                                              AltitudeText(aircraft.altitudeFt) + "ft )") +
                               (fix->note.empty() ? "" : "  " + fix->note));
    });

    if (OutOfRange(dist, aircraft)) {
        IgnoreErrors([&] { c_.txtGonio.setText("out of range"); });
        IgnoreErrors([&] { c_.txtQDM.setText("---"); });
        IgnoreErrors([&] { c_.txtQDM.setTag(""); });
        IgnoreErrors([&] { c_.txtQDR.setText("---"); });
        IgnoreErrors([&] { c_.txtQDR.setTag(""); });
        IgnoreErrors([&] { c_.imgSignal.setWidth(1000); });
    } else {
        int qdr = 0;
        IgnoreErrors([&] { qdr = SctBearing(station, plane); });
        int qdm = qdr + 180;
        if (qdm > 360)
            qdm -= 360;
        const std::string qdmText = platform::Format(qdm, "000");
        const std::string qdrText = platform::Format(qdr, "000");
        IgnoreErrors([&] { c_.txtGonio.setText(sPlane); });
        IgnoreErrors([&] { c_.txtQDM.setText(qdmText); });
        IgnoreErrors([&] { c_.txtQDM.setTag(qdmText); });
        IgnoreErrors([&] { c_.txtQDR.setText(qdrText); });
        IgnoreErrors([&] { c_.txtQDR.setTag(qdrText); });
        IgnoreErrors([&] { c_.imgSignal.setWidth(3210); });
    }
    IgnoreErrors([&] { c_.imgSignal.setHeight(200); });
    IgnoreErrors([&] { c_.txtGonio.setForeColor(kGreen); });
    IgnoreErrors([&] { c_.txtGonio.setTag(sPlane); });
    IgnoreErrors([&] { c_.txtQDM.setForeColor(c_.txtGonio.foreColor()); });
    IgnoreErrors([&] { c_.txtQDR.setForeColor(c_.txtGonio.foreColor()); });
    IgnoreErrors([&] {
        c_.txtGonio.refresh();
        c_.txtQDM.refresh();
        c_.txtQDR.refresh();
    });
    IgnoreErrors([&] { c_.imgSignal.setVisible(true); });
}

void Reading::txtQDR_Change()
{
    if (hooks_.reseedRandom)
        hooks_.reseedRandom();
    const bool numeric = platform::IsNumeric(c_.txtQDR.text());
    if (numeric) {
        gauge_.DrawGauge(platform::Val(c_.txtQDM.text()));
        std::string station = c_.txtStation.text();
        const std::string name = shell::TakeToken(station, " ");
        const std::string& call = c_.txtGonio.text();
        const std::string figures = "QDR[" + c_.txtQDR.text() + "]  QDM[" + c_.txtQDM.text() + "]";
        if (hooks_.setTitle) {
            if (hooks_.isMinimized && hooks_.isMinimized())
                hooks_.setTitle("Gonio " + call + " " + figures + "  (" + name + ")");
            else
                hooks_.setTitle("Quadrantel - (" + name + ") " + call + " " + figures);
        }
    } else if (hooks_.setTitle) {
        hooks_.setTitle("Quadrantel");
    }
    c_.Line1.setVisible(numeric);
    c_.Line2.setVisible(numeric);
    c_.Line3.setVisible(numeric);
    c_.lblHdg.setVisible(numeric);
}

void Reading::ClearReading()
{
    c_.txtQDM.setText("---");
    c_.txtQDM.setTag("");
    c_.txtQDR.setText("---");
    c_.txtQDR.setTag("");
    c_.txtGonio.setText("");
    c_.imgSignal.setVisible(false);
}

} // namespace quadrantel::gonio
