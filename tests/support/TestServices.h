#pragma once

#include "app/GonioForm.h"
#include "support/Wait.h"

#include <algorithm>

namespace quadrantel::test {

// The main window's services for tests: the given fakes, waits that do not block, and a
// pumping wait that runs the loop briefly.
inline app::GonioServices TestServices(const platform::Clock& clock, platform::Random& random,
                                       voice::VoiceClient& voice, atcclient::AtcClient& atc)
{
    app::GonioServices s;
    s.clock = &clock;
    s.random = &random;
    s.voice = &voice;
    s.atc = &atc;
    s.sleep = [](int) {};
    s.pumpingSleep = [](int ms) { RunEventsFor(std::min(ms, 50)); };
    return s;
}

} // namespace quadrantel::test
