// The checks of "Convert files" and "List" before a run starts.
#include "tests/batch/BatchFixture.h"

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;
using Control = BatchHost::Control;

class ConvertFilesChecks : public BatchFixture {};

TEST_F(ConvertFilesChecks, EachMissingSettingAsksForItAndMovesTheFocus) {
    struct Case {
        QString inFolder, outFolder;
        int inFormat, outFormat;
        const char* message;
        Control focus;
    };
    const QList<Case> cases = {
        {"", "", 0, 0, "Please specify the folder for the input images.", Control::FolderForImages0},
        {inFolder, "", 1, 2, "Please specify the folder for the output images.", Control::FolderForImages1},
        {inFolder, outFolder, 0, 2, "Please specify the file format for the input images.", Control::FolderForImages0},
        {inFolder, outFolder, 1, 0, "Please specify the file format for the output images.", Control::FolderForImages1},
    };
    writeImage(inFolder + "a.bmp", "BMP");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeHost host;
        host.folders[0] = c.inFolder;
        host.folders[1] = c.outFolder;
        host.formats[0] = c.inFormat;
        host.formats[1] = c.outFormat;
        TestSupport::ScriptedPrompts prompts;
        prompts.expectMsgBox(c.message, Buttons::Ok, Icon::None, "Need more input");
        Batch::cmdConvertFiles_Click(host);
        EXPECT_EQ(host.focusMoves, QList<Control>{c.focus});
        EXPECT_TRUE(host.report.isEmpty());
        EXPECT_FALSE(host.state.blnOperationRunning);
    }
    EXPECT_TRUE(sortedEntries(outFolder).isEmpty());
}

TEST_F(ConvertFilesChecks, QualityOutOfRangeAndEqualFormatsGiveBothMessagesQualityFirst) {
    writeImage(inFolder + "a.jpg", "JPG");
    host.setUp(inFolder, "JPG", outFolder, "JPG");
    host.quality = QStringLiteral(" 5 %");
    TestSupport::ScriptedPrompts prompts;
    prompts
        .expectMsgBox("For conversion to JPG the quality must be in the range 10 through 100.", Buttons::Ok, Icon::None,
                      "Input error")
        .expectMsgBox("The output file format must be different from the input file format.", Buttons::Ok,
                      Icon::Exclamation, "Input error");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_EQ(host.quality, "5") << "the cleaned text goes back into the box";
    EXPECT_TRUE(host.report.isEmpty());
    EXPECT_TRUE(sortedEntries(outFolder).isEmpty());
}

TEST_F(ConvertFilesChecks, QualityBoundsAndValuesBeyondSixteenBits) {
    // Inputs in BMP and an empty input folder: a run that starts ends at "No files".
    host.setUp(inFolder, "BMP", outFolder, "JPG");
    const QString rangeMessage = "For conversion to JPG the quality must be in the range 10 through 100.";
    struct Case {
        QString typed, cleaned;
        bool accepted;
        qint16 quality;
    };
    const QList<Case> cases = {{"10", "10", true, 10},       {"100", "100", true, 100},
                               {"9", "9", false, 0},         {"101", "101", false, 0},
                               {"+0080", "+0080", true, 80}, {"", "", false, 0},
                               {"32768", "32768", false, 0}, {"99999999999", "99999999999", false, 0},
                               {"7a5.", "75", true, 75}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        host.quality = c.typed;
        TestSupport::ScriptedPrompts prompts;
        if (c.accepted) {
            prompts.expectMsgBox("There are no BMP files in the input folder.", Buttons::Ok, Icon::Exclamation,
                                 "No files");
        } else {
            prompts.expectMsgBox(rangeMessage, Buttons::Ok, Icon::None, "Input error");
        }
        Batch::cmdConvertFiles_Click(host);
        EXPECT_EQ(host.quality, c.cleaned);
        if (c.accepted) {
            EXPECT_EQ(host.state.intQuality, c.quality);
        }
    }
}

class ListChecks : public BatchFixture {};

TEST_F(ListChecks, MissingFolderOrDecliningToListAllFilesListsNothing) {
    for (int index : {0, 1}) {
        FakeHost host;
        TestSupport::ScriptedPrompts prompts;
        prompts.expectMsgBox(
            index == 0 ? "Please specify folder for input images." : "Please specify folder for output images.",
            Buttons::Ok, Icon::None, "Need more input");
        Batch::cmdList_Click(host, index);
        EXPECT_EQ(host.focusMoves, QList<Control>{index == 0 ? Control::FolderForImages0 : Control::FolderForImages1});
    }
    writeImage(outFolder + "a.png", "PNG");
    host.setUp(inFolder, "BMP", outFolder, "Select");
    host.report = "old\r\n";
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("List all files in the output folder?", Buttons::YesNo, Icon::None, "List all files?",
                         Answer::No);
    Batch::cmdList_Click(host, 1);
    EXPECT_EQ(host.focusMoves, QList<Control>{Control::FolderForImages1});
    EXPECT_EQ(host.report, "old\r\n");
}
