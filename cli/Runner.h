#pragma once

#include "cli/Options.h"

// Converts every input the options name, `options.jobs` at a time, and prints one line
// per input in the order of the inputs, then the summary. Returns the exit status, or
// ends the process by the signal that interrupted the run (see Interrupt::ExitBy).
int RunConversions(const Options& options);
