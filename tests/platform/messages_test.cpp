#include "platform/messages.h"

#include "event_pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;
using test_support::PumpPending;
using test_support::PumpUntil;

namespace {

struct Received {
    MessageId message;
    WParam wParam;
    LParam lParam;
    std::thread::id thread;
};

// Records every message and answers wParam × 2 + lParam.
class RecordingReceiver final : public MessageReceiver {
public:
    std::vector<Received> Log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return log_.size();
    }

    std::function<void(MessageId)> onMessage;

protected:
    LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
        {
            std::lock_guard lock(mutex_);
            log_.push_back({message, wParam, lParam, std::this_thread::get_id()});
        }
        if (onMessage)
            onMessage(message);
        return static_cast<LResult>(wParam) * 2 + lParam;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Received> log_;
};

TEST(Messages, PostsFromAWorkerArriveInOrderOnTheReceiversThread) {
    RecordingReceiver receiver;
    const ReceiverHandle handle = receiver.Handle();
    std::atomic<bool> allPosted{false};
    StartWorker([handle, &allPosted] {
        for (WParam i = 0; i < 200; ++i)
            EXPECT_TRUE(PostMessage(handle, WM_IMAGE_SAVING, i, -static_cast<LParam>(i)));
        allPosted = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return allPosted && receiver.Count() == 200; }));
    const auto log = receiver.Log();
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].message, WM_IMAGE_SAVING);
        EXPECT_EQ(log[i].wParam, i);
        EXPECT_EQ(log[i].lParam, -static_cast<LParam>(i));
        EXPECT_EQ(log[i].thread, std::this_thread::get_id());
    }
}

TEST(Messages, PostReturnsAtOnceWithoutHandling) {
    RecordingReceiver receiver;
    EXPECT_TRUE(PostMessage(receiver.Handle(), WM_SAVING_DONE, 1));
    EXPECT_EQ(receiver.Count(), 0u);
    PumpPending();
    EXPECT_EQ(receiver.Count(), 1u);
}

TEST(Messages, SendFromAWorkerReturnsTheHandlersAnswer) {
    RecordingReceiver receiver;
    const ReceiverHandle handle = receiver.Handle();
    std::atomic<int> done{0};
    std::vector<LResult> answers(3);
    StartWorker([&, handle] {
        answers[0] = SendMessage(handle, WM_PROGRESS_END, 5, 1);
        answers[1] = SendMessage(handle, PBM_STEPIT, 0, 0);
        answers[2] = SendMessage(handle, WM_CAPTURE_CANCELLED, 100, -7);
        done = 1;
    });
    ASSERT_TRUE(PumpUntil([&] { return done == 1; }));
    EXPECT_EQ(answers, (std::vector<LResult>{11, 0, 193}));
    for (const Received& received : receiver.Log())
        EXPECT_EQ(received.thread, std::this_thread::get_id());
}

TEST(Messages, SendOnTheReceiversThreadCallsTheHandlerDirectly) {
    RecordingReceiver receiver;
    // No event is processed here: the answer can only come from a direct call.
    EXPECT_EQ(SendMessage(receiver.Handle(), WM_TAB_CAN_CHANGE, 3, 1), 7);
    ASSERT_EQ(receiver.Count(), 1u);
    EXPECT_EQ(receiver.Log()[0].message, WM_TAB_CAN_CHANGE);
}

TEST(Messages, WaitingQuerySeesAPostedMessageUntilItIsHandled) {
    RecordingReceiver receiver;
    const ReceiverHandle handle = receiver.Handle();
    std::vector<bool> seenWhileHandling;
    receiver.onMessage = [&](MessageId message) {
        seenWhileHandling.push_back(IsMessageWaiting(handle, message));
    };
    EXPECT_FALSE(IsMessageWaiting(handle, WM_TAB_RENAME_REQUEST));
    PostMessage(handle, WM_TAB_CHOSEN, 2);
    PostMessage(handle, WM_TAB_RENAME_REQUEST, 2);
    EXPECT_TRUE(IsMessageWaiting(handle, WM_TAB_CHOSEN));
    EXPECT_TRUE(IsMessageWaiting(handle, WM_TAB_RENAME_REQUEST));
    EXPECT_FALSE(IsMessageWaiting(handle, WM_TAB_CAN_CHANGE));
    PumpPending();
    EXPECT_FALSE(IsMessageWaiting(handle, WM_TAB_CHOSEN));
    EXPECT_FALSE(IsMessageWaiting(handle, WM_TAB_RENAME_REQUEST));
    EXPECT_EQ(seenWhileHandling, (std::vector<bool>{false, false}));
}

