// Numbered messages between threads and widgets, and worker threads.
//
// A receiver is any object derived from MessageReceiver (usually a widget that
// also derives from QWidget). Each receiver has a ReceiverHandle: a plain value,
// like a window handle, that can be copied to any thread and stays safe to use
// after the receiver is gone (messages to it are then dropped).
//
// Threads:
//  - A receiver belongs to the thread that constructed it (the user-interface
//    thread for widgets). Its HandleMessage always runs on that thread, and it
//    must be destroyed on that thread.
//  - PostMessage, SendMessage and IsMessageWaiting may be called from any thread.
//  - SendMessage from another thread blocks the caller until the receiver's
//    thread has handled the message; never call it while holding a lock that
//    the receiver's thread may need.
//
// Messages are carried by one custom QEvent type and delivered by the receiver
// thread's Qt event loop (including nested loops such as QDialog::exec()).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class QString;

namespace platform {

using MessageId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Standard window messages that the workers send to dialogs and controls.
// WM_SETTEXT carries a `const QString*` in lParam; send it, never post it, so
// that the text outlives the handling.
inline constexpr MessageId WM_SETTEXT = 0x000C;
inline constexpr MessageId WM_CLOSE = 0x0010;
inline constexpr MessageId WM_HSCROLL = 0x0114;
inline constexpr MessageId WM_VSCROLL = 0x0115;

// Progress bar messages (WM_USER + n).
inline constexpr MessageId PBM_SETRANGE = 1025; // lParam: low word min, high word max
inline constexpr MessageId PBM_SETPOS = 1026;   // wParam: new position
inline constexpr MessageId PBM_DELTAPOS = 1027; // wParam: increment
inline constexpr MessageId PBM_SETSTEP = 1028;  // wParam: step
inline constexpr MessageId PBM_STEPIT = 1029;

// The program's private messages.
inline constexpr MessageId WM_CAPTURE_DONE = 1001;
inline constexpr MessageId WM_IMAGES_FREED = 1002;
inline constexpr MessageId WM_CAPTURE_CANCELLED = 1003;
inline constexpr MessageId WM_PROGRESS_END = 2001;
inline constexpr MessageId WM_PROGRESS_CANCEL = 2002;
inline constexpr MessageId WM_PROGRESS_CLOSING = 2003;
inline constexpr MessageId WM_IMAGE_SAVING = 3001;
inline constexpr MessageId WM_SAVING_DONE = 3002;

// The tab controls' private messages; they never leave a tab window and its children.
inline constexpr MessageId WM_TAB_CHOSEN = 1925;
inline constexpr MessageId WM_TAB_RENAME_REQUEST = 1926;
inline constexpr MessageId WM_TAB_CAN_CHANGE = 1927;
inline constexpr MessageId WM_TAB_EDIT_DONE = 1975;
inline constexpr MessageId WM_TAB_EDIT_CANCEL = 1976;
inline constexpr MessageId WM_SHEET_ADDED = 1985;
inline constexpr MessageId WM_SHEET_CAN_RENAME = 1986;
inline constexpr MessageId WM_SHEET_NAME_CHANGED = 1987;
inline constexpr MessageId WM_SHEET_CAN_CHANGE = 1988;

// Identifies a receiver. A default-constructed handle names no receiver.
// Handles are never reused, so a stale handle can never reach a newer receiver.
struct ReceiverHandle {
    std::uint64_t id = 0;

    explicit operator bool() const { return id != 0; }
    friend bool operator==(ReceiverHandle, ReceiverHandle) = default;
};

class Mailbox;

// Base of every object that handles numbered messages.
//
// Derive from it (typically alongside QWidget) and override HandleMessage.
// Construct on the thread that is to handle the messages; the handle is valid
// from construction to destruction. During destruction messages still waiting
// for the receiver are dropped and blocked senders are released with 0.
class MessageReceiver {
public:
    MessageReceiver();
    virtual ~MessageReceiver();
    MessageReceiver(const MessageReceiver&) = delete;
    MessageReceiver& operator=(const MessageReceiver&) = delete;

    // Any thread.
    ReceiverHandle Handle() const { return handle_; }

protected:
    // Runs on the receiver's thread. The answer is returned to a sender;
    // posted messages' answers are discarded. Unhandled messages answer 0.
    // A handler must not destroy its own receiver directly (use deleteLater()).
    virtual LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) = 0;

private:
    friend class Mailbox;

    ReceiverHandle handle_;
    std::unique_ptr<Mailbox> mailbox_;
};

// A receiver whose handling is a function; for objects that cannot derive
// from MessageReceiver, and for tests.
class FunctionReceiver final : public MessageReceiver {
public:
    using Handler = std::function<LResult(MessageId, WParam, LParam)>;

    explicit FunctionReceiver(Handler handler)
        : handler_(std::move(handler)) {}

protected:
    LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
        return handler_ ? handler_(message, wParam, lParam) : 0;
    }

private:
    Handler handler_;
};

// Queues the message for the receiver and returns at once; never blocks on the
// receiver. Messages posted by one thread to one receiver arrive in order.
// Returns false (and drops the message) when the receiver no longer exists.
// Any thread.
bool PostMessage(ReceiverHandle receiver, MessageId message, WParam wParam = 0, LParam lParam = 0);

// Runs the receiver's HandleMessage on the receiver's thread and returns its
// answer. On the receiver's own thread the handler is called directly; from
// another thread the caller blocks until the receiver's event loop has handled
// it. Returns 0 at once when the receiver no longer exists, and 0 when it is
// destroyed before handling the message. Any thread.
LResult SendMessage(ReceiverHandle receiver, MessageId message, WParam wParam = 0,
                    LParam lParam = 0);

// Sends WM_SETTEXT with `text` (a window title): the send waits for the
// handling, so the text outlives it. Any thread.
LResult SendText(ReceiverHandle receiver, const QString& text);

// True while a message with this number posted to the receiver has not yet
// started being handled (a look-ahead that removes nothing). Sent messages
// are not counted. Any thread.
bool IsMessageWaiting(ReceiverHandle receiver, MessageId message);

// Starts a detached thread running `work`; nothing waits for it. The work owns
// whatever it captures and must end on its own.
void StartWorker(std::function<void()> work);

// The thread start of the C runtime: `function(argument)` on a detached thread.
void StartWorker(void (*function)(void*), void* argument);

} // namespace platform
