#include "platform/MessageWindow.h"

#include "support/Wait.h"

#include <gtest/gtest.h>

#include <vector>

namespace quadrantel::platform {
namespace {

TEST(MessageWindowTest, SubclassPassesOtherMessagesToPreviousProcedure)
{
    const auto w = MessageWindow::Create();
    std::vector<std::uint32_t> base;
    std::vector<std::uint32_t> sub;
    MessageWindow::SetProcedure(w, [&](MessageWindow::Handle, std::uint32_t m, std::uintptr_t, std::intptr_t) {
        base.push_back(m);
        return std::intptr_t{1};
    });
    MessageWindow::Procedure previous;
    previous = MessageWindow::SetProcedure(
        w, [&](MessageWindow::Handle h, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) -> std::intptr_t {
            if (m == 0x8001) {
                sub.push_back(m);
                return 0;
            }
            return previous(h, m, wp, lp);
        });
    MessageWindow::Post(w, 0x8001, 0, 0);
    MessageWindow::Post(w, 0x0010, 0, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return base.size() + sub.size() == 2; }));
    EXPECT_EQ(sub, std::vector<std::uint32_t>{0x8001});
    EXPECT_EQ(base, std::vector<std::uint32_t>{0x0010});
    MessageWindow::Destroy(w);
}

TEST(MessageWindowTest, DestroyedWindowDropsQueuedAndLaterMessages)
{
    const auto w = MessageWindow::Create();
    int delivered = 0;
    MessageWindow::SetProcedure(w, [&](MessageWindow::Handle h, std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++delivered;
        MessageWindow::Destroy(h); // from inside its own procedure
        return std::intptr_t{0};
    });
    MessageWindow::Post(w, 1, 0, 0);
    MessageWindow::Post(w, 2, 0, 0);
    EXPECT_TRUE(test::WaitUntil([&] { return delivered == 1; }));
    EXPECT_FALSE(MessageWindow::Exists(w));
    EXPECT_FALSE(MessageWindow::Post(w, 3, 0, 0));
    const auto other = MessageWindow::Create();
    EXPECT_NE(other, w); // handles are not reused
    test::RunEventsFor(50);
    EXPECT_EQ(delivered, 1);
    MessageWindow::Destroy(other);
}

// The rest keep their posting order.
TEST(MessageWindowTest, RemovePostedWithdrawsSelectedMessages)
{
    const auto w = MessageWindow::Create();
    std::vector<std::uintptr_t> seen;
    MessageWindow::SetProcedure(w, [&](MessageWindow::Handle, std::uint32_t, std::uintptr_t wp, std::intptr_t) {
        seen.push_back(wp);
        return std::intptr_t{0};
    });
    for (std::uintptr_t i = 1; i <= 6; ++i)
        MessageWindow::Post(w, 7, i, 0);
    EXPECT_EQ(MessageWindow::RemovePosted(w, [](std::uint32_t, std::uintptr_t wp, std::intptr_t) { return wp % 2; }),
              3);
    EXPECT_TRUE(test::WaitUntil([&] { return seen.size() == 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<std::uintptr_t>{2, 4, 6}));
    MessageWindow::Destroy(w);
}

} // namespace
} // namespace quadrantel::platform
