// Folder listings, and what they share with a batch: the "No files" messages, the
// separator question, "Stop", run-time errors and the busy look.
#include "tests/batch/BatchFixture.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;

class Listing : public BatchFixture {};

TEST_F(Listing, InputFolderListsMatchingFilesWithGroupedSizesInFolderOrder) {
    writeImage(inFolder + "Photo1.BMP", "BMP", 400, 300);  // over a thousand bytes
    writeImage(inFolder + "photo2.bmp", "BMP", 2, 2);
    writeImage(inFolder + "other.png", "PNG");
    QDir(inFolder).mkdir("sub.bmp");  // a folder, not a file
    host.setUp(inFolder, "BMP", outFolder, "Select");
    TestSupport::ScriptedPrompts prompts;
    Batch::cmdList_Click(host, 0);

    QString expected;
    for (const QString& name : listed(inFolder)) {
        if (name.endsWith(".bmp", Qt::CaseInsensitive)) {
            expected += name.toLower() + "  " + sizeText(inFolder + name) + "\r\n";
        }
    }
    expected += "\r\nNumber of BMP files in the input folder: 2\r\n";
    EXPECT_TEXT(host.report, expected);
    EXPECT_EQ(host.state.strInputFormat, "BMP");
    EXPECT_EQ(host.state.strOutputFormat, "*");
    EXPECT_TRUE(host.idleLook());
    EXPECT_FALSE(host.state.blnOperationRunning);
    EXPECT_FALSE(QFileInfo::exists(inFolder + "viewer01.htm"));
}

TEST_F(Listing, OutputFolderListsNamesOnly) {
    writeImage(outFolder + "B.PNG", "PNG");
    writeImage(outFolder + "a.png", "PNG");
    writeImage(outFolder + "c.bmp", "BMP");
    host.setUp(inFolder, "Select", outFolder, "PNG");
    TestSupport::ScriptedPrompts prompts;
    Batch::cmdList_Click(host, 1);
    QString expected;
    for (const QString& name : listed(outFolder)) {
        if (name.endsWith(".png", Qt::CaseInsensitive)) {
            expected += name.toLower() + "\r\n";
        }
    }
    EXPECT_TEXT(host.report, expected + "\r\nNumber of PNG files in the output folder: 2\r\n");
}

TEST_F(Listing, SelectInBothListsListsEveryFileAfterTheQuestion) {
    writeImage(inFolder + "a.bmp", "BMP");
    writeBytes(inFolder + "README", "hello");
    writeBytes(inFolder + ".hidden.txt", "");
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("List all files in the input folder?", Buttons::YesNo, Icon::None, "List all files?",
                         Answer::Yes);
    host.setUp(inFolder, "Select", outFolder, "Select");
    Batch::cmdList_Click(host, 0);
    QString expected;
    for (const QString& name : listed(inFolder)) {
        expected += name.toLower() + "  " + sizeText(inFolder + name) + "\r\n";
    }
    EXPECT_TEXT(host.report, expected + "\r\nNumber of files in the input folder: 3\r\n");
    EXPECT_TRUE(host.report.contains("readme  5 bytes\r\n"));
    EXPECT_TRUE(host.report.contains(".hidden.txt  0 bytes\r\n"));
    EXPECT_EQ(host.state.strInputFormat, "*");
    EXPECT_EQ(host.state.strOutputFormat, "*");
}

