#include "fs/FolderCheck.h"

#include "fs/FileProc.h"
#include "platform/Prompt.h"

#include <QDir>

namespace FolderCheck {

namespace {

QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text.at(last - 1) == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

QString withSeparator(const QString& folder, const PathStyle& style) {
    return folder.endsWith(style.separator()) ? folder : folder + style.separator();
}

}  // namespace

QString CurrentFolder() {
    return QDir::toNativeSeparators(QDir::currentPath());
}

QString CheckTypedFolder(int index, const QString& typed, const QString& currentFolder, const PathStyle& style,
                         const std::function<void(const QString&)>& writeBack) {
    QString text = typed;
    auto update = [&](const QString& next) {
        if (next != text) {
            text = next;
            if (writeBack) {
                writeBack(text);
            }
        }
    };
    // On a case-sensitive file system the typed letters are the folder's real name.
    if (style.isWindows()) {
        update(text.toLower());
    }
    const QString current = withSeparator(currentFolder, style);
    update(trimBlanks(text));
    if (text.isEmpty()) {
        return text;
    }
    update(withSeparator(text, style));
    const QChar separator = style.separator();
    if (style.isWindows()) {
        if (text.size() >= 3 && text.at(1) == QLatin1Char(':') && text.at(2) == separator) {
            update(FileProc::NormaliseDriveLetter(text, style));
        } else if (text.contains(QLatin1Char(':'))) {
            Prompt::MsgBox(QStringLiteral("Invalid input for message file"), Prompt::Buttons::Ok,
                           Prompt::Icon::Exclamation);
        } else if (text.startsWith(separator)) {
            // Rooted on the current drive, such as "C:".
            update(current.left(2) + text);
        } else {
            update(current + text);
        }
    } else if (!text.startsWith(separator)) {
        update(current + text);
    }
    if (!FileProc::FolderExists(text)) {
        Prompt::MsgBox(index == 0 ? QStringLiteral("Input images folder not found!")
                                  : QStringLiteral("Output images folder not found!"),
                       Prompt::Buttons::Ok, Prompt::Icon::Exclamation, QStringLiteral("Error"));
    }
    return text;
}

QString ChosenFolderText(const QString& folder, const PathStyle& style) {
    return withSeparator(FileProc::NormaliseDriveLetter(folder, style), style);
}

QString FileCountText(int count, const QString& code) {
    if (count == 0) {
        return QStringLiteral("no ") + code + QStringLiteral(" files");
    }
    if (count == 1) {
        return QStringLiteral("1 ") + code + QStringLiteral(" file");
    }
    return QString::number(count) + QLatin1Char(' ') + code + QStringLiteral(" files");
}

QString FolderSummaryText(int index, int bmp, int png, int jpg, int gif) {
    const QString start = index == 0 ? QStringLiteral("The input images folder presently contains ")
                                     : QStringLiteral("The output images folder presently contains ");
    const int total = bmp + png + jpg + gif;
    if (total == 0) {
        QString text = start + QStringLiteral("no graphics files (BMP, PNG, JPG, GIF).");
        if (index == 0) {
            text += QStringLiteral("\r\nPlease check that you selected the intended folder.");
        }
        return text;
    }
    if (total == 1) {
        const QString code = bmp == 1   ? QStringLiteral("BMP")
                             : png == 1 ? QStringLiteral("PNG")
                             : jpg == 1 ? QStringLiteral("JPG")
                                        : QStringLiteral("GIF");
        return start + QStringLiteral("one ") + code + QStringLiteral(" file.");
    }
    return start + QString::number(total) + QStringLiteral(" graphics files (BMP, PNG, JPG, GIF):\r\n") +
           FileCountText(bmp, QStringLiteral("BMP")) + QStringLiteral(", ") +
           FileCountText(png, QStringLiteral("PNG")) + QStringLiteral(", ") +
           FileCountText(jpg, QStringLiteral("JPG")) + QStringLiteral(" and ") +
           FileCountText(gif, QStringLiteral("GIF")) + QLatin1Char('.');
}

QString FolderSummaryTitle(int total) {
    return total == 0 ? QStringLiteral("No graphics files present") : QStringLiteral("Graphics files present");
}

bool ShowFolderSummary(int index, const QString& folder) {
    int counts[4] = {};
    const char* masks[4] = {"*.bmp", "*.png", "*.jpg", "*.gif"};
    for (int i = 0; i < 4; ++i) {
        counts[i] = FileProc::CountMatchingFiles(folder, QString::fromLatin1(masks[i]));
        // The failure has been reported; a total that holds -1 would only mislead, and the
        // same failure would come up three more times.
        if (counts[i] < 0) {
            return false;
        }
    }
    const int total = counts[0] + counts[1] + counts[2] + counts[3];
    Prompt::MsgBox(FolderSummaryText(index, counts[0], counts[1], counts[2], counts[3]), Prompt::Buttons::Ok,
                   Prompt::Icon::None, FolderSummaryTitle(total));
    return true;
}

}  // namespace FolderCheck
