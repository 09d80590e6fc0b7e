// The viewer page, file size texts, and the per-file step as the single-file conversion uses it.
#include "batch/ViewerPage.h"
#include "tests/batch/BatchFixture.h"

#include <QProcess>
#include <QUrl>
#include <iostream>

using Prompt::Buttons;
using Prompt::Icon;

TEST(SizeText, GroupsThousandsWithTheLocaleSeparatorOrACommaWhereItHasNone) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(Batch::SizeText(0, c), "0 bytes");
    EXPECT_EQ(Batch::SizeText(999, c), "999 bytes");
    EXPECT_EQ(Batch::SizeText(1000, c), "1,000 bytes");
    EXPECT_EQ(Batch::SizeText(123456, c), "123,456 bytes");
    EXPECT_EQ(Batch::SizeText(5000000000LL, c), "5,000,000,000 bytes");
    EXPECT_EQ(Batch::SizeText(1234567, QLocale(QLocale::German, QLocale::Germany)), "1.234.567 bytes");
}

// The program reads the system's locale: run this test program again under other locales.
TEST(SizeText, FollowsTheSystemLocale) {
    if (qEnvironmentVariableIsSet("VORNASK_PRINT_SIZE_TEXT")) {
        std::cout << "<<" << Batch::SizeText(1234567).toStdString() << ">>" << std::endl;
        return;
    }
    const QList<QPair<QString, QString>> cases = {
        {"C", "1,234,567 bytes"}, {"POSIX", "1,234,567 bytes"}, {"de_DE.UTF-8", "1.234.567 bytes"}};
    for (const auto& [locale, expected] : cases) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        env.insert("LANG", locale);
        env.insert("VORNASK_PRINT_SIZE_TEXT", "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SizeText.FollowsTheSystemLocale"});
        ASSERT_TRUE(child.waitForFinished(30000));
        const QString out = QString::fromUtf8(child.readAllStandardOutput());
        EXPECT_TRUE(out.contains("<<" + expected + ">>")) << locale.toStdString() << ": " << out.toStdString();
    }
}

TEST(ViewerPageText, EscapesMarkupAndNonAsciiInText) {
    EXPECT_EQ(ViewerPage::escapeHtml("a & b <c> \"d\" 'e'"), "a &amp; b &lt;c&gt; &quot;d&quot; 'e'");
    EXPECT_EQ(ViewerPage::escapeHtml(QString::fromUtf8("café 😀")), "caf&#233; &#128512;");
    EXPECT_EQ(ViewerPage::escapeHtml("C:\\pics\\photo.bmp, 1,234 bytes"), "C:\\pics\\photo.bmp, 1,234 bytes");
}

TEST(ViewerPageText, AddressesOfOddNamesAreEncoded) {
    EXPECT_EQ(ViewerPage::relativeUrl("photo.bmp"), "photo.bmp");
    EXPECT_EQ(ViewerPage::relativeUrl("a b#1 100%.bmp"), "a%20b%231%20100%25.bmp");
    // A colon would otherwise read as the start of an address scheme.
    EXPECT_EQ(ViewerPage::relativeUrl("c:d.bmp"), "c%3Ad.bmp");
    EXPECT_EQ(ViewerPage::relativeUrl(QString::fromUtf8("é.bmp")), "%C3%A9.bmp");

    EXPECT_EQ(ViewerPage::fileUrl("/home/me/out/photo.png", PathStyle::posix()),
              "file://localhost/home/me/out/photo.png");
    EXPECT_EQ(ViewerPage::fileUrl("/tmp/my pics/#1 &.png", PathStyle::posix()),
              "file://localhost/tmp/my%20pics/%231%20%26.png");
    EXPECT_EQ(ViewerPage::fileUrl("C:\\out\\photo.png", PathStyle::windows()), "file://localhost/C:/out/photo.png");
    EXPECT_EQ(ViewerPage::fileUrl("C:\\my out\\100%.png", PathStyle::windows()),
              "file://localhost/C:/my%20out/100%25.png");
    EXPECT_EQ(ViewerPage::fileUrl("\\\\server\\share\\a b.png", PathStyle::windows()), "file://server/share/a%20b.png");
}

class Viewer : public BatchFixture {
protected:
    void runBatch(const QString& summary, const QString& title) {
        host.setUp(inFolder, "BMP", outFolder, "PNG");
        host.viewInBrowser = true;
        TestSupport::ScriptedPrompts prompts;
        prompts.expectMsgBox(summary, Buttons::Ok, Icon::None, title);
        Batch::cmdConvertFiles_Click(host);
    }
    // A BMP cut short inside its header.
    void writeTruncatedBmp(const QString& path) {
        writeImage(path, "BMP", 40, 30);
        writeBytes(path, readBytes(path).left(30));
    }
};

