#include "platform/messages.h"

#include <QString>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform {
namespace {

// The answer of one sent message, shared by the blocked sender and the event.
class SendState {
public:
    void Complete(LResult result) {
        {
            std::lock_guard lock(mutex_);
            if (done_)
                return;
            done_ = true;
            result_ = result;
        }
        answered_.notify_all();
    }

    LResult Wait() {
        std::unique_lock lock(mutex_);
        answered_.wait(lock, [this] { return done_; });
        return result_;
    }

private:
    std::mutex mutex_;
    std::condition_variable answered_;
    bool done_ = false;
    LResult result_ = 0;
};

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent final : public QEvent {
public:
    MessageEvent(MessageId message, WParam wParam, LParam lParam,
                 std::shared_ptr<SendState> sendState)
        : QEvent(kMessageEventType)
        , message_(message)
        , wParam_(wParam)
        , lParam_(lParam)
        , sendState_(std::move(sendState)) {}

    // An event dropped before delivery (its receiver was destroyed) still
    // releases a blocked sender.
    ~MessageEvent() override {
        if (sendState_)
            sendState_->Complete(0);
    }

    MessageId Message() const { return message_; }
    WParam WordParameter() const { return wParam_; }
    LParam LongParameter() const { return lParam_; }
    bool IsSent() const { return sendState_ != nullptr; }

    void Answer(LResult result) {
        if (sendState_)
            sendState_->Complete(result);
    }

private:
    MessageId message_;
    WParam wParam_;
    LParam lParam_;
    std::shared_ptr<SendState> sendState_;
};

struct Entry {
    Mailbox* mailbox = nullptr;
    std::thread::id thread;
    std::unordered_map<MessageId, int> waiting;
};

// Every live receiver by handle. Posting happens under this lock, and a
// receiver leaves the registry before its mailbox is destroyed, so an event
// is never posted to a destroyed object.
struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uint64_t, Entry> entries;
    std::uint64_t nextId = 1;
};

Registry& TheRegistry() {
    // Never destroyed: detached workers may still post during process exit.
    static Registry* registry = new Registry;
    return *registry;
}

void MarkTaken(ReceiverHandle receiver, MessageId message) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto entry = registry.entries.find(receiver.id);
    if (entry == registry.entries.end())
        return;
    auto waiting = entry->second.waiting.find(message);
    if (waiting != entry->second.waiting.end() && --waiting->second <= 0)
        entry->second.waiting.erase(waiting);
}

} // namespace

// The QObject through which a receiver gets its events; lives on the
// receiver's thread and is owned by the receiver.
class Mailbox final : public QObject {
public:
    explicit Mailbox(MessageReceiver* owner)
        : owner_(owner) {}

    LResult Deliver(MessageId message, WParam wParam, LParam lParam) {
        return owner_->HandleMessage(message, wParam, lParam);
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() != kMessageEventType)
            return QObject::event(event);
        auto* message = static_cast<MessageEvent*>(event);
        if (!message->IsSent())
            MarkTaken(owner_->Handle(), message->Message());
        // The event stays valid after the handler; `this` may not be used
        // again if the handler scheduled its receiver's deletion.
        message->Answer(
            Deliver(message->Message(), message->WordParameter(), message->LongParameter()));
        return true;
    }

private:
    MessageReceiver* owner_;
};

MessageReceiver::MessageReceiver()
    : mailbox_(std::make_unique<Mailbox>(this)) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    handle_.id = registry.nextId++;
    registry.entries[handle_.id] = Entry{mailbox_.get(), std::this_thread::get_id(), {}};
}

MessageReceiver::~MessageReceiver() {
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        registry.entries.erase(handle_.id);
    }
    // Destroying the mailbox deletes its undelivered events, which releases
    // any sender still waiting for an answer.
    mailbox_.reset();
}

bool PostMessage(ReceiverHandle receiver, MessageId message, WParam wParam, LParam lParam) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto entry = registry.entries.find(receiver.id);
    if (entry == registry.entries.end())
        return false;
    ++entry->second.waiting[message];
    QCoreApplication::postEvent(entry->second.mailbox,
                                new MessageEvent(message, wParam, lParam, nullptr));
    return true;
}

LResult SendMessage(ReceiverHandle receiver, MessageId message, WParam wParam, LParam lParam) {
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    auto entry = registry.entries.find(receiver.id);
    if (entry == registry.entries.end())
        return 0;
    Mailbox* mailbox = entry->second.mailbox;
    if (entry->second.thread == std::this_thread::get_id()) {
        // Only this thread can destroy the receiver, so it outlives the call.
        lock.unlock();
        return mailbox->Deliver(message, wParam, lParam);
    }
    auto state = std::make_shared<SendState>();
    QCoreApplication::postEvent(mailbox, new MessageEvent(message, wParam, lParam, state));
    lock.unlock();
    return state->Wait();
}

bool IsMessageWaiting(ReceiverHandle receiver, MessageId message) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto entry = registry.entries.find(receiver.id);
    return entry != registry.entries.end() && entry->second.waiting.contains(message);
}

void StartWorker(std::function<void()> work) {
    std::thread(std::move(work)).detach();
}

void StartWorker(void (*function)(void*), void* argument) {
    std::thread(function, argument).detach();
}

LResult SendText(ReceiverHandle receiver, const QString& text) {
    return SendMessage(receiver, WM_SETTEXT, 0, reinterpret_cast<LParam>(&text));
}

} // namespace platform
