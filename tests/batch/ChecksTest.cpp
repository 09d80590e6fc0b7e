// What "Convert files" and "List" check before a run starts.
#include "tests/batch/BatchFixture.h"

class Checks : public BatchFixture {};

TEST_F(Checks, QualityMustLieWithinItsBoundsAndFormatsMustDiffer) {
    const QString rangeMessage = "For conversion to JPG the quality must be in the range 10 through 100.";
    writeImage(inFolder + "a.jpg", "JPG");
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
    writeBytes(inFolder + "a.png", "x");
    host.viewInBrowser = true;
    host.report = "kept\r\n";
    struct Case {
        int list;  // the List button's index, -1 for "Convert files"
        const char* outFormat;
        const char* message;
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
    EXPECT_EQ(sortedEntries(inFolder), QStringList{"a.png"}) << "no viewer page";
}
