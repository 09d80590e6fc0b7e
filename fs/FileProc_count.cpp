// The one FileProc helper that shows a message box. It lives apart from the other
// helpers so that those need QtCore only (the command-line converter uses them).
#include "fs/FileProc.h"

#include "fs/NativePath.h"
#include "fs/StrProc.h"
#include "platform/Prompt.h"

#include <filesystem>
#include <system_error>

namespace FileProc {

namespace fs = std::filesystem;

int CountMatchingFiles(const QString& folder, const QString& mask) {
    std::error_code error;
    int count = 0;
    // std::filesystem rather than QDir: QDir says nothing about why a folder could not be read.
    fs::directory_iterator entry(FsDetail::toFsPath(folder), error);
    const fs::directory_iterator end;
    while (!error && entry != end) {
        std::error_code typeError;
        // A link counts as what it points to; a broken link is no file and no failure.
        if (entry->is_regular_file(typeError) &&
            StrProc::MatchesMask(FsDetail::fromFsPath(entry->path().filename()), mask, false)) {
            ++count;
        }
        entry.increment(error);
    }
    if (error) {
        Prompt::MsgBox(FsDetail::describe(error), Prompt::Buttons::Ok, Prompt::Icon::Information,
                       QStringLiteral("Error"));
        return -1;
    }
    return count;
}

}  // namespace FileProc
