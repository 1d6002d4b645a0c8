#include "net/modSocketPlus.h"

#include "platform/RuntimeError.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <vector>

namespace quadrantel::net {
namespace {

namespace ws = platform::ws;
using platform::MessageWindow;

// Keeps the notice word of every call.
class RecordingOwner final : public SocketOwner {
public:
    std::intptr_t WndProc(MessageWindow::Handle, std::uint32_t, std::uintptr_t, std::intptr_t lParam) override
    {
        calls.push_back(lParam);
        return 0;
    }
    std::vector<std::intptr_t> calls;
};

// One object's worth of service for the duration of a test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { InitiateProcesses(); }
    void TearDown() override
    {
        for (Socket s : sockets_) {
            ws::closesocket(s);
            UnregisterSocket(s);
        }
        FinalizeProcesses();
    }
    Socket udp()
    {
        const Socket s = ws::socket(ws::kAfInet, ws::kSockDgram, ws::kIpProtoUdp);
        EXPECT_NE(s, ws::kInvalidSocket);
        sockets_.push_back(s);
        return s;
    }
    void close(Socket s)
    {
        ws::closesocket(s);
        UnregisterSocket(s);
        std::erase(sockets_, s);
    }
    std::vector<Socket> sockets_;
};

TEST(RegistryServiceTest, FirstObjectStartsTheServiceAndLastStopsIt)
{
    const int before = ws::StartupCount();
    InitiateProcesses();
    InitiateProcesses();
    EXPECT_EQ(ws::StartupCount(), before + 1); // started once for both
    FinalizeProcesses();
    EXPECT_TRUE(ServiceStarted());
    FinalizeProcesses();
    EXPECT_FALSE(ServiceStarted());
    EXPECT_EQ(ws::StartupCount(), before);
}

TEST_F(RegistryTest, RoutesNoticesToTheOwnerAndDropsThoseWithoutRoute)
{
    RecordingOwner owner;
    RecordingOwner other;
    const Socket keep = udp();
    const Socket gone = udp();
    ASSERT_TRUE(RegisterSocket(keep, &owner, true));
    ASSERT_TRUE(RegisterSocket(gone, &other, true));
    const auto w = MessageWindowHandle();
    MessageWindow::Post(w, kSocketMessage, static_cast<std::uintptr_t>(gone), ws::kFdRead);
    close(gone); // a notice already on its way must not reach anyone
    MessageWindow::Post(w, 0x0400, static_cast<std::uintptr_t>(keep), 0); // not a socket message
    RecordingOwner next;
    ChangeSocketOwner(keep, &next);
    MessageWindow::Post(w, kSocketMessage, static_cast<std::uintptr_t>(keep), ws::kFdWrite);
    ASSERT_TRUE(test::WaitUntil([&] { return !next.calls.empty(); }));
    test::RunEventsFor(50);
    EXPECT_TRUE(other.calls.empty());
    EXPECT_TRUE(owner.calls.empty());
    ASSERT_EQ(next.calls.size(), 1u);
    EXPECT_EQ(next.calls[0], ws::kFdWrite);
}

} // namespace
} // namespace quadrantel::net
