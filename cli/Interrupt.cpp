#include "cli/Interrupt.h"
#include "platform/Signals.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

#ifndef _WIN32
#include <pthread.h>
#endif

namespace Interrupt {

namespace {

volatile std::sig_atomic_t received = 0;

extern "C" void onSignal(int signal) {
    received = signal;
}

}  // namespace

#ifndef _WIN32

void Install() {
    // A command started in the background by a script ignores Ctrl+C, and stays so.
    Signals::Catch({SIGINT, SIGTERM}, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
}

void BlockInThisThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void ExitBy(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}

#else

void Install() {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

void BlockInThisThread() {}

void ExitBy(int signal) {
    std::_Exit(128 + signal);
}

#endif

int Received() {
    return received;
}

}  // namespace Interrupt
