#pragma once

// Ctrl+C and termination requests. The conversion library cannot be stopped inside a
// call, so a signal only asks the program to start no further conversion; the ones
// under way finish, which leaves no temporary file behind.
namespace Interrupt {

// Catches SIGINT and SIGTERM (unless they were ignored when the program started) and
// ignores SIGPIPE, so that a closed output pipe is an error the program can act on.
void Install();

// Keeps the signals away from the calling thread; for the threads that convert.
void BlockInThisThread();

// The signal received since Install(), or 0.
int Received();

// Ends the process the way `signal` ends it by default, so that the calling shell sees
// the usual status (128 + the signal's number) and stops a loop around the command.
[[noreturn]] void ExitBy(int signal);

}  // namespace Interrupt