// The tab window's look-ahead: while handling 1925 it sees the 1926 behind it.
TEST(Messages, HandlerSeesTheMessageQueuedBehindIt) {
    RecordingReceiver receiver;
    const ReceiverHandle handle = receiver.Handle();
    std::vector<bool> renameWaiting;
    receiver.onMessage = [&](MessageId message) {
        if (message == WM_TAB_CHOSEN)
            renameWaiting.push_back(IsMessageWaiting(handle, WM_TAB_RENAME_REQUEST));
    };
    PostMessage(handle, WM_TAB_CHOSEN, 0);
    PostMessage(handle, WM_TAB_RENAME_REQUEST, 0);
    PostMessage(handle, WM_TAB_CHOSEN, 0);
    PumpPending();
    EXPECT_EQ(renameWaiting, (std::vector<bool>{true, false}));
}

TEST(Messages, WaitingCountsEachPostedCopy) {
    RecordingReceiver receiver;
    const ReceiverHandle handle = receiver.Handle();
    std::vector<bool> stillWaiting;
    receiver.onMessage = [&](MessageId message) {
        stillWaiting.push_back(IsMessageWaiting(handle, message));
    };
    for (int i = 0; i < 3; ++i)
        PostMessage(handle, WM_TAB_RENAME_REQUEST);
    PumpPending();
    EXPECT_EQ(stillWaiting, (std::vector<bool>{true, true, false}));
}

TEST(Messages, ADestroyedReceiverDropsMessagesHarmlessly) {
    auto receiver = std::make_unique<RecordingReceiver>();
    const ReceiverHandle handle = receiver->Handle();
    int handled = 0;
    receiver->onMessage = [&](MessageId) {
        ++handled;
    };
    PostMessage(handle, WM_CAPTURE_DONE);
    receiver.reset();
    PumpPending();
    EXPECT_EQ(handled, 0);
    EXPECT_FALSE(PostMessage(handle, WM_CAPTURE_DONE));
    EXPECT_EQ(SendMessage(handle, WM_PROGRESS_END, 4), 0);
    EXPECT_FALSE(IsMessageWaiting(handle, WM_CAPTURE_DONE));
    EXPECT_FALSE(PostMessage(ReceiverHandle{}, WM_CLOSE));
}

TEST(Messages, HandlesAreNeverReused) {
    ReceiverHandle first;
    {
        RecordingReceiver receiver;
        first = receiver.Handle();
    }
    RecordingReceiver later;
    EXPECT_NE(later.Handle(), first);
    EXPECT_FALSE(PostMessage(first, WM_CLOSE));
    PumpPending();
    EXPECT_EQ(later.Count(), 0u);
}

TEST(Messages, ASenderBlockedOnADestroyedReceiverIsReleased) {
    auto receiver = std::make_unique<RecordingReceiver>();
    const ReceiverHandle handle = receiver->Handle();
    std::atomic<bool> sending{false};
    std::atomic<bool> done{false};
    std::atomic<LResult> answer{-1};
    StartWorker([&, handle] {
        sending = true;
        answer = SendMessage(handle, WM_PROGRESS_END, 21);
        done = true;
    });
    // Waited for without pumping: a pumped send would reach the live receiver.
    while (!sending.load())
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Whether the send was queued or not yet made, it must end with 0.
    receiver.reset();
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    EXPECT_EQ(answer, 0);
}

TEST(Messages, ManyWorkersPostWhileTheReceiverIsDestroyed) {
    auto receiver = std::make_unique<RecordingReceiver>();
    const ReceiverHandle handle = receiver->Handle();
    constexpr int kWorkers = 4;
    std::latch started(kWorkers);
    std::atomic<int> finished{0};
    for (int w = 0; w < kWorkers; ++w) {
        StartWorker([&, handle] {
            started.count_down();
            for (int i = 0; i < 2000; ++i)
                PostMessage(handle, WM_IMAGE_SAVING, WParam(i));
            finished.fetch_add(1);
        });
    }
    started.wait();
    PumpUntil([&] { return receiver->Count() > 100; }, 2000);
    receiver.reset();
    ASSERT_TRUE(PumpUntil([&] { return finished == kWorkers; }));
    PumpPending();
}

struct ThreadStartRecord {
    std::atomic<int> value{0};
    std::atomic<bool> ran{false};
};

void RecordThreadStart(void* argument) {
    auto* record = static_cast<ThreadStartRecord*>(argument);
    record->value = 77;
    record->ran = true;
}

TEST(Messages, StartWorkerRunsAThreadFunctionWithItsArgument) {
    ThreadStartRecord record;
    StartWorker(&RecordThreadStart, &record);
    ASSERT_TRUE(PumpUntil([&] { return record.ran.load(); }));
    EXPECT_EQ(record.value, 77);
}

TEST(Messages, FunctionReceiverAnswersThroughItsFunction) {
    FunctionReceiver receiver(
        [](MessageId message, WParam wParam, LParam) { return LResult(message + wParam); });
    EXPECT_EQ(SendMessage(receiver.Handle(), WM_SHEET_CAN_CHANGE, 1), 1989);
}

} // namespace
