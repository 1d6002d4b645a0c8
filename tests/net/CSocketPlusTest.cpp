#include "net/CSocketPlus.h"

#include "support/CommaLocale.h"
#include "support/RaisedError.h"
#include "support/ScriptedDialogs.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>
#include <utility>

namespace quadrantel::net {
namespace {

using test::RaisedError;

using ErrorSeen = std::pair<int, std::string>; // number, source

// Records events of one object.
struct Recorder {
    explicit Recorder(CSocketPlus& s)
    {
        s.events.Error = [this](const Variant&, std::int16_t n, std::string&, std::int32_t, const std::string& src,
                                const std::string&, std::int32_t, bool& cancel) {
            errors.push_back({n, src});
            if (showBox)
                cancel = false;
        };
        s.events.CloseSck = [this](const Variant&) { ++closed; };
        s.events.Connect = [this](const Variant&) { ++connected; };
        s.events.SendComplete = [this](const Variant&) { ++sendComplete; };
        s.events.SendProgress = [this](const Variant&, std::int32_t sent, std::int32_t) { progress.push_back(sent); };
    }
    std::vector<ErrorSeen> errors;
    std::vector<long long> progress;
    int closed = 0, connected = 0, sendComplete = 0;
    bool showBox = false;
};

// A listening server object that accepts every request into a new numeric element, and a client.
class SocketPairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.ArrayAdd("Listener");
        server.Bind("Listener", 0, "127.0.0.1");
        server.Listen("Listener");
        port = server.LocalPort("Listener");
        server.events.ConnectionRequest = [this](const Variant& index, std::int32_t id) {
            callerPort = server.RemotePort(index);
            if (!acceptRequests)
                return;
            if (beforeAccept)
                beforeAccept(id);
            accepted = server.ArrayAdd();
            server.Accept(accepted, id);
        };
        client.ArrayAdd("Quadrantel");
    }

    void connect()
    {
        client.Connect("Quadrantel", "127.0.0.1", std::to_string(port));
        EXPECT_EQ(client.state("Quadrantel"), sckConnecting);
        ASSERT_TRUE(test::WaitUntil([&] {
            return client.state("Quadrantel") == sckConnected && !accepted.isEmpty() &&
                   server.state(accepted) == sckConnected;
        }));
    }

    test::ScriptedDialogs dialogs;
    CSocketPlus server;
    CSocketPlus client;
    Recorder r{client}, rs{server};
    std::int32_t port = 0;
    Variant accepted;
    bool acceptRequests = true;
    std::function<void(std::int32_t)> beforeAccept;
    std::int32_t callerPort = 0;
};

TEST_F(SocketPairTest, IndexesAreCaseBlindTextsOrWholeNumbersApart)
{
    CSocketPlus& s = client; // holds "Quadrantel"
    EXPECT_EQ(RaisedError([&] { s.ArrayAdd("QUADRANTEL"); }), sckIndexInUse);
    s.ArrayAdd("1"); // text 1 and number 1 never collide
    s.ArrayAdd(Variant(std::int16_t{1}));
    EXPECT_EQ(RaisedError([&] { s.ArrayAdd(1); }), sckIndexInUse); // 32-bit 1 is the same index
    s.ArrayAdd(3);
    EXPECT_EQ(s.ArrayAdd(), Variant(2));
    EXPECT_EQ(RaisedError([&] { s.state("nothing"); }), sckUnknownIndex);
    EXPECT_EQ(RaisedError([&] { s.ArrayAdd(2.5); }), sckUnsupportedIndexType);
}

TEST_F(SocketPairTest, AFreedPositionIsReusedWithNothingOfItsFormerSocket)
{
    client.ArrayAdd(2);
    client.SetTag(2, "old");
    client.ArrayAdd(3); // 2 is not the last position: it is freed for reuse
    client.ArrayRemove(2);
    client.ArrayAdd("again");
    EXPECT_EQ(client.Tag("again"), "");
    EXPECT_EQ(client.ArrayCount(), 3);
}

