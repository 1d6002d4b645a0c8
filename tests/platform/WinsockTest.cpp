#include "platform/Winsock.h"

#include "support/Wait.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

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

    // A connected pair: the client selected on the window, the server side unselected.
    void connectedPair(NoticeWindow& w, Socket* client, Socket* server)
    {
        SockAddrIn address;
        const Socket l = listener(&address);
        *client = track(socket(kAfInet, kSockStream, kIpProtoTcp));
        ASSERT_EQ(WSAAsyncSelect(*client, w.window, kMsg, 0x3B), 0);
        const int rc = connect(*client, address);
        ASSERT_TRUE(rc == 0 || WSAGetLastError() == WSAEWOULDBLOCK);
        *server = kInvalidSocket;
        ASSERT_TRUE(test::WaitUntil([&] {
            if (*server == kInvalidSocket)
                *server = accept(l, nullptr);
            return *server != kInvalidSocket && w.count(*client, kFdConnect);
        }));
        track(*server);
        EXPECT_EQ(w.error(*client, kFdConnect), 0);
    }

    std::vector<Socket> open_;
};

TEST_F(WinsockTest, EveryReadNoticeComesBeforeOneGracefulClose)
{
    NoticeWindow w;
    Socket client, server;
    connectedPair(w, &client, &server);
    EXPECT_EQ(w.count(client, kFdWrite), 1); // once the connect completes

    std::string payload;
    for (int i = 0; i < 500; ++i)
        payload += "line " + std::to_string(i) + "\r\n";
    ASSERT_EQ(send(server, payload.data(), static_cast<int>(payload.size()), 0), static_cast<int>(payload.size()));
    ASSERT_EQ(closesocket(server), 0);
    forget(server);

    std::string received;
    bool readAfterClose = false;
    w.onNotice = [&](const Notice& n) {
        if (n.event == kFdRead) {
            readAfterClose = readAfterClose || w.count(client, kFdClose) > 0;
            char buf[700]; // small reads: several notices are needed
            const int k = recv(client, buf, sizeof buf, 0);
            if (k > 0)
                received.append(buf, static_cast<std::size_t>(k));
        }
    };
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(client, kFdClose) > 0; }));
    test::RunEventsFor(100);
    EXPECT_EQ(received, payload);
    EXPECT_GT(w.count(client, kFdRead), 1);
    EXPECT_FALSE(readAfterClose);
    EXPECT_EQ(w.count(client, kFdClose), 1);
    EXPECT_EQ(w.error(client, kFdClose), 0);
}

TEST_F(WinsockTest, ReadNoticeIsNotRepeatedUntilTheNextReceive)
{
    NoticeWindow w;
    Socket client, server;
    connectedPair(w, &client, &server);
    ASSERT_EQ(send(server, "abc", 3, 0), 3);
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(client, kFdRead) == 1; }));
    ASSERT_EQ(send(server, "def", 3, 0), 3);
    test::RunEventsFor(100);
    EXPECT_EQ(w.count(client, kFdRead), 1);
    char buf[2];
    ASSERT_EQ(recv(client, buf, 2, 0), 2); // bytes remain: a new notice follows
    EXPECT_TRUE(test::WaitUntil([&] { return w.count(client, kFdRead) == 2; }));
    unsigned long pending = 0;
    ASSERT_EQ(ioctlsocket(client, kFionRead, &pending), 0);
    EXPECT_EQ(pending, 4u);
    char rest[4];
    ASSERT_EQ(recv(client, rest, 4, 0), 4);

    const linger abort{1, 0}; // a reset gives FD_CLOSE with 10054
    ASSERT_EQ(::setsockopt(server, SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
    ASSERT_EQ(closesocket(server), 0);
    forget(server);
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(client, kFdClose) > 0; }));
    EXPECT_EQ(w.error(client, kFdClose), WSAECONNRESET);
}

