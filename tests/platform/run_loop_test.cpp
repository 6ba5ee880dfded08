#include "platform/run_loop.h"

#include "platform/messages.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace platform;

namespace {

TEST(RunLoop, ReturnsTheQuitCode) {
    int turns = 0;
    const int code = RunEventLoop([&] {
        if (++turns == 3)
            PostQuitMessage(42);
    });
    EXPECT_EQ(code, 42);
    EXPECT_EQ(turns, 3);
}

TEST(RunLoop, AQuitPostedBeforeTheLoopEndsItAtOnce) {
    PostQuitMessage(7);
    int turns = 0;
    EXPECT_EQ(RunEventLoop([&] { ++turns; }), 7);
    EXPECT_EQ(turns, 0);
}

TEST(RunLoop, DispatchesEveryWaitingMessageBeforeTheUpdate) {
    int handled = 0;
    int handledAtFirstUpdate = -1;
    FunctionReceiver receiver([&](MessageId, WParam, LParam) {
        ++handled;
        return LResult(0);
    });
    for (int i = 0; i < 25; ++i)
        PostMessage(receiver.Handle(), WM_IMAGE_SAVING, WParam(i));
    RunEventLoop([&] {
        if (handledAtFirstUpdate < 0)
            handledAtFirstUpdate = handled;
        PostQuitMessage(0);
    });
    EXPECT_EQ(handledAtFirstUpdate, 25);
}

// A handler that posts again keeps the queue non-empty: no update in between.
TEST(RunLoop, MessagesPostedByHandlersAlsoComeBeforeTheUpdate) {
    int chain = 0;
    std::vector<int> chainAtUpdate;
    FunctionReceiver* self = nullptr;
    FunctionReceiver receiver([&](MessageId, WParam, LParam) {
        if (++chain < 10)
            PostMessage(self->Handle(), WM_TAB_CHOSEN);
        return LResult(0);
    });
    self = &receiver;
    PostMessage(receiver.Handle(), WM_TAB_CHOSEN);
    RunEventLoop([&] {
        chainAtUpdate.push_back(chain);
        if (chainAtUpdate.size() == 2)
            PostQuitMessage(0);
    });
    EXPECT_EQ(chainAtUpdate, (std::vector<int>{10, 10}));
}

TEST(RunLoop, UpdateRunsOnEveryTurnWhileBusy) {
    int turns = 0;
    RunEventLoop([&] {
        if (++turns == 1000)
            PostQuitMessage(0);
    });
    EXPECT_EQ(turns, 1000);
}

// An idle update function is called again only after an event: the loop waits.
TEST(RunLoop, AnIdleUpdateFunctionLetsTheLoopSleep) {
    std::atomic<int> turns{0};
    FunctionReceiver receiver([](MessageId, WParam, LParam) { return LResult(0); });
    const ReceiverHandle handle = receiver.Handle();
    StartWorker([handle] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        PostMessage(handle, WM_SAVING_DONE);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        PostQuitMessage(3);
    });
    const auto start = std::chrono::steady_clock::now();
    const int code = RunEventLoop([&] {
        ++turns;
        ReportIdle();
    });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(code, 3);
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    // One turn at the start and one after each wake-up, not a spinning loop.
    EXPECT_LE(turns, 50);
    EXPECT_GE(turns, 2);
}

TEST(RunLoop, TimersWakeAnIdleLoop) {
    int fired = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++fired == 3)
            PostQuitMessage(9);
    });
    timer.start(20);
    int turns = 0;
    EXPECT_EQ(RunEventLoop([&] {
                  ++turns;
                  ReportIdle();
              }),
              9);
    EXPECT_EQ(fired, 3);
    EXPECT_LE(turns, 50);
}

TEST(RunLoop, DeferredDeletionsAreCarriedOut) {
    QPointer<QObject> doomed = new QObject;
    doomed->deleteLater();
    int turns = 0;
    RunEventLoop([&] {
        if (doomed.isNull() || ++turns > 100)
            PostQuitMessage(0);
    });
    EXPECT_TRUE(doomed.isNull());
}

} // namespace
