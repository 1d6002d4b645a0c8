#pragma once

#include "gonio/Gauge.h"
#include "platform/Controls.h"
#include "traffic/Position.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quadrantel::gonio {

// One goniometer reading: the bearings and distance of a callsign's aircraft as seen from
// the station, shown on the main window.
class Reading {
public:
    struct Controls {
        platform::TextBox& txtGonio;
        platform::TextBox& txtQDM;
        platform::TextBox& txtQDR;
        platform::Image& imgSignal;
        platform::CheckBox& chkGonio;
        platform::CheckBox& chkLock;
        platform::ComboBox& txtStation;
        platform::ListBox& lstStrips;
        platform::Label& lblHdg;
        platform::Line& Line1;
        platform::Line& Line2;
        platform::Line& Line3;
    };

    struct Hooks {
        // Where the aircraft is by callsign (case-blind), and what the source says of that
        // position; none when unknown.
        std::function<std::optional<traffic::Fix>(const std::string&)> fix;
        // Whole seconds since the window was loaded.
        std::function<int32_t()> secondsNow;
        std::function<bool()> isMinimized;
        std::function<void(const std::string&)> setTitle;
        std::function<void()> reseedRandom;
    };

    Reading(Controls controls, GaugePanel& gauge, int32_t& lLastSpeech, Hooks hooks);

    void lstStrips_Click();
    // Throws when the aircraft is unknown or its distance cannot be computed.
    void Gonio(const std::string& sPlane);
    void txtQDR_Change();
    void ClearReading();

private:
    Controls c_;
    GaugePanel& gauge_;
    int32_t& lLastSpeech_;
    Hooks hooks_;
};

// Radio horizon in nautical miles for an altitude in feet; 0 when unknown or negative.
int RadioHorizon(std::optional<double> altitudeFt);
// The altitude as the reading's tooltip shows it: whole feet, or nothing when unknown.
std::string AltitudeText(std::optional<double> altitudeFt);

} // namespace quadrantel::gonio
