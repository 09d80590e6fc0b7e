#pragma once

#include <QByteArray>
#include <QString>

// The three check boxes of the main window that belong to the saved state.
enum class StateOption { WarnOnOverwrite, ViewInBrowser, LargeWindow };

// The main window as the state files see it. Side 0 is the input side, 1 the output side.
class StateHost {
public:
    virtual ~StateHost() = default;

    // The text of folder box `side` as it stands.
    virtual QString folderText(int side) const = 0;
    // Puts `text` into folder box `side` without checking the folder.
    virtual void setFolderText(int side, const QString& text) = 0;
    // The selected item index of format list `side` (0 is "Select").
    virtual int formatIndex(int side) const = 0;
    // Selects item `index` of format list `side`, running its click handler; false, changing nothing, when the list
    // has no such item (-1 included).
    virtual bool setFormatIndex(int side, int index) = 0;
    virtual bool option(StateOption which) const = 0;
    // Checks or unchecks a box; a change of LargeWindow applies the matching layout.
    virtual void setOption(StateOption which, bool checked) = 0;
    // Moves the focus to the next control the user still has to fill in.
    virtual void FocusNextStep() = 0;
};

// Saving the main window's batch settings to a .sta file and restoring them from one.
namespace StateFile {

// The file dialog's filter for state files.
inline const QString kFilter = QStringLiteral("State files (*.sta)|*.sta");

// The bytes of a state file holding the host's current state: seven quoted lines in the system's 8-bit encoding.
QByteArray FormatState(const StateHost& host);

// "Save state" (index 0) or "Restore state" (index 1): asks for the file, then saves or restores; always ends with
// the focus step.
void cmdSaveState_Click(StateHost& host, int Index);

// Writes the state to `strFilepath`, replacing a file of that name only once the new one is complete. On failure
// shows why and leaves any earlier file as it was. Returns true when the file was written.
bool SaveState(StateHost& host, const QString& strFilepath);

// Reads `strFilepath` and applies its lines one by one; reading ends silently at the first line that is missing or
// does not fit, keeping what was applied before it.
void RestoreState(StateHost& host, const QString& strFilepath);

}  // namespace StateFile
