// Proxy supervision through the application delegate against the real extension stand-in,
// with short intervals so that every case runs well past its second and third run.
#include "DelegateHarness.h"

#include "control/IpcConnection.h"
#include "control/SyncMessage.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {
constexpr int userDataSyncId = 3;
}

// Every run after the first finds the link open; its completion sends while the link is in
// use from other threads. That used to stop the supervision queue and every later send.
TEST(Supervision, RunsOnPastTheThirdRunAndTheLinkStaysUsable)
{
    DelegateHarness harness;
    ASSERT_TRUE(harness.launchAndRegister());
    const int runs = harness.delegate().supervisionRunCount();
    ASSERT_TRUE(harness.waitForRuns(runs + 4)) << "stuck at run " << harness.delegate().supervisionRunCount();
    // Each of those runs reinstalled the handlers and asked for the user data again.
    EXPECT_TRUE(DelegateHarness::waitForLogCount(DelegateHarness::registered, runs + 4));
    EXPECT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(userDataSyncId) >= runs + 4; }, 30000));

    // Sends from the main thread still go through, and deliveries still reach the handlers.
    bool sent = false;
    IpcConnection::shared().sendMessage(SyncMessage(), [&](bool ok) { sent = ok; });
    EXPECT_TRUE(sent);
    harness.delegate().showSyncSettigns();
    const int requests = harness.receivedCount(userDataSyncId);
    ASSERT_TRUE(harness.extension().sendSync());
    EXPECT_TRUE(QTest::qWaitFor([&] { return harness.receivedCount(userDataSyncId) > requests; }, 30000));
    // Destroying the delegate waits for a run under way; it must not hang either.
    harness.destroyDelegate();
}
