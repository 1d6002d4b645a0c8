#pragma once

#include <optional>
#include <string>
#include <vector>

namespace voicesim {

struct FeedOptions {
    int port = 0;
    std::vector<std::string> pilots;
    std::string controller;
    unsigned seed = 1;
    double talkSeconds = 4;
    double gapSeconds = 2;
    bool quiet = false;
    double frequencyMHz = 118.700;      // the controller's station, transmit selected
    double otherFrequencyMHz = 121.800; // a second station, received only; --elsewhere pilots talk there
    std::vector<std::string> elsewhere; // pilots heard on the other frequency
    std::string ground = "EDDF_APP";    // a neighbour controller who talks now and then ("": nobody)
    int groundEvery = 4;                // every n-th turn is the ground station's (0: never)
    int overlapEvery = 2;               // every n-th talker is followed by one who keys up over him (0: never)
    int loseEvery = 5;                  // every n-th transmission ends without kRxEnd (0: never)
    double quitEvery = 0;               // the client quits and comes back every S seconds (0: never)
    bool oldClient = false;             // a client from before 2025: no requests, no activeTransmitters
    bool silent = false;                // nothing at all after the handshake
    int flood = 0;                      // kRxBegin and kRxEnd events per second, for load runs
    int floodTickMs = 1;                // sent in bursts this far apart
};

// The newer voice client's event feed: a WebSocket server on 127.0.0.1 that reports who
// transmits as the real client does. Runs until a signal or the "exit" command; returns the
// exit code.
int RunFeedServer(FeedOptions options);

// Numbers on the command line and in output read the same in every locale.
std::optional<double> ParseNumber(const std::string& text);
std::string NumberText(double value, int decimals);

} // namespace voicesim
