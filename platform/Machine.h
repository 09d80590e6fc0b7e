#pragma once

#include <QtGlobal>

// What the machine offers a program that runs work side by side.
namespace Machine {

// The processor cores the program may use (at least 1).
int Cores();

// The machine's physical memory in bytes; 0 when the system does not say.
quint64 PhysicalMemory();

}  // namespace Machine
