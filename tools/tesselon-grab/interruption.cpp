#include "interruption.h"

#include <atomic>
#include <csignal>

namespace grab {

namespace {

// Written in a signal handler: it must be lock-free to be async-signal-safe.
std::atomic<int> gSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void NoteSignal(int signal) {
    gSignal.store(signal, std::memory_order_relaxed);
}

} // namespace

void CatchInterruptions() {
    struct sigaction action = {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the second signal finds the default action again.
    // SA_RESTART: reads and writes under way go on rather than fail.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction before = {};
        sigaction(signal, &action, &before);
        // A signal ignored on entry (nohup, a shell's background job) stays so.
        if (before.sa_handler == SIG_IGN)
            sigaction(signal, &before, nullptr);
    }
}

int InterruptingSignal() {
    return gSignal.load(std::memory_order_relaxed);
}

} // namespace grab
