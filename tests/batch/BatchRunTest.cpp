// Batch runs over real folders with the real conversion library.
#include "batch/ViewerPage.h"
#include "engine/Grafix.h"
#include "fs/FileProc.h"
#include "platform/RunTimeError.h"
#include "tests/batch/BatchFixture.h"

#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <memory>

namespace {

QString pngName(const QString& bmpName) {
    return bmpName.toLower().chopped(3) + "png";
}

QString convertedLine(const QString& bmpName) {
    return bmpName.toLower() + " -> " + pngName(bmpName) + " [OK]\r\n";
}

// Plays the user on the window's thread while the library works on its worker; false when the
// window did not get to it within five seconds.
bool actDuringCall(std::function<void()> act) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        qApp,
        [act, done] {
            act();
            *done = true;
        },
        Qt::QueuedConnection);
    for (QDeadlineTimer deadline(5000); !*done && !deadline.hasExpired();) {
        QThread::msleep(2);
    }
    return *done;
}

}  // namespace

class BatchRun : public BatchFixture {};

TEST_F(BatchRun, ConvertsEveryMatchingFileAndShowsEachOnANewViewerPage) {
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(writeBytes(inFolder + QString("viewer0%1.htm").arg(i), "older"));
    }
    ASSERT_TRUE(writePicture(inFolder + "Photo.BMP", "BMP", 400, 300));
    ASSERT_TRUE(writePicture(inFolder + "b.bmp", "BMP"));
    ASSERT_TRUE(writePicture(inFolder + "x.png", "PNG"));
    host.viewInBrowser = true;
    convert("Number of BMP files converted: 2 (of 2 input)", "All files converted.");

    // Next to the input files, in the folder as the program spells it (lower case on Windows).
    const QString page = FileProc::GetFolderPart(inFolder) + "viewer06.htm";
    EXPECT_EQ(host.report, linesFor(inFolder, ".bmp", convertedLine) +
                               "\r\nNumber of BMP files converted: 2 (of 2 input)\r\nViewer file: " + page + "\r\n");
    const QString entries = linesFor(inFolder, ".bmp", [&](const QString& name) {
        const QString output = outFolder + pngName(name);
        return inFolder + name + ", " + sizeText(inFolder + name) + "<BR>\r\n<IMG SRC=\"" + name +
               "\" BORDER=\"1\"><P>\r\n\r\n" + output + ", " + sizeText(output) + " (from " + name +
               ")<BR>\r\n<IMG SRC=\"" + ViewerPage::fileUrl(output) + "\" BORDER=\"1\"><P>\r\n\r\n";
    });
    EXPECT_EQ(readBytes(page),
              ("<HTML><HEAD><TITLE>\r\n" + page +
               "\r\n</TITLE></HEAD>\r\n\r\n<BODY BGCOLOR=\"#000000\" TEXT=\"#FFFFFF\"><CENTER>\r\n\r\n" + entries +
               "</CENTER></BODY></HTML>\r\n\r\n")
                  .toLocal8Bit());
    EXPECT_EQ(host.filesOpened, QStringList{page});
    EXPECT_EQ(readBytes(inFolder + "viewer05.htm"), "older");
    EXPECT_TRUE(host.idle());
}

TEST_F(BatchRun, ExistingResultsAreTreatedAsTheFileExistsDialogAnswers) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        ASSERT_TRUE(writePicture(inFolder + name, "BMP"));
        ASSERT_TRUE(writeBytes(outFolder + pngName(name), "old"));
    }
    const QStringList names = listed(inFolder);
    const auto existing = [&](int i) { return outFolder + pngName(names[i]); };
    // Overwrite, a new name, skip this file.
    host.fileExistsAnswers = {
        {false, false, existing(0)}, {false, false, outFolder + "renamed.png"}, {true, false, {}}};
    convert("Number of BMP files converted: 2 (of 3 input)", "Not all files converted.");
    EXPECT_EQ(host.report, convertedLine(names[0]) + names[1] + " -> renamed.png [OK]\r\n" + names[2] +
                               " -- Existing PNG file not overwritten.\r\n\r\n"
                               "\r\nNumber of BMP files converted: 2 (of 3 input)\r\n");
    EXPECT_EQ(host.fileExistsAsked, QStringList({existing(0), existing(1), existing(2)}));
    EXPECT_FALSE(QImage(existing(0)).isNull() || QImage(outFolder + "renamed.png").isNull());
    EXPECT_TRUE(readBytes(existing(1)) == "old" && readBytes(existing(2)) == "old");

    // "Cancel all files" ends the run at its first file, before a viewer page is made.
    host.viewInBrowser = true;
    host.fileExistsAsked.clear();
    host.fileExistsAnswers = {{true, true, {}}};
    prompts.expectMsgBox("Clear report window first?", Buttons::YesNo, Icon::None, "", Answer::Yes);
    convert("Number of BMP files converted: 0 (of 3 input)", "Not all files converted.");
    EXPECT_EQ(host.report, names[0] +
                               " -- Existing PNG file not overwritten.\r\n\r\nOperation cancelled.\r\n\r\n"
                               "\r\nNumber of BMP files converted: 0 (of 3 input)\r\n");
    EXPECT_EQ(sortedEntries(inFolder), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
}