TEST_F(SocketPairTest, PortsOutOfRangeOrNotNumbersAreRefused)
{
    client.ArrayAdd("again");
    for (const char* port : {"0", "65536"})
        EXPECT_EQ(RaisedError([&] { client.Connect("again", "127.0.0.1", port); }), sckInvalidArgument) << port;
    // Texts that only a C number parser reads as numbers were taken as ports.
    for (const char* port : {"abc", "0x1A85", "nan", "inf", "1e3"})
        EXPECT_EQ(RaisedError([&] { client.Connect("again", "127.0.0.1", port); }), sckUnsupportedType) << port;
    EXPECT_EQ(RaisedError([&] { client.SetRemotePort("again", 70000); }), sckInvalidArgument);
}

TEST_F(SocketPairTest, SendingWithoutAConnectionIsAStateError)
{
    client.ArrayAdd("again");
    EXPECT_EQ(RaisedError([&] { client.SendData("again", "x"); }), sckWrongProtocolOrState);
}

TEST_F(SocketPairTest, RefusedConnectionAndFailedLookupRaiseErrors)
{
    client.ArrayAdd("idle"); // bound but not listening: refuses connections
    client.Bind("idle", 0, "127.0.0.1");
    client.Connect("Quadrantel", "127.0.0.1", client.LocalPort("idle"));
    ASSERT_TRUE(test::WaitUntil([&] { return !r.errors.empty(); }));
    EXPECT_EQ(r.errors[0], ErrorSeen(platform::ws::WSAECONNREFUSED, "CSocketPlus.PostSocket"));
    EXPECT_EQ(client.state("Quadrantel"), sckError);
    EXPECT_EQ(RaisedError([&] { client.Connect("Quadrantel"); }), sckInvalidOperation);

    // Cleared CancelDisplay: the text in a box titled with the source.
    client.CloseSck("Quadrantel");
    r.showBox = true;
    client.Connect("Quadrantel");
    ASSERT_TRUE(test::WaitUntil([&] { return r.errors.size() == 2; }));
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].text, "Connection refused.");
    EXPECT_EQ(dialogs.asked[0].title, "CSocketPlus.PostSocket");

    r.showBox = false;
    client.CloseSck("Quadrantel");
    client.Connect("Quadrantel", "no-such-host.invalid", 6809);
    EXPECT_EQ(client.state("Quadrantel"), sckResolvingHost);
    ASSERT_TRUE(test::WaitUntil([&] { return r.errors.size() == 3; }, 10000));
    EXPECT_EQ(r.errors[2], ErrorSeen(platform::ws::WSAHOST_NOT_FOUND, "CSocketPlus.ConnectToIP"));
}

TEST_F(SocketPairTest, HostNameConnectAndCallerShownDuringRequest)
{
    client.Connect("Quadrantel", "localhost", port);
    ASSERT_TRUE(test::WaitUntil([&] { return r.connected > 0 && !accepted.isEmpty(); }));
    EXPECT_EQ(client.RemoteHostIP("Quadrantel"), "127.0.0.1");
    EXPECT_EQ(callerPort, client.LocalPort("Quadrantel"));
    EXPECT_EQ(server.RemotePort("Listener"), 0); // restored after the event

    // Guards against a listener gone deaf after a stale accept notice: the next caller is announced.
    // A request the handler leaves alone is closed.
    client.ArrayAdd("Two");
    acceptRequests = false;
    callerPort = 0;
    client.Connect("Two", "127.0.0.1", port);
    ASSERT_TRUE(test::WaitUntil([&] { return r.closed > 0 || !r.errors.empty(); }));
    EXPECT_NE(callerPort, 0);
    EXPECT_EQ(AcceptedSocketCount(), 0);
    EXPECT_EQ(server.state("Listener"), sckListening);
}

