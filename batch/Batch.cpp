#include "batch/Batch.h"

#include "batch/AheadScheduler.h"
#include "batch/ViewerPage.h"
#include "fs/FileProc.h"
#include "fs/StrProc.h"
#include "platform/Prompt.h"
#include "platform/RunTimeError.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <exception>

namespace Batch {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Length of an existing file; a file that cannot be reached ends the run like any run-time failure.
qint64 FileLength(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        throw RunTimeError(QStringLiteral("File not found: %1").arg(path));
    }
    if (!info.isFile()) {
        throw RunTimeError(QStringLiteral("Path/File access error: %1").arg(path));
    }
    return info.size();
}

// The names of the files directly in `folder`, in name order whatever order the file system keeps.
QStringList FolderFiles(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir()) {
        throw RunTimeError(QStringLiteral("Path not found: %1").arg(folder));
    }
    if (!QDir(folder).isReadable()) {
        throw RunTimeError(QStringLiteral("Permission denied: %1").arg(folder));
    }
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        names << it.nextFileInfo().fileName();
    }
    std::sort(names.begin(), names.end(), StrProc::NameOrderLess);
    return names;
}

bool FormatChosen(BatchHost& host, int index) {
    return host.formatIndex(index) != 0;
}

QString NumberText(qint64 n) {
    return QStringLiteral(" ") + QString::number(n);
}

QString SummaryLine(BatchHost& host, int intOperation, int matching, int converted) {
    const RunState& state = host.runState();
    if (intOperation == ConvertBatch) {
        return QStringLiteral("Number of ") + state.strInputFormat + QStringLiteral(" files converted:") +
               NumberText(converted) + QStringLiteral(" (of") + NumberText(matching) + QStringLiteral(" input)");
    }
    const QString& format = intOperation == ListOutput ? state.strOutputFormat : state.strInputFormat;
    const QString side = intOperation == ListOutput ? QStringLiteral("output") : QStringLiteral("input");
    const QString start = format == QLatin1String("*") ? QStringLiteral("Number of files")
                                                       : QStringLiteral("Number of %1 files").arg(format);
    return start + QStringLiteral(" in the ") + side + QStringLiteral(" folder:") + NumberText(matching);
}

QString NoFilesText(BatchHost& host, int intOperation) {
    const RunState& state = host.runState();
    const QString& format = intOperation == ListOutput ? state.strOutputFormat : state.strInputFormat;
    const QString side = intOperation == ListOutput ? QStringLiteral("output") : QStringLiteral("input");
    if (format == QLatin1String("*")) {
        return QStringLiteral("There are no files in the %1 folder.").arg(side);
    }
    return QStringLiteral("There are no %1 files in the %2 folder.").arg(format, side);
}

// Ends a run quietly when the program is closing: the page is finished without a report line.
void CloseViewerQuietly(RunState& state) {
    if (!state.viewer) {
        return;
    }
    state.viewer->close();
    if (!state.blnViewerHasEntries) {
        QFile::remove(state.strViewerFilepath);
    }
    state.viewer.reset();
}

// The quality check of "Convert files"; true when the batch quality is usable.
bool CheckQuality(BatchHost& host) {
    QString text = host.qualityText();
    StrProc::CleanNumericText(text, false);
    host.setQualityText(text);
    QString digits = text;
    if (digits.startsWith(QLatin1Char('+'))) {
        digits.remove(0, 1);
    }
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0'))) {
        digits.remove(0, 1);
    }
    // More digits than any 16-bit number has: beyond the range, which counts as too high.
    const bool beyond16Bit = digits.size() > 5 || digits.toInt() > 32767;
    const int value = beyond16Bit ? 32767 : digits.toInt();
    RunState& state = host.runState();
    state.intQuality = static_cast<qint16>(value);
    if (beyond16Bit || value < host.minQuality() || value > host.maxQuality()) {
        Prompt::MsgBox(QStringLiteral("For conversion to JPG the quality must be in the range") +
                           NumberText(host.minQuality()) + QStringLiteral(" through") + NumberText(host.maxQuality()) +
                           QStringLiteral("."),
                       Prompt::Buttons::Ok, Prompt::Icon::None, QStringLiteral("Input error"));
        return false;
    }
    return true;
}