TEST_F(BatchRun, StopDuringTheSecondOfFiveFilesLetsThatFileFinishAndOtherButtonsWait) {
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(writePicture(inFolder + QString("p%1.bmp").arg(i), "BMP"));
    }
    const QStringList names = listed(inFolder);
    bool clicked = false;
    bool busyLook = false;
    Batch::SetConverter([&](const QString& in, const QString& out, qint16 quality, int& kind) {
        if (in.endsWith(names[1])) {
            // Were "Convert files" or "List" not ignored, they would ask about the report.
            clicked = actDuringCall([&] {
                busyLook = host.busy && host.conversionBusy && host.labelVisible;
                Batch::cmdStop_Click(host);
                Batch::cmdConvertFiles_Click(host);
                Batch::cmdList_Click(host, 0);
            });
        }
        return Grafix::ConvertGraphicsFile(in, out, quality, kind);
    });
    convert("Not all files converted.  Operation stopped.", "Not all files converted.");
    EXPECT_TRUE(clicked) << "the window handles clicks while the library works";
    EXPECT_TRUE(busyLook);
    EXPECT_EQ(host.report, convertedLine(names[0]) + convertedLine(names[1]) +
                               "Operation stopped.\r\n\r\nNumber of BMP files converted: 2 (of 5 input)\r\n");
    EXPECT_TRUE(host.idle());
}

TEST_F(BatchRun, AFailedConversionIsReportedAndOnlyAnUnwritableFormatEndsTheBatch) {
    ASSERT_TRUE(writePicture(inFolder + "a.bmp", "BMP"));
    ASSERT_TRUE(writePicture(inFolder + "broken.bmp", "BMP", 40, 30));
    // Cut short in its header.
    ASSERT_TRUE(writeBytes(inFolder + "broken.bmp", readBytes(inFolder + "broken.bmp").left(30)));
    ASSERT_TRUE(writePicture(inFolder + "c.bmp", "BMP"));
    const QStringList names = listed(inFolder);
    int kind = 0;
    const QString message =
        Grafix::ConvertGraphicsFile(inFolder + "broken.bmp", native(m_dir.filePath("x.png")), 80, kind);
    convert("Number of BMP files converted: 2 (of 3 input)", "Not all files converted.");
    const QString expected = linesFor(inFolder, "", [&](const QString& name) {
        return name == "broken.bmp" ? name + "\r\n*** Read error: " + message + "\r\n\r\n" : convertedLine(name);
    });
    EXPECT_EQ(host.report, expected + "\r\nNumber of BMP files converted: 2 (of 3 input)\r\n");
    EXPECT_EQ(sortedEntries(outFolder), QStringList({"a.png", "c.png"}));

    host.formats[1] = "GIF";
    prompts.expectMsgBox("Clear report window first?", Buttons::YesNo, Icon::None, "", Answer::Yes);
    convert("Number of BMP files converted: 0 (of 3 input)", "Not all files converted.");
    EXPECT_EQ(host.report, names[0] +
                               "\r\n*** Write error: Output file format not supported.\r\n\r\n"
                               "\r\nNumber of BMP files converted: 0 (of 3 input)\r\n");
}

TEST_F(BatchRun, AMissingLibraryEndsTheRunWithAnErrorBoxAndRemovesTheEmptyPage) {
    ASSERT_TRUE(writePicture(inFolder + "a.bmp", "BMP"));
    ASSERT_TRUE(writePicture(inFolder + "b.bmp", "BMP"));
    const QString description = "libtessaplex.so: cannot open shared object file: No such file or directory";
    Batch::SetConverter(
        [&](const QString&, const QString&, qint16, int&) -> QString { throw RunTimeError(description); });
    host.viewInBrowser = true;
    prompts.expectMsgBox(description, Buttons::Ok, Icon::Information, "Error");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_EQ(host.report, listed(inFolder)[0]);
    EXPECT_TRUE(host.idle());
    EXPECT_EQ(sortedEntries(inFolder), QStringList({"a.bmp", "b.bmp"})) << "the page got no entry";
    EXPECT_TRUE(host.filesOpened.isEmpty());
}

TEST_F(BatchRun, QuittingDuringAConversionWaitsForItAndLeavesNoTemporaryFile) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        ASSERT_TRUE(writePicture(inFolder + name, "BMP", 300, 200));
    }
    const QStringList names = listed(inFolder);
    std::atomic<bool> finished{false};
    Batch::SetConverter([&](const QString& in, const QString& out, qint16 quality, int& kind) {
        actDuringCall([&] { host.quit = true; });
        const QString message = Grafix::ConvertGraphicsFile(in, out, quality, kind);
        QThread::msleep(200);  // still at work when the window has noticed the quit
        finished = true;
        return message;
    });
    host.viewInBrowser = true;
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TRUE(finished) << "the conversion under way was waited for";
    EXPECT_EQ(host.report, names[0]);
    EXPECT_EQ(sortedEntries(outFolder), QStringList{pngName(names[0])});
    EXPECT_EQ(sortedEntries(inFolder), QStringList({"a.bmp", "b.bmp", "c.bmp"})) << "the empty page is removed";
}
