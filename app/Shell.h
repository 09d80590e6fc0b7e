#pragma once

#include <QString>

// Hands web addresses and files to the desktop, which opens them with the
// user's default programs.
namespace Shell {

// Opens a web address in the default browser; shows a message when that fails.
void LaunchBrowser(const QString& strURL);

// Opens a file with its default program. Returns true when the desktop accepted
// the request; on failure shows a message only when blnShowError is true.
bool OpenFile(const QString& strFilepath, bool blnShowError);

}  // namespace Shell