// The batch's conversions in the order of their turns, as ProcessFile will ask for them.
QList<PlannedConversion> PlannedConversions(BatchHost& host, const QStringList& names) {
    const RunState& state = host.runState();
    QList<PlannedConversion> plan;
    for (const QString& name : names) {
        plan.append({host.folderText(0) + name,
                     host.folderText(1) + FileProc::OutputFileName(name, state.strOutputFormat), state.intQuality});
    }
    return plan;
}

void AppendConversionError(BatchHost& host, const QString& message, int errorKind) {
    const RunState& state = host.runState();
    QString kind;
    if (errorKind == 1) {
        kind = QStringLiteral("Read");
    } else if (errorKind == -1) {
        kind = QStringLiteral("Write");
    }
    host.appendReport(kCrLf + QStringLiteral("*** ") + kind + QStringLiteral(" error: ") + message + kCrLf);
    if (state.strInputFormat == QLatin1String("BMP") && message == QLatin1String("Unsupported file format option.")) {
        host.appendReport(QStringLiteral("      BMP file may be compressed.") + kCrLf);
    }
    if (message == QLatin1String("Invalid bits per pixel for this file format.") &&
        state.strOutputFormat == QLatin1String("JPG")) {
        host.appendReport(
            QStringLiteral("      Bits per pixel in input image may be too small for saving as JPG file.") + kCrLf);
    }
    host.appendReport(kCrLf);
}

}  // namespace

QString SizeText(qint64 bytes, const QLocale& locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(bytes) + QStringLiteral(" bytes");
}

OperationScope::OperationScope(BatchHost& host) : m_state(host.runState()) {
    m_state.blnOperationRunning = true;
}

OperationScope::~OperationScope() {
    m_state.blnOperationRunning = false;
}

bool OperationRunning(BatchHost& host) {
    return host.runState().blnOperationRunning;
}

void cmdStop_Click(BatchHost& host) {
    host.runState().blnStopRequested = true;
}

void cmdConvertFiles_Click(BatchHost& host) {
    if (OperationRunning(host)) {
        return;
    }
    const auto needMore = [&](const QString& text, BatchHost::Control focus) {
        Prompt::MsgBox(text, Prompt::Buttons::Ok, Prompt::Icon::None, QStringLiteral("Need more input"));
        host.setFocusTo(focus);
    };
    if (host.folderText(0).isEmpty()) {
        return needMore(QStringLiteral("Please specify the folder for the input images."),
                        BatchHost::Control::FolderForImages0);
    }
    if (host.folderText(1).isEmpty()) {
        return needMore(QStringLiteral("Please specify the folder for the output images."),
                        BatchHost::Control::FolderForImages1);
    }
    if (!FormatChosen(host, 0)) {
        return needMore(QStringLiteral("Please specify the file format for the input images."),
                        BatchHost::Control::FolderForImages0);
    }
    if (!FormatChosen(host, 1)) {
        return needMore(QStringLiteral("Please specify the file format for the output images."),
                        BatchHost::Control::FolderForImages1);
    }
    RunState& state = host.runState();
    state.strInputFormat = host.formatText(0);
    state.strOutputFormat = host.formatText(1);

    bool settingsValid = true;
    if (state.strOutputFormat == QLatin1String("JPG")) {
        settingsValid = CheckQuality(host);
    }
    // Both messages are shown when both settings are wrong.
    if (state.strInputFormat == state.strOutputFormat) {
        Prompt::MsgBox(QStringLiteral("The output file format must be different from the input file format."),
                       Prompt::Buttons::Ok, Prompt::Icon::Exclamation, QStringLiteral("Input error"));
        settingsValid = false;
    }
    if (!settingsValid) {
        return;
    }

    OperationScope running(host);
    ProcessFiles(host, ConvertBatch);
    FinishViewerPage(host);
}

