// Numbered messages addressed to widgets. A widget that is not a
// platform::MessageReceiver handles nothing: a message sent to it answers 0
// and a posted one is dropped, as a window without a handler would do.
#pragma once

#include "platform/messages.h"

class QObject;

namespace controls {

// The widget's receiver handle, or an empty handle.
platform::ReceiverHandle HandleOf(QObject* object);

platform::LResult SendToWidget(QObject* target, platform::MessageId message,
                               platform::WParam wParam = 0, platform::LParam lParam = 0);
void PostToWidget(QObject* target, platform::MessageId message, platform::WParam wParam = 0,
                  platform::LParam lParam = 0);

} // namespace controls
