#pragma once

#include <QString>

// The program's side of the conversion library: loads libtessaplex from the
// executable's folder at the first call and converts one file with it.
namespace Grafix {

// Converts `inputPath` into `outputPath` (format by its extension) at JPEG quality
// `quality`. Returns the library's message followed by "." ("No Error." on
// success) and sets `errorKind` (0 success, 1 reading failed, -1 writing failed).
// Throws RunTimeError when the library or its function cannot be loaded, or when
// the library's result does not fit in 16 bits. Safe to call from a worker thread.
QString ConvertGraphicsFile(const QString& inputPath, const QString& outputPath, qint16 quality, int& errorKind);

// Looks for the library in `folder` instead of the executable's folder (empty: the
// executable's folder again) and forgets a library loaded before. For tests.
void SetLibraryFolder(const QString& folder);

}  // namespace Grafix