void cmdList_Click(BatchHost& host, int index) {
    if (OperationRunning(host)) {
        return;
    }
    const BatchHost::Control folderButton =
        index == 1 ? BatchHost::Control::FolderForImages1 : BatchHost::Control::FolderForImages0;
    const QString side = index == 1 ? QStringLiteral("output") : QStringLiteral("input");
    if (host.folderText(index).isEmpty()) {
        Prompt::MsgBox(QStringLiteral("Please specify folder for %1 images.").arg(side), Prompt::Buttons::Ok,
                       Prompt::Icon::None, QStringLiteral("Need more input"));
        host.setFocusTo(folderButton);
        return;
    }
    if (!FormatChosen(host, index)) {
        const Prompt::Answer answer =
            Prompt::MsgBox(QStringLiteral("List all files in the %1 folder?").arg(side), Prompt::Buttons::YesNo,
                           Prompt::Icon::None, QStringLiteral("List all files?"));
        if (answer != Prompt::Answer::Yes) {
            host.setFocusTo(folderButton);
            return;
        }
    }
    RunState& state = host.runState();
    state.strInputFormat = FormatChosen(host, 0) ? host.formatText(0) : QStringLiteral("*");
    state.strOutputFormat = FormatChosen(host, 1) ? host.formatText(1) : QStringLiteral("*");

    OperationScope running(host);
    ProcessFiles(host, index == 1 ? ListOutput : ListInput);
}

void ProcessFiles(BatchHost& host, int intOperation) {
    RunState& state = host.runState();
    const bool conversion = intOperation == ConvertBatch;
    state.blnStopRequested = false;
    const QString folder = host.folderText(intOperation == ListOutput ? 1 : 0);
    const QString mask =
        QStringLiteral("*.") + (intOperation == ListOutput ? state.strOutputFormat : state.strInputFormat);
    if (conversion) {
        state.blnViewerFileOpen = false;
        state.blnViewerHasEntries = false;
        state.blnSourceImageShown = false;
        state.blnViewInBrowser = host.viewInBrowserChecked();
    }

    bool busyLook = false;
    try {
        const QStringList names = FolderFiles(folder);
        const auto matches = [&](const QString& name) { return StrProc::MatchesMask(name, mask, false); };
        QStringList matchingNames;
        for (const QString& name : names) {
            if (matches(name)) {
                matchingNames << name;
            }
        }
        const int matching = static_cast<int>(matchingNames.size());
        if (matching == 0) {
            Prompt::MsgBox(NoFilesText(host, intOperation), Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                           QStringLiteral("No files"));
            return;
        }
        if (!host.reportIsEmpty()) {
            const Prompt::Answer answer = Prompt::MsgBox(QStringLiteral("Clear report window first?"),
                                                         Prompt::Buttons::YesNo, Prompt::Icon::None, QString(""));
            if (host.quitRequested()) {
                return;
            }
            if (answer == Prompt::Answer::Yes) {
                host.clearReport();
            } else {
                host.appendReport(kCrLf + QString(20, QLatin1Char('-')) + kCrLf);
            }
        }

        host.setBusyLook(true, conversion);
        busyLook = true;
        host.setProgress(0, matching);
        int converted = 0;
        {
            AheadScheduler ahead(host,
                                 conversion ? PlannedConversions(host, matchingNames) : QList<PlannedConversion>());
            int done = 0;
            for (const QString& name : names) {
                if (matches(name)) {
                    ahead.beginTurn(done);
                    state.blnWarnOnOverwrite = host.warnOnOverwriteChecked();
                    int result = 1;
                    ProcessFile(host, intOperation, name, false, QString(), result);
                    if (host.quitRequested()) {
                        return;
                    }
                    host.setProgress(++done, matching);
                    if (result == -1) {
                        break;
                    }
                    if (result == 1) {
                        ++converted;
                    }
                }
                host.yield();
                if (host.quitRequested()) {
                    return;
                }
                if (state.blnStopRequested) {
                    host.appendReport(QStringLiteral("Operation stopped.") + kCrLf);
                    break;
                }
            }
        }  // what was converted ahead and not taken goes here
        host.setBusyLook(false, false);

        const QString summary = SummaryLine(host, intOperation, matching, converted);
        host.appendReport(kCrLf + summary + kCrLf);
        if (conversion) {
            if (converted == matching) {
                Prompt::MsgBox(summary, Prompt::Buttons::Ok, Prompt::Icon::None,
                               QStringLiteral("All files converted."));
            } else {
                const QString text =
                    state.blnStopRequested ? QStringLiteral("Not all files converted.  Operation stopped.") : summary;
                Prompt::MsgBox(text, Prompt::Buttons::Ok, Prompt::Icon::None,
                               QStringLiteral("Not all files converted."));
            }
            host.setBusyLook(false, true);
        }
    } catch (const RunTimeError& error) {
        host.hideConvertingLabel();
        if (host.quitRequested()) {
            return;
        }
        Prompt::MsgBox(error.description(), Prompt::Buttons::Ok, Prompt::Icon::Information, QStringLiteral("Error"));
        // Unlike the classic program, the window does not stay in its busy look after a failure.
        if (busyLook) {
            host.setBusyLook(false, conversion);
        }
    }
}

