#include "single/SingleFileOperation.h"

#include "batch/Batch.h"
#include "fs/FileProc.h"
#include "fs/StrProc.h"
#include "platform/Prompt.h"
#include "platform/RunTimeError.h"
#include "single/frmConvertSingleFile.h"

#include <QCheckBox>
#include <QLineEdit>

namespace SingleFile {
namespace {

// Converts to one target format; `status` becomes that of ProcessFile.
void ConvertTo(SingleFileHost& host, const QString& code, const QString& name, const QString& suffix, int& status) {
    RunState& state = host.runState();
    state.strOutputFormat = code;
    Batch::ProcessFile(host, Batch::ConvertSingle, name, true, suffix, status);
}

void SelectFormat(SingleFileHost& host, int index, const QString& code) {
    const QStringList formats = host.fileFormats();
    host.setFormatIndex(index, StrProc::FindInList(formats, static_cast<int>(formats.size()), code) + 1);
}

void Convert(SingleFileHost& host, frmConvertSingleFile& dialog, const QString& path) {
    RunState& state = host.runState();
    state.blnViewInBrowser = dialog.chkViewInBrowser->isChecked();

    // The file is read under its real name; the names the program creates are lower case.
    const QString name = FileProc::GetFileName(path);
    state.strInputFormat = FileProc::GetFileExtension(name).toUpper();
    SelectFormat(host, 0, state.strInputFormat);

    const QString folder = FileProc::GetFolderPart(path);
    host.setFolderText(0, folder);
    host.setFolderText(1, folder);
    host.clearReport();

    host.setBusyLook(true, true);
    state.blnWarnOnOverwrite = dialog.chkWarnOnOverwrite->isChecked();
    host.repaintNow();

    int status = 0;
    if (dialog.chkBMP->isChecked()) {
        SelectFormat(host, 1, QStringLiteral("BMP"));
        ConvertTo(host, QStringLiteral("BMP"), name, QString(), status);
    }
    if (dialog.chkPNG->isChecked() && status != -1 && !host.quitRequested()) {
        SelectFormat(host, 1, QStringLiteral("PNG"));
        ConvertTo(host, QStringLiteral("PNG"), name, QString(), status);
    }
    if (dialog.chkJPG->isChecked() && status != -1 && !host.quitRequested()) {
        SelectFormat(host, 1, QStringLiteral("JPG"));
        qint16 from = 0, to = 0, step = 0;
        host.qualityRange(from, to, step);
        const bool oneValue = step > 0 ? from + step > to : from + step < to;
        if (oneValue || step == 0) {
            state.intQuality = from;
            ConvertTo(host, QStringLiteral("JPG"), name, QString(), status);
        } else {
            // Every quality of the range is attempted, whatever the previous one gave.
            for (int quality = from; step > 0 ? quality <= to : quality >= to; quality += step) {
                if (host.quitRequested()) {
                    break;
                }
                state.intQuality = static_cast<qint16>(quality);
                ConvertTo(host, QStringLiteral("JPG"), name, QString::number(quality), status);
            }
        }
    }
}

void ForgetViewerPage(RunState& state) {
    state.blnViewInBrowser = false;
    state.blnViewerFileOpen = false;
    state.blnViewerHasEntries = false;
    state.blnSourceImageShown = false;
}

}  // namespace

void cmdConvertSingleFile_Click(SingleFileHost& host) {
    if (Batch::OperationRunning(host)) {
        return;
    }
    ForgetViewerPage(host.runState());
    const QString chosen =
        Prompt::OpenFileName({QStringLiteral("Specify file to be converted"), kImageFilter, QString()});
    if (chosen.isEmpty()) {
        host.FocusNextStep();
        return;
    }
    ConvertChosenFile(host, chosen);
}

void ConvertChosenFile(SingleFileHost& host, const QString& chosenPath) {
    if (Batch::OperationRunning(host)) {
        return;
    }
    ForgetViewerPage(host.runState());

    const QString path = FileProc::NormaliseDriveLetter(chosenPath);
    frmConvertSingleFile& dialog = host.convertSingleFileDialog();
    dialog.strFilepath = path;
    dialog.txbFile->setText(path);
    Prompt::ExecDialog(dialog);
    if (!dialog.blnAccept) {
        host.FocusNextStep();
        return;
    }

    {
        Batch::OperationScope running(host);
        try {
            Convert(host, dialog, path);
        } catch (const RunTimeError& error) {
            // A file that vanished or a missing library ends the operation like a batch.
            host.hideConvertingLabel();
            Prompt::MsgBox(error.description(), Prompt::Buttons::Ok, Prompt::Icon::Information,
                           QStringLiteral("Error"));
        }
        host.setBusyLook(false, true);
        Batch::FinishViewerPage(host);
    }
    if (!host.quitRequested()) {
        host.FocusNextStep();
    }
}

}  // namespace SingleFile
