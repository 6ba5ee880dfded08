// Test helper: runs the calling thread's Qt events until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QThread>

#include <functional>

namespace test_support {

// True when `condition` became true within `timeoutMs`.
inline bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::usleep(200);
    }
    return true;
}

// Dispatches what is waiting now, a few passes deep (a handler may post more).
inline void PumpPending() {
    for (int pass = 0; pass < 5; ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace test_support
