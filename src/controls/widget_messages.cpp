#include "controls/widget_messages.h"

#include <QObject>

namespace controls {

platform::ReceiverHandle HandleOf(QObject* object) {
    if (auto* receiver = dynamic_cast<platform::MessageReceiver*>(object))
        return receiver->Handle();
    return {};
}

platform::LResult SendToWidget(QObject* target, platform::MessageId message,
                               platform::WParam wParam, platform::LParam lParam) {
    return platform::SendMessage(HandleOf(target), message, wParam, lParam);
}

void PostToWidget(QObject* target, platform::MessageId message, platform::WParam wParam,
                  platform::LParam lParam) {
    platform::PostMessage(HandleOf(target), message, wParam, lParam);
}

} // namespace controls
