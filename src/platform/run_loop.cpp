#include "platform/run_loop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <atomic>

namespace platform {
namespace {

std::atomic<bool> quitRequested{false};
std::atomic<int> quitExitCode{0};
bool idleReported = false; // user-interface thread only

// Counts the events delivered to objects of the user-interface thread. Qt's
// dispatchers do not all report whether a pass delivered anything (posted
// events, for one, are not counted), so the loop counts for itself.
class EventCounter final : public QObject {
public:
    bool eventFilter(QObject*, QEvent*) override {
        ++count;
        return false;
    }

    int count = 0;
};

void WakeUserInterfaceThread() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
        return;
    if (QAbstractEventDispatcher* dispatcher =
            QAbstractEventDispatcher::instance(application->thread()))
        dispatcher->wakeUp();
}

} // namespace

void PostQuitMessage(int exitCode) {
    quitExitCode = exitCode;
    quitRequested = true;
    WakeUserInterfaceThread();
}

void ReportIdle() {
    idleReported = true;
}

int RunEventLoop(const std::function<void()>& update) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    EventCounter counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    for (;;) {
        counter.count = 0;
        dispatcher->processEvents(QEventLoop::AllEvents);
        // Outside QEventLoop::exec() deferred deletions are only done on request.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (quitRequested.exchange(false))
            break;
        if (counter.count > 0)
            continue;
        idleReported = false;
        if (update)
            update();
        if (idleReported && !quitRequested)
            dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::instance()->removeEventFilter(&counter);
    return quitExitCode;
}

} // namespace platform