// Listings and a batch share the "No files" messages.
TEST_F(Listing, NoFilesMessagesNameTheFormatAndSideAndChangeNothing) {
    writeImage(inFolder + "a.png", "PNG");
    struct Case {
        int index;  // 2: "Convert files"
        const char* inFormat;
        const char* outFormat;
        const char* message;
    };
    const QList<Case> cases = {
        {0, "BMP", "PNG", "There are no BMP files in the input folder."},
        {1, "BMP", "JPG", "There are no JPG files in the output folder."},
        {1, "BMP", "Select", "There are no files in the output folder."},
        {2, "BMP", "PNG", "There are no BMP files in the input folder."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeHost host;
        host.setUp(inFolder, c.inFormat, outFolder, c.outFormat);
        host.viewInBrowser = true;
        host.report = "kept\r\n";
        TestSupport::ScriptedPrompts prompts;
        if (QString(c.outFormat) == "Select") {
            prompts.expectMsgBox("List all files in the output folder?", Buttons::YesNo, Icon::None, "List all files?",
                                 Answer::Yes);
        }
        // No question about the report.
        prompts.expectMsgBox(c.message, Buttons::Ok, Icon::Exclamation, "No files");
        if (c.index == 2) {
            Batch::cmdConvertFiles_Click(host);
        } else {
            Batch::cmdList_Click(host, c.index);
        }
        EXPECT_EQ(host.report, "kept\r\n");
        EXPECT_TRUE(host.idleLook());
        EXPECT_EQ(sortedEntries(inFolder), QStringList{"a.png"}) << "no viewer page";
        EXPECT_TRUE(host.filesOpened.isEmpty());
    }
}

TEST_F(Listing, ClearReportQuestionYesEmptiesNoDrawsASeparator) {
    writeImage(inFolder + "a.bmp", "BMP", 2, 2);
    const QString line =
        "a.bmp  " + sizeText(inFolder + "a.bmp") + "\r\n\r\nNumber of BMP files in the input folder: 1\r\n";
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    {
        TestSupport::ScriptedPrompts prompts;
        Batch::cmdList_Click(host, 0);  // empty report: no question
        EXPECT_TEXT(host.report, line);
    }
    {
        TestSupport::ScriptedPrompts prompts;
        prompts.expectMsgBox("Clear report window first?", Buttons::YesNo, Icon::None, "", Answer::No);
        Batch::cmdList_Click(host, 0);
        EXPECT_TEXT(host.report, line + "\r\n--------------------\r\n" + line);
    }
    {
        TestSupport::ScriptedPrompts prompts;
        prompts.expectMsgBox("Clear report window first?", Buttons::YesNo, Icon::None, "", Answer::Yes);
        Batch::cmdList_Click(host, 0);
        EXPECT_TEXT(host.report, line);
    }
}

TEST_F(Listing, StopEndsTheListingAfterTheCurrentFileButTheCountIsTheFirstPass) {
    for (int i = 0; i < 4; ++i) {
        writeImage(outFolder + QString("p%1.png").arg(i), "PNG");
    }
    host.setUp(inFolder, "Select", outFolder, "PNG");
    bool stopShownWhileRunning = false;
    host.onYield = [&](FakeHost& h, int n) {
        if (n == 2) {
            stopShownWhileRunning = h.stopVisible && !h.linkVisible && h.convertSingleFileVisible;
            Batch::cmdStop_Click(h);
        }
    };
    TestSupport::ScriptedPrompts prompts;
    Batch::cmdList_Click(host, 1);
    const QStringList names = listed(outFolder);
    EXPECT_TEXT(host.report, names[0] + "\r\n" + names[1] +
                                 "\r\nOperation stopped.\r\n\r\nNumber of PNG files in the output folder: 4\r\n");
    EXPECT_TRUE(stopShownWhileRunning) << "a listing shows Stop and hides only the link";
    EXPECT_TRUE(host.idleLook());
}

TEST_F(Listing, CountsBeyondSixteenBits) {
    const int count = 32770;
    const QString first = outFolder + "f0.png";
    writeBytes(first, QByteArray());
    for (int i = 1; i < count; ++i) {
        const QString path = outFolder + QString("f%1.png").arg(i);
#ifdef Q_OS_UNIX
        // Links to one empty file make the folder far faster than as many new files.
        ASSERT_EQ(::link(QFile::encodeName(first).constData(), QFile::encodeName(path).constData()), 0);
#else
        ASSERT_TRUE(QFile::copy(first, path));
#endif
    }
    host.setUp(inFolder, "Select", outFolder, "PNG");
    TestSupport::ScriptedPrompts prompts;
    Batch::cmdList_Click(host, 1);
    EXPECT_TRUE(host.report.endsWith("\r\nNumber of PNG files in the output folder: 32770\r\n"))
        << shown(host.report.right(200));
    EXPECT_EQ(host.report.count("\r\n"), count + 2);
}

TEST_F(Listing, FolderThatIsGoneIsARunTimeError) {
    host.setUp(inFolder + "gone/", "BMP", outFolder, "PNG");
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Path not found: " + inFolder + "gone/", Buttons::Ok, Icon::Information, "Error");
    Batch::cmdList_Click(host, 0);
    EXPECT_TRUE(host.report.isEmpty());
    EXPECT_TRUE(host.idleLook());
}
