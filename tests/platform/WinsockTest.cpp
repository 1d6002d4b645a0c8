#include "platform/Winsock.h"

#include "support/Wait.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quadrantel::platform::ws {
namespace {

constexpr std::uint32_t kMsg = 0x8001;

struct Notice {
    Socket socket;
    int event, error;
};

// Loopback sockets closed after each test, and a message window that records their notices and
// lets a test react to them.
class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(WSAStartup(0x0101), 0);
        MessageWindow::SetProcedure(
            window, [this](MessageWindow::Handle, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
                if (m == kMsg) {
                    const Notice n{static_cast<Socket>(wp), SelectEvent(lp), SelectError(lp)};
                    notices.push_back(n);
                    if (onNotice)
                        onNotice(n);
                }
                return std::intptr_t{0};
            });
    }
    void TearDown() override
    {
        for (Socket s : open_)
            closesocket(s);
        MessageWindow::Destroy(window);
        WSACleanup();
    }

    // The error codes of the notices of one kind, in order.
    std::vector<int> errors(Socket s, int event) const
    {
        std::vector<int> e;
        for (const Notice& x : notices)
            if (x.socket == s && x.event == event)
                e.push_back(x.error);
        return e;
    }

    Socket track(Socket s)
    {
        EXPECT_NE(s, kInvalidSocket);
        open_.push_back(s);
        return s;
    }
    void forget(Socket s) { std::erase(open_, s); }

    // A listening loopback socket; its address goes to address.
    Socket listener()
    {
        const Socket l = track(socket(kAfInet, kSockStream, kIpProtoTcp));
        EXPECT_EQ(bind(l, {inet_addr("127.0.0.1"), 0}), 0);
        EXPECT_EQ(listen(l, 5), 0);
        EXPECT_EQ(getsockname(l, &address), 0);
        return l;
    }

    MessageWindow::Handle window = MessageWindow::Create();
    std::vector<Notice> notices;
    std::function<void(const Notice&)> onNotice;
    SockAddrIn address;
    std::vector<Socket> open_;
};

TEST_F(WinsockTest, ReadNoticesWaitForAReceiveAndAllComeBeforeOneClose)
{
    const Socket l = listener();
    const Socket client = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    ASSERT_EQ(WSAAsyncSelect(client, window, kMsg, 0x3B), 0);
    connect(client, address);
    Socket server = kInvalidSocket;
    ASSERT_TRUE(test::WaitUntil([&] {
        if (server == kInvalidSocket)
            server = accept(l, nullptr);
        return server != kInvalidSocket && !errors(client, kFdConnect).empty();
    }));
    track(server);
    EXPECT_EQ(errors(client, kFdConnect), std::vector<int>{0});
    EXPECT_EQ(errors(client, kFdWrite).size(), 1u); // once the connect completes
    ASSERT_EQ(send(server, "abc", 3, 0), 3);
    ASSERT_TRUE(test::WaitUntil([&] { return errors(client, kFdRead).size() == 1; }));
    ASSERT_EQ(send(server, "def", 3, 0), 3);
    test::RunEventsFor(100);
    EXPECT_EQ(errors(client, kFdRead).size(), 1u);
    char buf[2];
    ASSERT_EQ(recv(client, buf, 2, 0), 2); // bytes remain: a new notice follows
    EXPECT_TRUE(test::WaitUntil([&] { return errors(client, kFdRead).size() == 2; }));

    ASSERT_EQ(closesocket(server), 0);
    forget(server);
    std::string received;
    bool readAfterClose = false;
    const auto drain = [&] {
        char c; // a byte at a time: several notices are needed
        if (recv(client, &c, 1, 0) == 1)
            received += c;
    };
    drain();
    onNotice = [&](const Notice& n) {
        if (n.event == kFdRead) {
            readAfterClose = readAfterClose || !errors(client, kFdClose).empty();
            drain();
        }
    };
    ASSERT_TRUE(test::WaitUntil([&] { return !errors(client, kFdClose).empty(); }));
    test::RunEventsFor(100);
    EXPECT_EQ(received, "cdef");
    EXPECT_FALSE(readAfterClose);
    EXPECT_EQ(errors(client, kFdClose), std::vector<int>{0});
}

TEST_F(WinsockTest, ClosingPurgesQueuedNoticesOfTheHandle)
{
    listener();
    Socket s = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    ASSERT_EQ(WSAAsyncSelect(s, window, kMsg, 0x3B), 0);
    // FD_CONNECT and FD_WRITE are queued together; closing on the first must drop the second,
    // even though the next socket gets the same descriptor number.
    Socket reused = kInvalidSocket;
    onNotice = [&](const Notice& n) {
        if (n.event == kFdConnect && reused == kInvalidSocket) {
            closesocket(s);
            forget(s);
            reused = track(socket(kAfInet, kSockStream, kIpProtoTcp));
        }
    };
    connect(s, address);
    ASSERT_TRUE(test::WaitUntil([&] { return reused != kInvalidSocket; }));
    test::RunEventsFor(100);
    EXPECT_EQ(reused, s);
    ASSERT_EQ(notices.size(), 1u);
}

} // namespace
} // namespace quadrantel::platform::ws