void ProcessFile(BatchHost& host, int intOperation, const QString& strFilename, bool blnSingleFileOperation,
                 const QString& strQualitySuffix, int& intResult) {
    intResult = 1;
    if (host.quitRequested()) {
        intResult = -1;
        return;
    }
    RunState& state = host.runState();
    const QString reportName = strFilename.toLower();
    host.appendReport(reportName);

    if (intOperation == ListInput) {
        host.appendReport(QStringLiteral("  ") + SizeText(FileLength(host.folderText(0) + strFilename)) + kCrLf);
        return;
    }
    if (intOperation == ListOutput) {
        host.appendReport(kCrLf);
        return;
    }

    // The input is read under its real name; the names the program creates are lower case.
    const QString inputPath = host.folderText(0) + strFilename;
    QString outputName = FileProc::OutputFileName(
        strFilename, state.strOutputFormat, intOperation == ConvertSingle ? strQualitySuffix : QString());
    QString outputPath = host.folderText(1) + outputName;
    const QString plannedPath = outputPath;

    if (state.blnWarnOnOverwrite && host.warnOnOverwriteChecked() && FileProc::FileExists(outputPath)) {
        const TargetFileExistsAnswer answer = host.askTargetFileExists(outputPath, blnSingleFileOperation);
        if (host.quitRequested()) {
            intResult = -1;
            return;
        }
        if (answer.blnCancelOperationThisFile) {
            host.appendReport(QStringLiteral(" -- Existing ") + state.strOutputFormat +
                              QStringLiteral(" file not overwritten.") + kCrLf);
            if (answer.blnCancelOperationAllFiles) {
                host.appendReport(kCrLf + QStringLiteral("Operation cancelled.") + kCrLf);
                intResult = -1;
            } else {
                intResult = 0;
            }
            host.appendReport(kCrLf);
            return;
        }
        if (answer.strExitFilepath != outputPath) {
            outputPath = answer.strExitFilepath;
            outputName = FileProc::GetFileName(outputPath);
        }
    }

    const QString inputSizeText = SizeText(FileLength(inputPath));
    host.showConvertingLabel(QStringLiteral("Converting ") + strFilename + QStringLiteral(" (") + inputSizeText +
                             QStringLiteral(")"));
    if (intOperation == ConvertSingle) {
        host.appendReport(QStringLiteral(" (") + inputSizeText + QStringLiteral(")"));
    }
    host.repaintNow();
    host.moveReportCaretToEnd();
    host.yield();
    if (host.quitRequested()) {
        host.hideConvertingLabel();
        intResult = -1;
        return;
    }

    if (state.blnViewInBrowser && !state.blnViewerFileOpen) {
        if (OpenViewerFile(host, inputPath)) {
            state.blnViewerFileOpen = true;
        } else {
            state.blnViewInBrowser = false;
        }
    }

    ConversionOutcome outcome = ConvertAtTurn(host, inputPath, plannedPath, outputPath, state.intQuality);
    host.hideConvertingLabel();
    if (host.quitRequested()) {
        intResult = -1;
        return;
    }
    if (outcome.failure) {
        std::rethrow_exception(outcome.failure);
    }
    host.yield();
    host.repaintNow();
    if (host.quitRequested()) {
        intResult = -1;
        return;
    }

    const QString& message = outcome.message;
    if (message == QLatin1String("No Error.")) {
        const QString outputSizeText = SizeText(FileLength(outputPath));
        if (intOperation == ConvertBatch) {
            host.appendReport(QStringLiteral(" -> ") + outputName + QStringLiteral(" [OK]") + kCrLf);
        } else {
            host.appendReport(QStringLiteral(" converted to") + kCrLf + outputName + QStringLiteral(" (") +
                              outputSizeText + QStringLiteral(")") + kCrLf + kCrLf);
        }
        if (state.blnViewInBrowser && state.viewer) {
            if (intOperation == ConvertBatch || !state.blnSourceImageShown) {
                state.viewer->writeSourceEntry(inputPath, inputSizeText, strFilename);
                if (intOperation == ConvertSingle) {
                    state.blnSourceImageShown = true;
                }
            }
            state.viewer->writeResultEntry(outputPath, outputSizeText, strFilename);
            state.blnViewerHasEntries = true;
        }
    } else {
        AppendConversionError(host, message, outcome.errorKind);
        intResult = 0;
    }

    if ((blnSingleFileOperation && outcome.errorKind == 1) ||
        message == QLatin1String("Input file format not supported.") ||
        message == QLatin1String("Output file format not supported.")) {
        intResult = -1;
    }
}

