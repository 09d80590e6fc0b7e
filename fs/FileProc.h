#pragma once

#include "platform/PathStyle.h"

#include <QString>

// Files, folders and paths. The path helpers split and normalise texts only; with
// the Windows style they lower-case what they return, with the POSIX style they keep
// letter case (the file system tells case apart) and know no drive letters.
namespace FileProc {

// True when a file (not a folder) exists at the path; a malformed path gives false.
bool FileExists(const QString& path);

// True when the folder exists and can be opened; a trailing separator is accepted.
bool FolderExists(const QString& folder);

// Number of files directly in the folder whose names match the mask (case folded);
// on a failure shows the platform's description in an "Error" box and returns -1.
int CountMatchingFiles(const QString& folder, const QString& mask);

// The text after the last "." of the whole path, in lower case; empty without a ".".
QString GetFileExtension(const QString& path);

// The name of a conversion's result: `name` (a file name without folder) with the text after
// its last "." replaced by `format` (or "." + `format` added when it has no "."), all in lower
// case; a non-empty `qualitySuffix` goes before the extension as "_q" + suffix.
// "Photo.BMP", "PNG" gives "photo.png"; "pic.jpeg", "JPG", "60" gives "pic_q60.jpg".
QString OutputFileName(const QString& name, const QString& format, const QString& qualitySuffix = QString());

// The text after the last separator (lower case with the Windows style); empty without one.
QString GetFileName(const QString& path, const PathStyle& style = PathStyle::native());

// The text up to and including the last separator, through NormaliseDriveLetter; empty without one.
QString GetFolderPart(const QString& path, const PathStyle& style = PathStyle::native());

// Windows style: "d:\My Pics\" becomes "D:\my pics\" when the second character is ":";
// any other text, and every text with the POSIX style, is returned unchanged.
QString NormaliseDriveLetter(const QString& path, const PathStyle& style = PathStyle::native());

// True exactly when nothing exists at the path and a new file of that path can be created.
bool NewFileCreatable(const QString& path);

// The first of folder + stem + "01".."99" + "." + extension that can be created; empty when
// the folder does not exist or all 99 are taken.
QString GetUnusedFilepath(const QString& folder, const QString& stem, const QString& extension,
                          const PathStyle& style = PathStyle::native());

}  // namespace FileProc