TEST_F(SocketPairTest, EchoesSeveralMegabytesByteForByte)
{
    connect();
    server.events.DataArrival = [this](const Variant& index, std::int32_t) {
        Bytes chunk;
        server.GetData(index, chunk);
        server.SendData(index, chunk);
    };
    Bytes echoed;
    client.events.DataArrival = [&](const Variant& index, std::int32_t total) {
        EXPECT_EQ(total, client.BytesReceived(index));
        Bytes chunk;
        client.GetData(index, chunk);
        echoed.insert(echoed.end(), chunk.begin(), chunk.end());
    };
    Bytes payload(6 << 20);
    std::generate(payload.begin(), payload.end(), std::mt19937(7));
    client.SendData("Quadrantel", payload);
    ASSERT_TRUE(test::WaitUntil([&] { return echoed.size() >= payload.size(); }, 30000));
    EXPECT_TRUE(echoed == payload);
    EXPECT_EQ(r.sendComplete, 1);
    EXPECT_EQ(std::accumulate(r.progress.begin(), r.progress.end(), 0LL), static_cast<long long>(payload.size()));
    EXPECT_GT(r.progress.size(), 1u); // the send met a full buffer at least once
}

TEST_F(SocketPairTest, TypedValuesOnTheWireBufferedReadsAndPeerClose)
{
    connect();
    // Currency went through a double: inexact past 2^53, the largest turned negative.
    const std::int64_t big[] = {(std::int64_t{1} << 53) + 1, INT64_MAX};
    for (const Variant& v : {Variant(1), Variant(true), Variant(""), Variant(Bytes{}), Variant("0123456789"),
                             Variant::Currency(big[0]), Variant::Currency(big[1])})
        client.SendData("Quadrantel", v);
    EXPECT_EQ(RaisedError([&] { client.SendData("Quadrantel", Variant::Opaque(vbObject)); }), sckUnsupportedType);
    ASSERT_TRUE(test::WaitUntil([&] { return server.BytesReceived(accepted) == 32; }));

    // What a read into a copy of v gives, limited to maxLen bytes when one is given.
    const auto read = [&](Variant v, std::optional<int> maxLen = {}) {
        Variant m{maxLen.value_or(0)};
        server.GetData(accepted, v, nullptr, maxLen ? &m : nullptr);
        return v;
    };
    Variant data; // empty: arrives as a byte array
    Variant six{6};
    server.PeekData(accepted, data, nullptr, &six);
    EXPECT_EQ(data, Variant(Bytes{1, 0, 0, 0, 0xFF, 0xFF})); // True goes out as -1
    EXPECT_EQ(read(Variant(std::int32_t{0})), Variant(1));
    EXPECT_EQ(read(Variant(false)), Variant(true));
    EXPECT_EQ(read(Variant(std::string()), 3), Variant("012"));
    EXPECT_EQ(read(Variant(std::string()), 7), Variant("3456789"));
    for (std::int64_t scaled : big)
        EXPECT_EQ(read(Variant::Currency(0)), Variant::Currency(scaled));
    std::string all = "old";
    server.GetData(accepted, all);
    EXPECT_EQ(all, ""); // TCP with nothing buffered gives an empty text
    client.SendData("Quadrantel", "abc");
    ASSERT_TRUE(test::WaitUntil([&] { return server.BytesReceived(accepted) == 3; }));
    EXPECT_EQ(read(Variant(std::int32_t{42})), Variant(42)); // too few bytes: untouched, nothing taken
    EXPECT_EQ(RaisedError([&] { read(Variant(std::string()), -1); }), sckInvalidArgument);

    // The peer's close leaves its bytes counted but no longer readable.
    client.CloseSck("Quadrantel");
    ASSERT_TRUE(test::WaitUntil([&] { return rs.closed > 0; }));
    test::RunEventsFor(100);
    EXPECT_EQ(rs.closed, 1);
    EXPECT_EQ(server.state(accepted), sckClosing);
    EXPECT_EQ(server.BytesReceived(accepted), 3);
    EXPECT_EQ(RaisedError([&] { server.GetData(accepted, all); }), sckWrongProtocolOrState);
    server.CloseSck(accepted);
    EXPECT_EQ(server.BytesReceived(accepted), 0);
}