TEST_F(WinsockTest, AcceptNoticeReturnsAfterEachAccept)
{
    NoticeWindow w;
    SockAddrIn address;
    const Socket l = listener(&address);
    ASSERT_EQ(WSAAsyncSelect(l, w.window, kMsg, 0x3B), 0);
    const Socket a = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    const Socket b = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    connect(a, address);
    connect(b, address);
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(l, kFdAccept) == 1; }));
    test::RunEventsFor(50);
    EXPECT_EQ(w.count(l, kFdAccept), 1);
    SockAddrIn peer;
    const Socket first = track(accept(l, &peer));
    EXPECT_EQ(peer.addr, inet_addr("127.0.0.1"));
    ASSERT_TRUE(test::WaitUntil([&] { return w.count(l, kFdAccept) == 2; }));
    // The accepted socket inherits the selection and is writable at once.
    EXPECT_TRUE(test::WaitUntil([&] { return w.count(first, kFdWrite) == 1; }));
}

TEST_F(WinsockTest, ClosingPurgesQueuedNoticesOfTheHandle)
{
    NoticeWindow w;
    SockAddrIn address;
    listener(&address);
    Socket s = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    ASSERT_EQ(WSAAsyncSelect(s, w.window, kMsg, 0x3B), 0);
    bool closed = false;
    // FD_CONNECT and FD_WRITE are queued together; closing on the first must drop the second,
    // even though the next socket gets the same descriptor number.
    Socket reused = kInvalidSocket;
    w.onNotice = [&](const Notice& n) {
        if (n.event == kFdConnect && !closed) {
            closed = true;
            closesocket(s);
            forget(s);
            reused = track(socket(kAfInet, kSockStream, kIpProtoTcp));
        }
    };
    connect(s, address);
    ASSERT_TRUE(test::WaitUntil([&] { return closed; }));
    test::RunEventsFor(100);
    EXPECT_EQ(reused, s);
    ASSERT_EQ(w.notices.size(), 1u);
}

TEST_F(WinsockTest, DatagramSizeAndTruncation)
{
    const Socket u = track(socket(kAfInet, kSockDgram, kIpProtoUdp));
    const Socket t = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    int v = 0;
    ASSERT_EQ(getsockopt(u, kSolSocket, kSoMaxMsgSize, &v), 0);
    EXPECT_EQ(v, 65507);
    EXPECT_EQ(getsockopt(t, kSolSocket, kSoMaxMsgSize, &v), kSocketError);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);

    ASSERT_EQ(bind(u, {inet_addr("127.0.0.1"), 0}), 0);
    SockAddrIn to;
    ASSERT_EQ(getsockname(u, &to), 0);
    const Socket sender = track(socket(kAfInet, kSockDgram, kIpProtoUdp));
    ASSERT_EQ(sendto(sender, "hello", 5, 0, to), 5);
    unsigned long n = 0;
    ASSERT_TRUE(test::WaitUntil([&] { return ioctlsocket(u, kFionRead, &n) == 0 && n == 5; }));
    char buf[3];
    SockAddrIn from;
    EXPECT_EQ(recvfrom(u, buf, 3, 0, &from), kSocketError);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::string(buf, 3), "hel");
}

TEST_F(WinsockTest, ErrorsAndAddresses)
{
    EXPECT_EQ(ErrorFromErrno(ECONNREFUSED), 10061);
    // Network byte order: the first number of the text in the lowest byte.
    EXPECT_EQ(inet_addr("1.2.3.4"), htons(0x0102) | (static_cast<std::uint32_t>(htons(0x0304)) << 16));
    EXPECT_EQ(inet_ntoa(inet_addr("10.0.200.7")), "10.0.200.7");

    const Socket a = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    ASSERT_EQ(bind(a, {inet_addr("127.0.0.1"), 0}), 0);
    SockAddrIn taken;
    ASSERT_EQ(getsockname(a, &taken), 0);
    ASSERT_EQ(listen(a, 1), 0);
    const Socket b = track(socket(kAfInet, kSockStream, kIpProtoTcp));
    EXPECT_EQ(bind(b, taken), kSocketError);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);

    WSACleanup(); // the fixture's own start-up
    EXPECT_EQ(socket(kAfInet, kSockStream, kIpProtoTcp), kInvalidSocket);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSAStartup(0x0101);
}

} // namespace
} // namespace quadrantel::platform::ws
