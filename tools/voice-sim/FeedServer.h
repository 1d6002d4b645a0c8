#pragma once

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
    double frequencyMHz = 118.700;      // the controller's station
    double otherFrequencyMHz = 121.800; // where --elsewhere pilots talk
    std::vector<std::string> elsewhere; // pilots heard on the other frequency
    int loseEvery = 5;                  // every n-th transmission ends without kRxEnd (0: never)
    double quitEvery = 0;               // the client quits and comes back every S seconds (0: never)
    int flood = 0;                      // kRxBegin and kRxEnd events per second, for load runs
    int floodTickMs = 1;                // sent in bursts this far apart
};

// The newer voice client's event feed: a WebSocket server on 127.0.0.1 that reports who
// transmits. Runs until a signal or the "exit" command; returns the exit code.
int RunFeedServer(FeedOptions options);

} // namespace voicesim
