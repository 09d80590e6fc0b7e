#pragma once

#include <functional>

class QObject;

// The session ends the program with a signal: SIGTERM when the user logs out or the system
// shuts down, SIGHUP when the terminal it was started from closes, SIGINT for Ctrl+C there.
// Each is taken as the Quit button: the file under way is finished and the files converted
// ahead are removed, so no temporary file is left in the user's folders. A second signal
// ends the program at once, as it would have without this.
namespace QuitOnSignal {

// Calls `quit` on the thread of `owner` (through its event loop, also a dialog's) at the
// first of these signals. Nothing on Windows, which has no such signals for a window.
void Install(QObject* owner, std::function<void()> quit);

}  // namespace QuitOnSignal
