// Widgets for the control tests that record the numbered messages they get
// and answer them as a test tells them to.
#pragma once

#include "platform/messages.h"

#include <QCoreApplication>
#include <QWidget>

#include <map>
#include <vector>

namespace controls::testing_support {

struct Received {
    platform::MessageId message;
    platform::WParam wParam;
    platform::LParam lParam;

    friend bool operator==(const Received&, const Received&) = default;
};

class RecordingWidget : public QWidget, public platform::MessageReceiver {
public:
    explicit RecordingWidget(QWidget* parent = nullptr)
        : QWidget(parent) {}

    // The answer to every later message with this number (0 otherwise).
    void Answer(platform::MessageId message, platform::LResult answer) {
        answers_[message] = answer;
    }
    const std::vector<Received>& Messages() const { return messages_; }
    std::vector<Received> MessagesNumbered(platform::MessageId message) const {
        std::vector<Received> found;
        for (const Received& received : messages_) {
            if (received.message == message)
                found.push_back(received);
        }
        return found;
    }
    void Forget() { messages_.clear(); }

protected:
    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam lParam) override {
        messages_.push_back({message, wParam, lParam});
        const auto answer = answers_.find(message);
        return answer == answers_.end() ? 0 : answer->second;
    }

private:
    std::map<platform::MessageId, platform::LResult> answers_;
    std::vector<Received> messages_;
};

// Delivers every posted message and event that is waiting.
inline void DeliverPosted() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace controls::testing_support
