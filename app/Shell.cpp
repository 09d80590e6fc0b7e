#include "app/Shell.h"

#include "platform/Prompt.h"

namespace Shell {

void LaunchBrowser(const QString& strURL) {
    if (!Prompt::OpenExternal(strURL, true)) {
        Prompt::MsgBox(QStringLiteral("Error launching web browser. ") +
                           QStringLiteral("Please make sure that your web browser is correctly installed ") +
                           QStringLiteral("and configured"),
                       Prompt::Buttons::Ok, Prompt::Icon::Exclamation);
    }
}

bool OpenFile(const QString& strFilepath, bool blnShowError) {
    if (Prompt::OpenExternal(strFilepath, false)) {
        return true;
    }
    if (blnShowError) {
        Prompt::MsgBox(QStringLiteral("Error opening file ") + strFilepath + QStringLiteral(".") +
                           QStringLiteral("\r\n") + QStringLiteral("Perhaps the file extension is incorrect."),
                       Prompt::Buttons::Ok, Prompt::Icon::Exclamation, QStringLiteral("Error"));
    }
    return false;
}

}  // namespace Shell
