// What "Convert files" and "List" check before a run starts.
#include "tests/batch/BatchFixture.h"

class Checks : public BatchFixture {};

TEST_F(Checks, QualityMustLieWithinItsBoundsAndFormatsMustDiffer) {
    const QString rangeMessage = "For conversion to JPG the quality must be in the range 10 through 100.";
    ASSERT_TRUE(writePicture(inFolder + "a.jpg", "JPG"));
    host.formats[0] = host.formats[1] = "JPG";
    host.quality = " 5 %";
    prompts
        .expectMsgBox(rangeMessage, Buttons::Ok, Icon::None, "Input error")  // both messages, the quality first
        .expectMsgBox("The output file format must be different from the input file format.", Buttons::Ok,
                      Icon::Exclamation, "Input error");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_EQ(host.quality, "5") << "the cleaned text goes back into the box";
    EXPECT_TRUE(host.report.isEmpty());

    host.formats[0] = "BMP";  // of which there is none: a run past the check ends at "No files"
    const QList<QPair<QString, bool>> cases = {{"10", true},   {"+0100", true}, {"9", false},
                                               {"101", false}, {"", false},     {"99999999999", false}};
    for (const auto& [typed, accepted] : cases) {
        SCOPED_TRACE(typed.toStdString());
        host.quality = typed;
        if (accepted) {
            prompts.expectMsgBox("There are no BMP files in the input folder.", Buttons::Ok, Icon::Exclamation,
                                 "No files");
        } else {
            prompts.expectMsgBox(rangeMessage, Buttons::Ok, Icon::None, "Input error");
        }
        Batch::cmdConvertFiles_Click(host);
        prompts.verify();
    }
}

// Listings and a batch share the "No files" messages; they come before the question about the report.
TEST_F(Checks, NoFilesMessagesNameTheFormatAndTheSideAndChangeNothing) {
    ASSERT_TRUE(writeBytes(inFolder + "a.png", "x"));
    host.viewInBrowser = true;
    host.report = "kept\r\n";
    struct Case {
        int list;  // the List button's index, -1 for "Convert files"
        const char *outFormat, *message;
    };
    const QList<Case> cases = {
        {0, "PNG", "There are no BMP files in the input folder."},
        {1, "JPG", "There are no JPG files in the output folder."},
        {1, "Select", "There are no files in the output folder."},
        {-1, "PNG", "There are no BMP files in the input folder."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        host.formats[1] = c.outFormat;
        if (QString(c.outFormat) == "Select") {
            prompts.expectMsgBox("List all files in the output folder?", Buttons::YesNo, Icon::None, "List all files?",
                                 Answer::Yes);
        }
        prompts.expectMsgBox(c.message, Buttons::Ok, Icon::Exclamation, "No files");
        c.list < 0 ? Batch::cmdConvertFiles_Click(host) : Batch::cmdList_Click(host, c.list);
        prompts.verify();
        EXPECT_EQ(host.report, "kept\r\n");
        EXPECT_TRUE(host.idle());
    }
    EXPECT_EQ(entries(inFolder), QStringList{"a.png"}) << "no viewer page";
}

TEST_F(Checks, MissingSettingsAskForMoreInputAndPointAtTheirButton) {
    struct Case {
        const char *inFolder, *outFolder, *inFormat, *outFormat, *message;
        BatchHost::Control focus;
    };
    const QList<Case> cases = {
        {"", "/o/", "BMP", "PNG", "Please specify the folder for the input images.", BatchHost::Control::FolderForImages0},
        {"/i/", "", "BMP", "PNG", "Please specify the folder for the output images.", BatchHost::Control::FolderForImages1},
        {"/i/", "/o/", "Select", "PNG", "Please specify the file format for the input images.",
         BatchHost::Control::FolderForImages0},
        {"/i/", "/o/", "BMP", "Select", "Please specify the file format for the output images.",
         BatchHost::Control::FolderForImages1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        host.folders[0] = c.inFolder;
        host.folders[1] = c.outFolder;
        host.formats[0] = c.inFormat;
        host.formats[1] = c.outFormat;
        host.focusMoves.clear();
        prompts.expectMsgBox(c.message, Buttons::Ok, Icon::None, "Need more input");
        Batch::cmdConvertFiles_Click(host);
        prompts.verify();
        EXPECT_EQ(host.focusMoves, QList<BatchHost::Control>{c.focus});
    }
}

// The library's answers that the report explains further, and the one that ends a batch on input.
TEST_F(Checks, LibraryAnswersGetTheirExplanationsAndAnUnknownInputEndsTheRun) {
    for (const char* name : {"a.bmp", "b.bmp"}) {
        ASSERT_TRUE(writePicture(inFolder + name, "BMP"));
    }
    const struct {
        const char *answer, *outFormat;
        int kind;
        QString lines;     // for each file
        bool secondFile;  // false: the run ends after the first file
    } cases[] = {
        {"Unsupported file format option.", "PNG", 1,
         "\r\n*** Read error: Unsupported file format option.\r\n      BMP file may be compressed.\r\n\r\n", true},
        {"Invalid bits per pixel for this file format.", "JPG", -1,
         "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n"
         "      Bits per pixel in input image may be too small for saving as JPG file.\r\n\r\n",
         true},
        {"Invalid bits per pixel for this file format.", "PNG", -1,
         "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n\r\n", true},
        {"Input file format not supported.", "PNG", 1, "\r\n*** Read error: Input file format not supported.\r\n\r\n",
         false},
    };
    const QStringList order = listed(inFolder);
    for (const auto& c : cases) {
        Batch::SetConverter([&](const QString&, const QString&, qint16, int& kind) {
            kind = c.kind;
            return QString(c.answer);
        });
        host.report.clear();
        host.formats[1] = c.outFormat;
        convert("Number of BMP files converted: 0 (of 2 input)", "Not all files converted.");
        EXPECT_EQ(host.report, order[0] + c.lines + (c.secondFile ? order[1] + c.lines : QString()) +
                                   "\r\nNumber of BMP files converted: 0 (of 2 input)\r\n")
            << c.answer;
    }
}
