#include "app/StateFile.h"

#include "fs/FileProc.h"
#include "platform/Prompt.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringView>
#include <climits>
#include <cmath>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace StateFile {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A state file is a few hundred bytes; a chosen file that is far larger is not a state file, and reading only its
// start keeps a wrong choice from filling the memory.
constexpr qint64 kMaxBytesRead = 1 << 20;

constexpr StateOption kOptionLines[] = {StateOption::WarnOnOverwrite, StateOption::ViewInBrowser,
                                        StateOption::LargeWindow};

QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"') + kCrLf;
}

// A number that is not negative is stored with a blank where the minus sign would stand.
QString signedNumber(int value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// State files are written in the program's 8-bit code page. That is UTF-8 on Linux and, through the program's
// manifest, on Windows too, so that folder names in any language are saved whole. A file that is not valid UTF-8
// comes from a program that wrote the user's legacy code page (such as Windows-1252), and is read in that one.
QString decodeStateText(const QByteArray& data) {
#ifdef Q_OS_WIN
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(data);
    DWORD legacy = 0;
    if (!utf8.hasError() || GetACP() != CP_UTF8 ||
        GetLocaleInfoW(GetSystemDefaultLCID(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&legacy), sizeof legacy / sizeof(wchar_t)) == 0 ||
        legacy == CP_UTF8) {
        return QString::fromLocal8Bit(data);
    }
    const int size = static_cast<int>(data.size());  // at most kMaxBytesRead
    QString legacyText(MultiByteToWideChar(legacy, 0, data.constData(), size, nullptr, 0), Qt::Uninitialized);
    MultiByteToWideChar(legacy, 0, data.constData(), size, reinterpret_cast<wchar_t*>(legacyText.data()),
                        static_cast<int>(legacyText.size()));
    return legacyText;
#else
    return QString::fromLocal8Bit(data);
#endif
}

// Splits the text into lines. A line ends at CR LF, at a lone LF or a lone CR (files edited on other systems), or at
// the end of the text; a final line break does not start another, empty line.
QList<QStringView> splitLines(QStringView text) {
    QList<QStringView> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            i += (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) {
        lines.append(text.mid(start));
    }
    return lines;
}

// The one field of a line. Blanks before it are skipped. A quoted field runs to the next double quote, which may be
// followed by anything (ignored); without a closing quote it runs to the end of the line. An unquoted field ends at
// the first comma or at the end of the line, without trailing blanks.
QString fieldOf(QStringView line) {
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i])) {
        ++i;
    }
    if (i < line.size() && line[i] == QLatin1Char('"')) {
        const qsizetype close = line.indexOf(QLatin1Char('"'), i + 1);
        return (close < 0 ? line.mid(i + 1) : line.mid(i + 1, close - i - 1)).toString();
    }
    qsizetype end = line.indexOf(QLatin1Char(','), i);
    if (end < 0) {
        end = line.size();
    }
    while (end > i && isBlank(line[end - 1])) {
        --end;
    }
    return line.mid(i, end - i).toString();
}

// The numeric value at the start of a field (blanks skipped): an optional sign, digits with an optional decimal
// part and an optional exponent. Text that does not start with a number is 0.
double leadingNumber(QStringView field) {
    qsizetype i = 0;
    while (i < field.size() && isBlank(field[i])) {
        ++i;
    }
    const qsizetype start = i;
    auto digits = [&] {
        const qsizetype from = i;
        while (i < field.size() && field[i] >= QLatin1Char('0') && field[i] <= QLatin1Char('9')) {
            ++i;
        }
        return i - from;
    };
    if (i < field.size() && (field[i] == QLatin1Char('+') || field[i] == QLatin1Char('-'))) {
        ++i;
    }
    qsizetype mantissaDigits = digits();
    if (i < field.size() && field[i] == QLatin1Char('.')) {
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0) {
        return 0.0;
    }
    qsizetype end = i;
    if (i < field.size() && (field[i] == QLatin1Char('e') || field[i] == QLatin1Char('E'))) {
        ++i;
        if (i < field.size() && (field[i] == QLatin1Char('+') || field[i] == QLatin1Char('-'))) {
            ++i;
        }
        if (digits() > 0) {
            end = i;
        }
    }
    bool ok = false;
    const double value = field.mid(start, end - start).toDouble(&ok);
    // Only an exponent too large for a double fails here; such a value is outside every list anyway.
    return ok ? value : HUGE_VAL;
}

