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
    int event;
    int error;
};

// A message window that records socket notices and lets a test react to them.
class NoticeWindow {
public:
    NoticeWindow()
    {
        window = MessageWindow::Create();
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
    ~NoticeWindow() { MessageWindow::Destroy(window); }

    int count(Socket s, int event) const
    {
        int n = 0;
        for (const Notice& x : notices)
            n += x.socket == s && x.event == event ? 1 : 0;
        return n;
    }
    int error(Socket s, int event) const
    {
        for (const Notice& x : notices)
            if (x.socket == s && x.event == event)
                return x.error;
        return -1;
    }

    MessageWindow::Handle window = 0;
    std::vector<Notice> notices;
    std::function<void(const Notice&)> onNotice;
};

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(0x0101), 0); }
    void TearDown() override
    {
        for (Socket s : open_)
            closesocket(s);
        WSACleanup();
    }

    Socket track(Socket s)
    {
        EXPECT_NE(s, kInvalidSocket);
        open_.push_back(s);
        return s;
    }
    void forget(Socket s) { std::erase(open_, s); }

    // A listening loopback socket and its address.
    Socket listener(SockAddrIn* address)
    {
        const Socket l = track(socket(kAfInet, kSockStream, kIpProtoTcp));
        EXPECT_EQ(bind(l, {inet_addr("127.0.0.1"), 0}), 0);
        EXPECT_EQ(listen(l, 5), 0);
        EXPECT_EQ(getsockname(l, address), 0);
        return l;
    }

    std::vector<Socket> open_;
};

TEST_F(WinsockTest, ReadNoticesWaitForAReceiveAndAllComeBeforeOneClose)
{
    NoticeWindow w;
    SockAddrIn address;
    const Socket l = listener(&address);
    const Socket client = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    ASSERT_EQ(WSAAsyncSelect(client, w.window, kMsg, 0x3B), 0);
    connect(client, address);
    Socket server = kInvalidSocket;
    ASSERT_TRUE(test::WaitUntil([&] {
        if (server == kInvalidSocket)
            server = accept(l, nullptr);
        return server != kInvalidSocket && w.count(client, kFdConnect);
    }));
    track(server);
    EXPECT_EQ(w.error(client, kFdConnect), 0);
    EXPECT_EQ(w.count(client, kFdWrite), 1); // once the connect completes
    ASSERT_EQ(send(server, "abc", 3, 0), 3);
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(client, kFdRead) == 1; }));
    ASSERT_EQ(send(server, "def", 3, 0), 3);
    test::RunEventsFor(100);
    EXPECT_EQ(w.count(client, kFdRead), 1);
    char buf[2];
    ASSERT_EQ(recv(client, buf, 2, 0), 2); // bytes remain: a new notice follows
    EXPECT_TRUE(test::WaitUntil([&] { return w.count(client, kFdRead) == 2; }));

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
    w.onNotice = [&](const Notice& n) {
        if (n.event == kFdRead) {
            readAfterClose = readAfterClose || w.count(client, kFdClose) > 0;
            drain();
        }
    };
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(client, kFdClose) > 0; }));
    test::RunEventsFor(100);
    EXPECT_EQ(received, "cdef");
    EXPECT_FALSE(readAfterClose);
    EXPECT_EQ(w.count(client, kFdClose), 1);
    EXPECT_EQ(w.error(client, kFdClose), 0);
}

TEST_F(WinsockTest, ClosingPurgesQueuedNoticesOfTheHandle)
{
    NoticeWindow w;
    SockAddrIn address;
    listener(&address);
    Socket s = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    ASSERT_EQ(WSAAsyncSelect(s, w.window, kMsg, 0x3B), 0);
    // FD_CONNECT and FD_WRITE are queued together; closing on the first must drop the second,
    // even though the next socket gets the same descriptor number.
    Socket reused = kInvalidSocket;
    w.onNotice = [&](const Notice& n) {
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
    ASSERT_EQ(w.notices.size(), 1u);
}

} // namespace
} // namespace quadrantel::platform::ws
