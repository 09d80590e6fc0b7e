// Folder listings, and the question about the report that every operation asks.
#include "platform/PathStyle.h"
#include "tests/batch/BatchFixture.h"

#include <filesystem>
#include <system_error>

class Listing : public BatchFixture {};

TEST_F(Listing, InputListingShowsGroupedSizesAndAsksAboutTheReport) {
    ASSERT_TRUE(writeBytes(inFolder + "Big.BMP", QByteArray(5000, 'x')));
    ASSERT_TRUE(writeBytes(inFolder + "small.bmp", "12345"));
    ASSERT_TRUE(writeBytes(inFolder + "notes.txt", ""));
    QDir(inFolder).mkdir("sub.bmp");  // a folder, not a file
    const auto line = [&](const QString& name) { return name.toLower() + "  " + sizeText(inFolder + name) + "\r\n"; };
    const QString bmps = linesFor(inFolder, ".bmp", line) + "\r\nNumber of BMP files in the input folder: 2\r\n";
    const QString all = linesFor(inFolder, "", line) + "\r\nNumber of files in the input folder: 3\r\n";

    Batch::cmdList_Click(host, 0);  // the report is empty: no question
    EXPECT_EQ(host.report, bmps);

    host.formats[0] = "Select";
    prompts.expectMsgBox("List all files in the input folder?", Buttons::YesNo, Icon::None, "List all files?",
                         Answer::No);
    Batch::cmdList_Click(host, 0);
    EXPECT_EQ(host.focusMoves, QList<BatchHost::Control>{BatchHost::Control::FolderForImages0});
    EXPECT_EQ(host.report, bmps);

    prompts
        .expectMsgBox("List all files in the input folder?", Buttons::YesNo, Icon::None, "List all files?", Answer::Yes)
        .expectMsgBox("Clear report window first?", Buttons::YesNo, Icon::None, "", Answer::No);
    Batch::cmdList_Click(host, 0);
    EXPECT_EQ(host.report, bmps + "\r\n--------------------\r\n" + all);

    host.formats[0] = "BMP";
    prompts.expectMsgBox("Clear report window first?", Buttons::YesNo, Icon::None, "", Answer::Yes);
    Batch::cmdList_Click(host, 0);
    EXPECT_EQ(host.report, bmps);
    EXPECT_TRUE(host.idle());
}

TEST_F(Listing, OutputListingShowsNamesOnlyAndCountsBeyond32767) {
    if (runningUnderWine()) {
        GTEST_SKIP() << "linking 32770 files takes minutes under Wine";
    }
    const std::filesystem::path first = (outFolder + "f0.png").toStdU16String();
    ASSERT_TRUE(writeBytes(outFolder + "f0.png", ""));
    for (int i = 1; i < 32770; ++i) {
        // Links to one empty file make a large folder far faster than new files.
        std::error_code error;
        std::filesystem::create_hard_link(first, (outFolder + QString("f%1.png").arg(i)).toStdU16String(), error);
        ASSERT_FALSE(error) << error.message();
    }
    ASSERT_TRUE(writeBytes(outFolder + "Upper.PNG", ""));
    ASSERT_TRUE(writeBytes(outFolder + "other.bmp", ""));
    Batch::cmdList_Click(host, 1);

    const QString expected = linesFor(outFolder, ".png", [](const QString& name) { return name.toLower() + "\r\n"; }) +
                             "\r\nNumber of PNG files in the output folder: 32771\r\n";
    EXPECT_TRUE(host.report == expected) << ::testing::PrintToString(host.report.right(200));
}

// Ordinal over upper case, whatever order the file system keeps: "_" (after "Z") and letters
// beyond ASCII come after the letters, digits compare one by one, and "B" comes before "b".
TEST_F(Listing, FilesComeInNameOrderWithTheProgressOfTheListing) {
    // B.bmp beside b.bmp only where letter case tells names apart.
    const bool twoCases = PathStyle::native().caseSensitive();
    QStringList created = {"t9.bmp", "éclair.bmp", "Zebra.bmp", "_x.bmp", "t10.bmp",
                           "b.bmp",  "apple.BMP",  "Äpfel.bmp", "t1.bmp"};
    QStringList listed = {"apple.bmp", "b.bmp",  "t1.bmp",    "t10.bmp",   "t9.bmp",
                          "zebra.bmp", "_x.bmp", "äpfel.bmp", "éclair.bmp"};
    if (twoCases) {
        created << "B.bmp";
        listed.insert(1, "b.bmp");
    }
    for (const QString& name : created) {
        ASSERT_TRUE(writeBytes(inFolder + name, "x"));
    }
    Batch::cmdList_Click(host, 0);
    QStringList names;
    for (const QString& line : host.report.split("\r\n")) {
        names << line.section("  ", 0, 0);
    }
    EXPECT_EQ(names.mid(0, listed.size()), listed);
    EXPECT_TRUE(StrProc::NameOrderLess("B.bmp", "b.bmp") && !StrProc::NameOrderLess("b.bmp", "B.bmp"));
    QStringList progress, expected;
    for (const auto& [done, total] : host.progress) {
        progress << QString("%1/%2").arg(done).arg(total);
    }
    for (int done = 0; done <= created.size(); ++done) {
        expected << QString("%1/%2").arg(done).arg(created.size());
    }
    EXPECT_EQ(progress, expected);
    EXPECT_TRUE(host.idle());
}
