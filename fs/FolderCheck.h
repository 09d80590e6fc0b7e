#pragma once

#include "platform/PathStyle.h"

#include <QString>
#include <functional>

// Checking a typed image folder and summarising the graphics files of a chosen one.
// Index 0 is the input images folder, index 1 the output images folder.
namespace FolderCheck {

// The process's current folder as the platform spells it (native separators).
QString CurrentFolder();

// Turns a typed folder into a full folder path ending with a separator, relative texts being
// taken from `currentFolder`, and reports a text with a misplaced ":" (Windows style) and a
// folder that does not exist. Returns the new box text; `writeBack`, when given, receives
// it at every step that changes it, before any message appears.
QString CheckTypedFolder(int index, const QString& typed, const QString& currentFolder,
                         const PathStyle& style = PathStyle::native(),
                         const std::function<void(const QString&)>& writeBack = {});

// The box text for a folder chosen in the folder chooser: through NormaliseDriveLetter, ending
// with a separator.
QString ChosenFolderText(const QString& folder, const PathStyle& style = PathStyle::native());

// "no BMP files", "1 BMP file", "12 BMP files".
QString FileCountText(int count, const QString& code);

// The summary of the four counts of a folder; counts must not be negative.
QString FolderSummaryText(int index, int bmp, int png, int jpg, int gif);

// "No graphics files present" for a total of 0, else "Graphics files present".
QString FolderSummaryTitle(int total);

// Counts the BMP, PNG, JPG and GIF files directly in the folder and shows the summary box.
// A count that failed has shown its own "Error" box; then no summary follows and false is returned.
bool ShowFolderSummary(int index, const QString& folder);

}  // namespace FolderCheck
