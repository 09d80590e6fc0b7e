#include "fs/DiskProc.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace DiskProc {

QString FirstFixedDrive() {
#ifdef Q_OS_WIN
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        // Letters without a drive report DRIVE_NO_ROOT_DIR and are passed over.
        if (GetDriveTypeW(root) == DRIVE_FIXED) {
            return QString(QChar(letter)) + QLatin1Char(':');
        }
    }
    return QString();
#else
    // One root and no drive letters: the start folder is "" + "/".
    return QString();
#endif
}

}  // namespace DiskProc
