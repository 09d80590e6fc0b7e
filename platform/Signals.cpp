#include "platform/Signals.h"

#ifndef _WIN32
#include <csignal>
#endif

namespace Signals {

void Catch(std::initializer_list<int> signals, void (*handler)(int)) {
#ifndef _WIN32
    for (int signal : signals) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
#else
    static_cast<void>(signals);
    static_cast<void>(handler);
#endif
}

}  // namespace Signals