TEST_F(Viewer, PageOfARunByteForByte) {
    writeImage(inFolder + "photo.bmp", "BMP", 400, 300);
    runBatch("Number of BMP files converted: 1 (of 1 input)", "All files converted.");
    const QString page = inFolder + "viewer01.htm";
    const QString bmpSize = sizeText(inFolder + "photo.bmp");
    const QString expected = "<HTML><HEAD><TITLE>\r\n" + page +
                             "\r\n"
                             "</TITLE></HEAD>\r\n\r\n"
                             "<BODY BGCOLOR=\"#000000\" TEXT=\"#FFFFFF\"><CENTER>\r\n\r\n" +
                             inFolder + "photo.bmp, " + bmpSize + "<BR>\r\n" +
                             "<IMG SRC=\"photo.bmp\" BORDER=\"1\"><P>\r\n\r\n" + outFolder + "photo.png, " +
                             sizeText(outFolder + "photo.png") + " (from photo.bmp)<BR>\r\n" +
                             "<IMG SRC=\"file://localhost" + outFolder + "photo.png\" BORDER=\"1\"><P>\r\n\r\n" +
                             "</CENTER></BODY></HTML>\r\n\r\n";
    EXPECT_EQ(readBytes(page), expected.toLocal8Bit());
    EXPECT_TEXT(host.report,
                "photo.bmp -> photo.png [OK]\r\n\r\nNumber of BMP files converted: 1 (of 1 input)\r\nViewer file: " +
                    page + "\r\n");
    EXPECT_EQ(host.filesOpened, QStringList{page});
}

TEST_F(Viewer, TakesTheFirstFreeNumberAndLeavesOlderPagesAlone) {
    for (int i = 1; i <= 5; ++i) {
        writeBytes(inFolder + QString("viewer0%1.htm").arg(i), "older");
    }
    writeImage(inFolder + "a.bmp", "BMP");
    runBatch("Number of BMP files converted: 1 (of 1 input)", "All files converted.");
    EXPECT_EQ(host.filesOpened, QStringList{inFolder + "viewer06.htm"});
    EXPECT_TRUE(readBytes(inFolder + "viewer06.htm").startsWith("<HTML><HEAD><TITLE>\r\n"));
    EXPECT_EQ(readBytes(inFolder + "viewer05.htm"), "older");
}

TEST_F(Viewer, APageWithoutEntriesIsDeletedAndNotOpened) {
    writeTruncatedBmp(inFolder + "broken.bmp");
    runBatch("Number of BMP files converted: 0 (of 1 input)", "Not all files converted.");
    EXPECT_TRUE(host.report.startsWith("broken.bmp\r\n*** Read error: ")) << shown(host.report);
    EXPECT_FALSE(host.report.contains("Viewer file: "));
    EXPECT_EQ(sortedEntries(inFolder), QStringList{"broken.bmp"});
    EXPECT_TRUE(host.filesOpened.isEmpty());
}

TEST_F(Viewer, NoPlaceForAPageOnlySwitchesViewingOff) {
    for (int i = 1; i <= 99; ++i) {
        QDir(inFolder).mkdir(QString("viewer%1.htm").arg(i, 2, 10, QLatin1Char('0')));
    }
    writeImage(inFolder + "a.bmp", "BMP");
    runBatch("Number of BMP files converted: 1 (of 1 input)", "All files converted.");
    EXPECT_TEXT(host.report, "a.bmp -> a.png [OK]\r\n\r\nNumber of BMP files converted: 1 (of 1 input)\r\n");
    EXPECT_FALSE(host.state.blnViewInBrowser);
    EXPECT_TRUE(host.filesOpened.isEmpty());
}

