#pragma once

#include "batch/Batch.h"
#include "fs/StrProc.h"
#include "tests/support/ScriptedPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

// A main window reduced to what a run reads and changes: the report as a text, the busy look,
// scripted "File exists" answers and the pages handed to the browser.
class FakeHost : public BatchHost {
public:
    RunState state;
    QString folders[2];
    QString formats[2] = {"BMP", "PNG"};  // "Select" when none is chosen
    QString quality = "80";
    bool viewInBrowser = false;
    bool quit = false;

    QString report;
    bool labelVisible = false;    // the progress line
    bool busy = false;            // Stop shown, the documentation link hidden
    bool conversionBusy = false;  // "Convert single file" and the hint line hidden
    QList<Control> focusMoves;
    QList<TargetFileExistsAnswer> fileExistsAnswers;  // one for each dialog in turn; then "skip"
    QStringList fileExistsAsked;
    QStringList filesOpened;
    QList<QPair<int, int>> progress;                   // the bar's values, done of total
    std::function<void(const QString&)> onConverting;  // plays the user when the progress line shows

    bool idle() const { return !busy && !conversionBusy && !labelVisible && !state.blnOperationRunning; }

    RunState& runState() override { return state; }
    QString folderText(int index) const override { return folders[index]; }
    int formatIndex(int index) const override { return formats[index] == "Select" ? 0 : 1; }
    QString formatText(int index) const override { return formats[index]; }
    QString qualityText() const override { return quality; }
    void setQualityText(const QString& text) override { quality = text; }
    qint16 minQuality() const override { return 10; }
    qint16 maxQuality() const override { return 100; }
    bool warnOnOverwriteChecked() const override { return true; }
    bool viewInBrowserChecked() const override { return viewInBrowser; }
    void setFocusTo(Control control) override { focusMoves << control; }
    void appendReport(const QString& text) override { report += text; }
    bool reportIsEmpty() const override { return report.isEmpty(); }
    void clearReport() override { report.clear(); }
    void moveReportCaretToEnd() override {}
    void showConvertingLabel(const QString& text) override {
        labelVisible = true;
        if (onConverting) {
            onConverting(text);
        }
    }
    void hideConvertingLabel() override { labelVisible = false; }
    void setBusyLook(bool on, bool conversion) override {
        busy = on;
        conversionBusy = conversion ? on : conversionBusy;
    }
    void setProgress(int done, int total) override { progress.append({done, total}); }
    void repaintNow() override {}
    void yield() override { QCoreApplication::processEvents(); }
    bool quitRequested() const override { return quit; }
    TargetFileExistsAnswer askTargetFileExists(const QString& entryFilepath, bool) override {
        fileExistsAsked << entryFilepath;
        return fileExistsAnswers.value(fileExistsAsked.size() - 1);
    }
    bool openFile(const QString& path, bool) override {
        filesOpened << path;
        return true;
    }
};

// An input and an output folder in a temporary directory, chosen in the host.
class BatchFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.folders[0] = inFolder;
        host.folders[1] = outFolder;
        ASSERT_TRUE(QDir().mkpath(inFolder) && QDir().mkpath(outFolder));
    }
    void TearDown() override {
        Batch::SetConverter({});
        Batch::SetConversionSlots(0);
    }

    // "Convert files", expecting the box that closes the run.
    void convert(const QString& text, const QString& title) {
        prompts.expectMsgBox(text, Buttons::Ok, Icon::None, title);
        Batch::cmdConvertFiles_Click(host);
    }

    static QString sizeText(const QString& path) { return Batch::SizeText(QFileInfo(path).size()); }
    // The files of `folder` in the order of a run (name order, which Listing tests on its own).
    static QStringList listed(const QString& folder) {
        QStringList names;
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden); it.hasNext();) {
            names << it.nextFileInfo().fileName();
        }
        std::sort(names.begin(), names.end(), StrProc::NameOrderLess);
        return names;
    }
    // The lines `line` makes of the files in `folder` that end in `suffix`, in the order of a run.
    static QString linesFor(const QString& folder, const QString& suffix,
                            const std::function<QString(const QString&)>& line) {
        QString text;
        for (const QString& name : listed(folder)) {
            text += name.endsWith(suffix, Qt::CaseInsensitive) ? line(name) : QString();
        }
        return text;
    }

    QTemporaryDir m_dir;
    QString inFolder = nativeFolder(m_dir.filePath("in")), outFolder = nativeFolder(m_dir.filePath("out"));
    FakeHost host;
    ScriptedPrompts prompts;  // any message box not expected fails the test
};
