#pragma once

#include <initializer_list>

// The termination signals both programs catch to end their work cleanly (POSIX only).
namespace Signals {

// Sets `handler` for each of `signals`, restarting the system calls they interrupt. A signal
// the program was started with ignored (nohup, a script's background job) stays ignored.
void Catch(std::initializer_list<int> signals, void (*handler)(int));

}  // namespace Signals
