#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

// The ways in beside the buttons: paths given on the command line (a file manager's "Open
// with") and files or folders dragged onto the main window. They lead into the single-file
// conversion of a chosen file and the typed-folder check of a folder box.
namespace OpenPaths {

enum class Kind { Image, Folder, Missing, Unreadable, NotAnImage };

// What `path` is: a BMP, PNG, JPG or GIF image judged by its first bytes (never by its name),
// a folder that can be listed, or why it cannot be opened.
Kind Classify(const QString& path);

// The text of the message box for a path of kind Missing, Unreadable or NotAnImage.
QString RefusalText(const QString& path, Kind kind);

// The command line's paths made absolute against `currentFolder`, which the program leaves
// at start-up. Paths come back with the platform's separators, as the Open dialog gives them.
QStringList Absolute(const QStringList& arguments, const QString& currentFolder);

// The local files and folders a drag carries; empty when it carries anything else as well.
QStringList LocalPaths(const QMimeData& data);

}  // namespace OpenPaths
