#pragma once

#include "platform/Controls.h"
#include "traffic/Position.h"

#include <optional>
#include <string>

namespace quadrantel::traffic {

// Where the main window's aircraft positions come from: the link, the data feed, or both.
// Each fills the traffic table and shows its state on its own light; the window passes on its
// buttons, its timer, the speaker cycle's quiet checks and the readings' questions.
class PositionSource {
public:
    virtual ~PositionSource() = default;

    // From the window's load (its state shown) to its unload (the network let go).
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // The Connect and Disconnect buttons.
    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    // The 100 ms tick: the state display, automatic connection, expiry.
    virtual void Tick() = 0;

    // Its state in words and its light, as its light shows them.
    virtual std::string StateText() const = 0;
    virtual platform::Picture Light() const = 0;

    // A quiet check of the speaker cycle: after a transmission (with the red data light) or
    // after ten silent seconds. The message line says whether positions still come.
    virtual void NoDataCheck(bool redDataLight) = 0;

    // Where a reading puts the aircraft now, with a note of this callsign's own; none when the
    // source does not hold him.
    virtual std::optional<Fix> FixOf(const std::string& callsign) const = 0;
};

} // namespace quadrantel::traffic
