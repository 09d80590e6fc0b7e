#include "app/QuitOnSignal.h"
#include "platform/Signals.h"

#include <QObject>
#include <cerrno>

#ifndef _WIN32
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace QuitOnSignal {

#ifndef _WIN32

namespace {

int wakeFds[2] = {-1, -1};  // the handler writes, the event loop reads

extern "C" void onSignal(int signal) {
    const char byte = static_cast<char>(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = write(wakeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

void Install(QObject* owner, std::function<void()> quit) {
    if (wakeFds[0] < 0 && pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // then the signals keep their default action
    }
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, quit = std::move(quit)] {
        char byte;
        while (read(wakeFds[0], &byte, 1) == 1) {
        }
        notifier->setEnabled(false);
        Signals::Catch({SIGTERM, SIGHUP, SIGINT}, SIG_DFL);
        quit();
    });
    Signals::Catch({SIGTERM, SIGHUP, SIGINT}, onSignal);
}

#else

void Install(QObject*, std::function<void()>) {}

#endif

}  // namespace QuitOnSignal