TEST_F(SocketPairTest, AcceptTakesBytesTheHolderAlreadyReceived)
{
    std::vector<std::string> arrived;
    server.events.DataArrival = [&](const Variant& index, std::int32_t) {
        std::string text;
        server.GetData(index, text);
        arrived.push_back(text);
    };
    client.events.Connect = [&](const Variant& index) {
        client.SendData(index, "early");
        client.CloseSck(index);
    };
    beforeAccept = [&](std::int32_t id) {
        // The holder keeps reading while the handler lets the loop run.
        ASSERT_TRUE(test::WaitUntil([&] {
            auto* holder = dynamic_cast<CSocketPlus*>(GetAcceptedSocketHolder(id));
            return holder && holder->state("Temporal_Socket") == sckClosing;
        }));
    };
    client.Connect("Quadrantel", "127.0.0.1", port);
    ASSERT_TRUE(test::WaitUntil([&] { return !accepted.isEmpty(); }));
    EXPECT_EQ(arrived, std::vector<std::string>{"early"});
    EXPECT_EQ(server.state(accepted), sckClosing);
    EXPECT_EQ(AcceptedSocketCount(), 0);
}

TEST(CSocketPlusUdpTest, DatagramsOneAtATimeAndTheReplyGoesToTheSender)
{
    CSocketPlus receiver, sender;
    receiver.ArrayAdd(1);
    receiver.SetProtocol(1, sckUDPProtocol);
    receiver.Bind(1, 0, "127.0.0.1");
    EXPECT_EQ(RaisedError([&] { receiver.Bind(1); }), sckInvalidOperation);
    EXPECT_EQ(RaisedError([&] { receiver.SetProtocol(1, sckTCPProtocol); }), sckInvalidOperation);
    sender.ArrayAdd("out");
    sender.SetProtocol("out", sckUDPProtocol);
    sender.SetRemoteHost("out", "127.0.0.1");
    sender.SetRemotePort("out", receiver.LocalPort(1));
    // A datagram left unread is dropped, else no other would be announced. maxLen 0 drops its
    // datagram with an error (it dropped the next one as well); a cut one raises but keeps what fitted.
    std::vector<std::string> got;
    receiver.events.DataArrival = [&](const Variant& index, std::int32_t n) {
        Variant text{std::string()};
        if (got.empty()) {
            got.emplace_back("(left)");
            return;
        }
        if (got.size() != 2) {
            Variant maxLen{got.size() == 1 ? 0 : 3};
            EXPECT_EQ(RaisedError([&] { receiver.GetData(index, text, nullptr, &maxLen); }), platform::ws::WSAEMSGSIZE);
            got.push_back(got.size() == 1 ? "(dropped)" : text.toText());
            return;
        }
        receiver.GetData(index, text);
        EXPECT_EQ(static_cast<std::int32_t>(text.toText().size()), n);
        got.push_back(text.toText());
    };
    for (const char* word : {"zero", "one", "two", "three"})
        sender.SendData("out", word);
    sender.SetRemotePort("out", receiver.LocalPort(1)); // UDP may change its peer at any time
    ASSERT_TRUE(test::WaitUntil([&] { return got.size() == 4; })) << got.size();
    EXPECT_EQ(got, (std::vector<std::string>{"(left)", "(dropped)", "two", "thr"}));

    // Without a datagram the helper overloads leave the caller's variable alone.
    std::string keptText = "kept";
    Bytes keptBytes{1, 2};
    receiver.GetData(1, keptText);
    receiver.GetData(1, keptBytes);
    EXPECT_EQ(keptText + std::string(keptBytes.begin(), keptBytes.end()), "kept\1\2");

    // A reply goes to the sender of the last datagram read.
    std::string reply;
    sender.events.DataArrival = [&](const Variant& index, std::int32_t) { sender.GetData(index, reply); };
    receiver.SendData(1, "pong");
    EXPECT_TRUE(test::WaitUntil([&] { return reply == "pong"; }));
    receiver.CloseSck(1);
    EXPECT_EQ(receiver.LocalPort(1), 0); // the bound port is gone, none was asked for
}

// Guards against a number sent as text with the locale's decimal comma.
TEST(Variant, NumbersBecomeTextWithAPointInAnyLocale)
{
    const test::CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "scripts/install-deps generates de_DE.UTF-8";
    EXPECT_EQ(Variant(118.7).toText(), "118.7");
}

} // namespace
} // namespace quadrantel::net
