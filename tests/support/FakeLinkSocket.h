#pragma once

#include "link/LinkController.h"

#include <string>
#include <vector>

namespace quadrantel::test {

// A socket for the link whose state and received text the test sets, recording what the
// link sends and does.
class FakeLinkSocket final : public link::LinkSocket {
public:
    int currentState = link::sckClosed;
    int stateAfterConnect = link::sckConnected;
    std::string received;
    std::vector<std::string> sent;
    int connects = 0, closes = 0;
    std::string tag = "x";
    int* closesOutliving = nullptr; // counts closes where the test outlives the socket

    int state(const std::string&) override { return currentState; }
    void Connect(const std::string&, const std::string&, const std::string&) override
    {
        ++connects;
        currentState = stateAfterConnect;
    }
    void SendData(const std::string&, const std::string& data) override { sent.push_back(data); }
    void GetData(const std::string&, std::string& data) override
    {
        data = received;
        received.clear();
    }
    void CloseSck(const std::string&) override
    {
        ++closes;
        if (closesOutliving)
            ++*closesOutliving;
        currentState = link::sckClosed;
    }
    void SetTag(const std::string&, const std::string& t) override { tag = t; }
};

} // namespace quadrantel::test
