#include "single/SingleFileOperation.h"

#include "batch/AheadScheduler.h"
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

// One conversion of the series: its target format, quality suffix and quality.
struct Target {
    QString code;
    QString suffix;
    qint16 quality;
};

// The series in the order it is converted: BMP, PNG, then every JPG quality of the range
// (one without a suffix when the range holds one value).
QList<Target> Series(SingleFileHost& host, const frmConvertSingleFile& dialog) {
    const qint16 quality = host.runState().intQuality;
    QList<Target> series;
    if (dialog.chkBMP->isChecked()) {
        series.append({QStringLiteral("BMP"), QString(), quality});
    }
    if (dialog.chkPNG->isChecked()) {
        series.append({QStringLiteral("PNG"), QString(), quality});
    }
    if (dialog.chkJPG->isChecked()) {
        qint16 from = 0, to = 0, step = 0;
        host.qualityRange(from, to, step);
        const bool oneValue = step > 0 ? from + step > to : from + step < to;
        if (oneValue || step == 0) {
            series.append({QStringLiteral("JPG"), QString(), from});
        } else {
            for (int q = from; step > 0 ? q <= to : q >= to; q += step) {
                series.append({QStringLiteral("JPG"), QString::number(q), static_cast<qint16>(q)});
            }
        }
    }
    return series;
}

// Converts to one target of the series, the `turn`th; `status` becomes that of ProcessFile.
void ConvertTo(SingleFileHost& host, Batch::AheadScheduler& ahead, const QList<Target>& series, int& turn,
               const QString& name, int& status) {
    const Target& target = series[turn];
    RunState& state = host.runState();
    state.strOutputFormat = target.code;
    state.intQuality = target.quality;
    ahead.beginTurn(turn);
    Batch::ProcessFile(host, Batch::ConvertSingle, name, true, target.suffix, status);
    host.setProgress(++turn, static_cast<int>(series.size()));
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

    const QList<Target> series = Series(host, dialog);
    QList<Batch::PlannedConversion> plan;
    for (const Target& target : series) {
        plan.append(
            {folder + name, folder + FileProc::OutputFileName(name, target.code, target.suffix), target.quality});
    }
    host.setProgress(0, static_cast<int>(series.size()));
    Batch::AheadScheduler ahead(host, plan);
    int turn = 0;
    int status = 0;
    if (dialog.chkBMP->isChecked()) {
        SelectFormat(host, 1, QStringLiteral("BMP"));
        ConvertTo(host, ahead, series, turn, name, status);
    }
    if (dialog.chkPNG->isChecked() && status != -1 && !host.quitRequested()) {
        SelectFormat(host, 1, QStringLiteral("PNG"));
        ConvertTo(host, ahead, series, turn, name, status);
    }
    if (dialog.chkJPG->isChecked() && status != -1 && !host.quitRequested()) {
        SelectFormat(host, 1, QStringLiteral("JPG"));
        // Every quality of the range is attempted, whatever the previous one gave.
        while (turn < series.size() && !host.quitRequested()) {
            ConvertTo(host, ahead, series, turn, name, status);
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
