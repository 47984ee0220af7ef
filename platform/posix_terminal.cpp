#include <signal.h>
#include <unistd.h>


#include "platform/terminal.h"

namespace zt::platform {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int signal) {
    if (g_interrupted != 0) {
        // Second request: leave now with the conventional status.
        ::_exit(128 + signal);
    }
    g_interrupted = 1;
}

}  // namespace

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }
void ClearInterrupt() { g_interrupted = 0; }

void IgnoreWriteSignals() {
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
}


}  // namespace zt::platform
