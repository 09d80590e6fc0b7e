#include "cli/Interrupt.h"

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
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        // A command started in the background by a script ignores Ctrl+C, and stays so.
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
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
