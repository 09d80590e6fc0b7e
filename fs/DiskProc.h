#pragma once

#include <QString>

// Drives.
namespace DiskProc {

// The first fixed disk from "A:" to "Z:" (such as "C:"), or "" when there is none; always ""
// where the file system has one root and no drive letters.
QString FirstFixedDrive();

}  // namespace DiskProc