TEST_F(Viewer, OddFileNamesAreEscapedAndTheirImagesFound) {
    QDir(m_dir.path()).mkdir("out dir");
    outFolder = m_dir.path() + "/out dir/";
    const QStringList names = {"a & b.bmp", "<x> \"q\".bmp", "#1 100%.bmp", QString::fromUtf8("Café.BMP")};
    for (const QString& name : names) {
        writeImage(inFolder + name, "BMP");
    }
    runBatch("Number of BMP files converted: 4 (of 4 input)", "All files converted.");
    const QString page = QString::fromLocal8Bit(readBytes(inFolder + "viewer01.htm"));
    ASSERT_FALSE(page.isEmpty());

    EXPECT_TRUE(page.contains("/in/a &amp; b.bmp, ")) << page.toStdString();
    EXPECT_TRUE(page.contains("<IMG SRC=\"a%20%26%20b.bmp\" BORDER=\"1\"><P>"));
    EXPECT_TRUE(page.contains("/out dir/a &amp; b.png, "));
    EXPECT_TRUE(page.contains(" (from a &amp; b.bmp)<BR>"));
    EXPECT_TRUE(page.contains("/in/&lt;x&gt; &quot;q&quot;.bmp, "));
    EXPECT_TRUE(page.contains("<IMG SRC=\"%3Cx%3E%20%22q%22.bmp\""));
    EXPECT_TRUE(page.contains("<IMG SRC=\"%231%20100%25.bmp\""));
    EXPECT_TRUE(page.contains("/in/Caf&#233;.BMP, "));
    EXPECT_TRUE(page.contains("/out%20dir/caf%C3%A9.png\""));

    // Every address leads a browser to an existing image.
    const QUrl base = QUrl::fromLocalFile(inFolder + "viewer01.htm");
    int images = 0;
    for (const QString& line : page.split("\r\n")) {
        if (!line.startsWith("<IMG SRC=\"")) {
            continue;
        }
        const QString address = line.section('"', 1, 1);
        EXPECT_FALSE(address.contains(' ') || address.contains('&')) << address.toStdString();
        QUrl url = base.resolved(QUrl(address, QUrl::StrictMode));
        if (url.host() == "localhost") {
            url.setHost(QString());  // the local machine, as browsers read it
        }
        const QString file = url.toLocalFile();
        EXPECT_TRUE(QFileInfo(file).isFile()) << address.toStdString() << " -> " << file.toStdString();
        ++images;
    }
    EXPECT_EQ(images, 8);
}

// The single-file conversion calls the per-file step once per quality of a series.
class SingleFileStep : public BatchFixture {
protected:
    void SetUp() override {
        BatchFixture::SetUp();
        host.folders[0] = host.folders[1] = inFolder;
        host.state.strInputFormat = "PNG";
        host.state.strOutputFormat = "JPG";
        host.state.blnWarnOnOverwrite = true;
    }
};

TEST_F(SingleFileStep, QualitySeriesShowsTheSourceOnceOnThePage) {
    writeImage(inFolder + "cat.png", "PNG", 64, 48);
    host.state.blnViewInBrowser = true;
    TestSupport::ScriptedPrompts prompts;
    QString expected;
    for (qint16 quality : {50, 75}) {
        host.state.intQuality = quality;
        int result = 0;
        Batch::ProcessFile(host, Batch::ConvertSingle, "cat.png", true, QString::number(quality), result);
        EXPECT_EQ(result, 1);
        const QString output = QString("cat_q%1.jpg").arg(quality);
        expected += "cat.png (" + sizeText(inFolder + "cat.png") + ") converted to\r\n" + output + " (" +
                    sizeText(inFolder + output) + ")\r\n\r\n";
    }
    EXPECT_TEXT(host.report, expected);
    Batch::FinishViewerPage(host);
    const QString page = QString::fromLocal8Bit(readBytes(inFolder + "viewer01.htm"));
    EXPECT_EQ(page.count("<IMG SRC=\"cat.png\""), 1);
    EXPECT_EQ(page.count("<IMG SRC=\"file://localhost"), 2);
    EXPECT_TRUE(page.indexOf("cat_q50.jpg") < page.indexOf("cat_q75.jpg"));
    EXPECT_EQ(host.filesOpened, QStringList{inFolder + "viewer01.htm"});
    EXPECT_TRUE(host.report.endsWith("\r\n\r\nViewer file: " + inFolder + "viewer01.htm\r\n"));
}

TEST_F(SingleFileStep, UnreadableInputEndsTheSeriesAndTheDialogKnowsItIsASingleFile) {
    writeBytes(inFolder + "bad.png", QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(20, 'z'));
    writeBytes(inFolder + "bad.jpg", "old");
    host.state.intQuality = 80;
    host.fileExistsAnswers = {FakeHost::overwrite(inFolder + "bad.jpg")};
    TestSupport::ScriptedPrompts prompts;
    int result = 0;
    Batch::ProcessFile(host, Batch::ConvertSingle, "bad.png", true, QString(), result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(host.fileExistsSingle, QList<bool>{true});
    EXPECT_TRUE(host.report.startsWith("bad.png (28 bytes)\r\n*** Read error: ")) << shown(host.report);
    EXPECT_EQ(readBytes(inFolder + "bad.jpg"), "old") << "a failed conversion leaves the existing file alone";
}