// The list index a format line stands for: its number rounded to a whole one, halves to even. None when it cannot
// be an index at all.
std::optional<int> formatIndexOf(const QString& field) {
    const double rounded = std::nearbyint(leadingNumber(field));
    if (!std::isfinite(rounded) || rounded < INT_MIN || rounded > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(rounded);
}

// Applies line `number` (0 to 6) of a state file; false when reading must stop there.
bool applyLine(StateHost& host, int number, const QString& field) {
    if (number < 2) {
        host.setFolderText(number, field);
        return true;
    }
    if (number < 4) {
        const std::optional<int> index = formatIndexOf(field);
        return index && host.setFormatIndex(number - 2, *index);
    }
    host.setOption(kOptionLines[number - 4], field == QLatin1String("1"));
    return true;
}

// Replaces the file at `path` with `content`. The new content goes into a temporary file beside the old one, which
// it replaces only once complete: a save that fails part-way (a full disk, say) leaves no damaged file behind and
// an earlier file as it was. Returns nothing on success, else the platform's description of the failure.
std::optional<QString> writeWholeFile(const QString& path, const QByteArray& content) {
    // Renaming over a file would replace it even when it is read-only; such a file must stay as it is.
    if (QFileInfo(path).isFile()) {
        QFile existing(path);
        if (!existing.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) {
            return existing.errorString();
        }
    }
    QSaveFile file(path);
    // Unbuffered, so that a short write shows at once with its reason instead of disappearing in a later flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return file.errorString();
    }
    qint64 done = 0;
    while (done < content.size()) {
        const qint64 written = file.write(content.constData() + done, content.size() - done);
        if (written <= 0) {
            return file.errorString();  // the temporary file is removed with `file`
        }
        done += written;
    }
    if (!file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

}  // namespace

QByteArray FormatState(const StateHost& host) {
    QString text;
    text += quoted(host.folderText(0));
    text += quoted(host.folderText(1));
    text += quoted(signedNumber(host.formatIndex(0)));
    text += quoted(signedNumber(host.formatIndex(1)));
    for (StateOption which : kOptionLines) {
        text += quoted(host.option(which) ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return text.toLocal8Bit();
}

void cmdSaveState_Click(StateHost& host, int Index) {
    const bool save = Index == 0;
    if (Index == 0 || Index == 1) {
        const Prompt::FileDialog dialog{save ? QStringLiteral("Specify filename for saved state")
                                             : QStringLiteral("Specify filename for state to restore"),
                                        kFilter, QString()};
        QString strFilepath = save ? Prompt::SaveFileName(dialog) : Prompt::OpenFileName(dialog);
        if (!strFilepath.isEmpty()) {
            strFilepath = FileProc::NormaliseDriveLetter(strFilepath);
            if (save && FileProc::FileExists(strFilepath)) {
                const Prompt::Answer answer = Prompt::MsgBox(
                    QStringLiteral("The state file ") + strFilepath + kCrLf +
                        QStringLiteral("already exists and will be overwritten.") + QStringLiteral("  Is this OK?"),
                    Prompt::Buttons::YesNoCancel, Prompt::Icon::None, QStringLiteral("Confirm overwrite of file"));
                if (answer != Prompt::Answer::Yes) {
                    strFilepath.clear();
                }
            }
        }
        if (!strFilepath.isEmpty()) {
            if (save) {
                SaveState(host, strFilepath);
            } else {
                RestoreState(host, strFilepath);
            }
        }
    }
    host.FocusNextStep();
}

bool SaveState(StateHost& host, const QString& strFilepath) {
    const std::optional<QString> failure = writeWholeFile(strFilepath, FormatState(host));
    if (failure) {
        Prompt::MsgBox(QStringLiteral("Error when attempting to save the state: ") + *failure, Prompt::Buttons::Ok,
                       Prompt::Icon::Exclamation, QStringLiteral("Save state"));
    }
    host.FocusNextStep();
    return !failure;
}

void RestoreState(StateHost& host, const QString& strFilepath) {
    QFile file(strFilepath);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray data = file.read(kMaxBytesRead);
        file.close();
        // Line breaks, quotes and commas are single bytes in every 8-bit code page, so decoding the whole file first
        // splits it exactly as splitting the bytes would.
        const QString text = decodeStateText(data);
        const QList<QStringView> lines = splitLines(text);
        for (int number = 0; number < 7 && number < lines.size(); ++number) {
            if (!applyLine(host, number, fieldOf(lines[number]))) {
                break;
            }
        }
    }
    host.FocusNextStep();
}

}  // namespace StateFile
