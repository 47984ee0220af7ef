// The few terminal facilities the command line needs: whether a stream is a
// terminal, and Ctrl+C turned into a flag that the program polls.
#pragma once

namespace zt::platform {

bool StdinIsTerminal();
bool StderrIsTerminal();

// From now on SIGINT (and SIGTERM) only set a flag; a second one while the
// flag is still set ends the process at once, as an impatient user expects.
void CatchInterrupt();
bool InterruptRequested();
// Lowers the flag after a stop was declined, so the next Ctrl+C asks again.
void ClearInterrupt();

// Called once at start-up by every executable. A file-size limit (ulimit -f)
// then fails the write with EFBIG, and a closed pipe on the output fails it
// with EPIPE, instead of killing the program with SIGXFSZ or SIGPIPE in the
// middle of a save or an imaging run.
void IgnoreWriteSignals();

}  // namespace zt::platform
