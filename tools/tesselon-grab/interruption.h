// Ctrl-C and a scheduler's TERM end a grab in order: the handler only notes
// the signal; the capture loop sees the note between frames, stops taking
// more, lets the frames in hand be written (or their temporary files
// removed), and the run writes its report marked interrupted.
#pragma once

namespace grab {

// Catches SIGINT and SIGTERM once: a second one takes its default action and
// ends the process at once, for a user who will not wait.
void CatchInterruptions();

// The signal that interrupted the run, or 0. Safe from any thread.
int InterruptingSignal();

// The exit status of a run ended by signal: 128 + its number, as shells give.
inline int InterruptedExitStatus(int signal) {
    return 128 + signal;
}

} // namespace grab
