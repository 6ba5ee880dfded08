// The program's run loop: dispatches every waiting event, calls an update
// function whenever none is waiting, and sleeps until the next event when the
// update function reports that it has nothing to do.
//
// Threads: RunEventLoop and ReportIdle on the user-interface thread (the thread
// of the QApplication); PostQuitMessage from any thread.
#pragma once

#include <functional>

namespace platform {

// Asks the running (or next) RunEventLoop to return `exitCode`. The loop
// takes the request at its next turn, after the events already waiting.
// QCoreApplication::quit() and exit() do not end this loop. Any thread.
void PostQuitMessage(int exitCode);

// Called by the update function: there is nothing to do until the next event,
// so the loop waits for one instead of calling the update function again.
// User-interface thread.
void ReportIdle();

// Runs until PostQuitMessage and returns its exit code. Each turn dispatches
// the waiting events (posted events, timers, input, repaints and deferred
// deletions); a turn that found none calls `update` once. User-interface thread.
int RunEventLoop(const std::function<void()>& update);

} // namespace platform
