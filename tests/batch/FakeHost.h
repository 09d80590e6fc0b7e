#pragma once

#include "batch/BatchHost.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStringList>
#include <deque>
#include <functional>

// A main window reduced to what the batch reads and writes: the report as a text,
// the visibility of the controls a run changes, scripted "File exists" answers,
// and a yield() that can play the user (click "Stop", delete a file, quit).
class FakeHost : public BatchHost {
public:
    RunState state;
    QString folders[2];
    int formats[2] = {0, 0};  // list indexes: 0 "Select", 1 BMP, 2 PNG, 3 JPG, 4 GIF
    QString quality = QStringLiteral("80");
    bool warnOnOverwrite = true;
    bool viewInBrowser = false;

    QString report;
    QList<Control> focusMoves;
    QString convertingLabel;
    bool convertingLabelVisible = false;
    QStringList convertingLabelsShown;
    bool stopVisible = false;
    bool linkVisible = true;
    bool convertSingleFileVisible = true;
    bool topLineVisible = true;
    int repaints = 0;
    int yields = 0;
    bool quit = false;

    // Called by yield() after the window's events were handled, with the number of the yield.
    std::function<void(FakeHost&, int)> onYield;

    std::deque<TargetFileExistsAnswer> fileExistsAnswers;
    QStringList fileExistsAsked;
    QList<bool> fileExistsSingle;

    QStringList filesOpened;

    static QString formatName(int index) {
        static const char* names[] = {"Select", "BMP", "PNG", "JPG", "GIF"};
        return QString::fromLatin1(names[index]);
    }
    static int formatIndexOf(const QString& code) {
        for (int i = 1; i <= 4; ++i) {
            if (formatName(i) == code) {
                return i;
            }
        }
        return 0;
    }
    // Input and output folders and formats of a batch.
    void setUp(const QString& inFolder, const QString& inFormat, const QString& outFolder, const QString& outFormat) {
        folders[0] = inFolder;
        folders[1] = outFolder;
        formats[0] = formatIndexOf(inFormat);
        formats[1] = formatIndexOf(outFormat);
    }
    bool idleLook() const { return !stopVisible && linkVisible && convertSingleFileVisible && topLineVisible; }

    RunState& runState() override { return state; }
    QString folderText(int index) const override { return folders[index]; }
    int formatIndex(int index) const override { return formats[index]; }
    QString formatText(int index) const override { return formatName(formats[index]); }
    QString qualityText() const override { return quality; }
    void setQualityText(const QString& text) override { quality = text; }
    qint16 minQuality() const override { return 10; }
    qint16 maxQuality() const override { return 100; }
    bool warnOnOverwriteChecked() const override { return warnOnOverwrite; }
    bool viewInBrowserChecked() const override { return viewInBrowser; }
    void setFocusTo(Control control) override { focusMoves << control; }
    void appendReport(const QString& text) override { report += text; }
    bool reportIsEmpty() const override { return report.isEmpty(); }
    void clearReport() override { report.clear(); }
    void moveReportCaretToEnd() override {}
    void showConvertingLabel(const QString& text) override {
        convertingLabel = text;
        convertingLabelVisible = true;
        convertingLabelsShown << text;
    }
    void hideConvertingLabel() override { convertingLabelVisible = false; }
    void setBusyLook(bool busy, bool conversion) override {
        stopVisible = busy;
        linkVisible = !busy;
        if (conversion) {
            convertSingleFileVisible = !busy;
            topLineVisible = !busy;
        }
    }
    void repaintNow() override { ++repaints; }
    void yield() override {
        ++yields;
        QCoreApplication::processEvents();
        if (onYield) {
            onYield(*this, yields);
        }
    }
    bool quitRequested() const override { return quit; }
    TargetFileExistsAnswer askTargetFileExists(const QString& entryFilepath, bool singleFileOperation) override {
        fileExistsAsked << entryFilepath;
        fileExistsSingle << singleFileOperation;
        if (fileExistsAnswers.empty()) {
            ADD_FAILURE() << "unexpected File exists dialog for " << entryFilepath.toStdString();
            return {};
        }
        TargetFileExistsAnswer answer = fileExistsAnswers.front();
        fileExistsAnswers.pop_front();
        return answer;
    }
    bool openFile(const QString& path, bool showError) override {
        EXPECT_TRUE(showError);
        filesOpened << path;
        return true;
    }

    static TargetFileExistsAnswer overwrite(const QString& path) { return {false, false, path}; }
    static TargetFileExistsAnswer newName(const QString& path) { return {false, false, path}; }
    static TargetFileExistsAnswer skipThisFile() { return {true, false, QString()}; }
    static TargetFileExistsAnswer cancelAllFiles() { return {true, true, QString()}; }
};
