#pragma once

#include "atcclient/TowrixProbe.h"

#include <string>

namespace quadrantel::test {

// The ATC client's two answers, as the test sets them.
class FakeAtcClient final : public atcclient::AtcClient {
public:
    atcclient::TowrixConnection connection = atcclient::TowrixConnection::NotRunning;
    std::string callsign;
    atcclient::TowrixConnection Connection() override { return connection; }
    std::string SelectedCallsign() override { return callsign; }
};

} // namespace quadrantel::test