bool OpenViewerFile(BatchHost& host, const QString& inputPath) {
    RunState& state = host.runState();
    const QString folder = FileProc::GetFolderPart(inputPath);
    state.strViewerFilepath = FileProc::GetUnusedFilepath(folder, QStringLiteral("viewer"), QStringLiteral("htm"));
    if (state.strViewerFilepath.isEmpty()) {
        return false;
    }
    auto page = std::make_shared<ViewerPage>();
    const QString error = page->create(state.strViewerFilepath);
    if (!error.isEmpty()) {
        Prompt::MsgBox(error, Prompt::Buttons::Ok, Prompt::Icon::Exclamation,
                       QStringLiteral("Error creating HTML file"));
        return false;
    }
    state.viewer = std::move(page);
    return true;
}

void CloseViewerFile(BatchHost& host) {
    RunState& state = host.runState();
    if (!state.viewer) {
        return;
    }
    state.viewer->close();
    state.viewer.reset();
    if (state.blnViewerHasEntries) {
        host.appendReport(QStringLiteral("Viewer file: ") + state.strViewerFilepath + kCrLf);
    } else {
        QFile::remove(state.strViewerFilepath);
    }
}

void FinishViewerPage(BatchHost& host) {
    RunState& state = host.runState();
    if (host.quitRequested()) {
        CloseViewerQuietly(state);
        return;
    }
    if (state.blnViewerFileOpen) {
        CloseViewerFile(host);
    }
    if (state.blnViewerHasEntries) {
        host.openFile(state.strViewerFilepath, true);
    }
}

}  // namespace Batch
