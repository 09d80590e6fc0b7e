// File size texts, and the viewer page of a run over files with awkward names.
#include "batch/ViewerPage.h"
#include "tests/batch/BatchFixture.h"

#include <QProcess>
#include <QUrl>
#include <iostream>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The report follows the system's locale: the test program runs itself again under two of them.
TEST(SizeText, GroupsDigitsWithTheSystemLocaleSeparatorOrACommaUnderC) {
    EXPECT_EQ(Batch::SizeText(1234567, QLocale::c()), "1,234,567 bytes");  // Qt's own C locale groups nothing
#ifdef Q_OS_WIN
    // Windows takes the separator from the user's regional settings, not from the environment.
    wchar_t separator[8] = {};
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8), 0);
    const QString s = QString::fromWCharArray(separator);
    EXPECT_EQ(Batch::SizeText(1234567), "1" + s + "234" + s + "567 bytes");
    return;
#endif
    if (qEnvironmentVariableIsSet("VORNASK_PRINT_SIZE_TEXT")) {
        std::cout << "<<" << Batch::SizeText(1234567).toStdString() << ">>" << std::endl;
        return;
    }
    for (const auto& [locale, expected] : {std::pair{"C", "1,234,567 bytes"}, {"de_DE.UTF-8", "1.234.567 bytes"}}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        env.insert("VORNASK_PRINT_SIZE_TEXT", "1");
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SizeText.*"});
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_TRUE(QString(child.readAllStandardOutput()).contains(QString("<<%1>>").arg(expected))) << locale;
    }
}

TEST(ViewerPageText, WindowsPathsBecomeFileAddresses) {
    EXPECT_EQ(ViewerPage::fileUrl("C:\\my out\\100%.png", PathStyle::windows()),
              "file://localhost/C:/my%20out/100%25.png");
    EXPECT_EQ(ViewerPage::fileUrl("\\\\server\\share\\a b.png", PathStyle::windows()), "file://server/share/a%20b.png");
}

class Viewer : public BatchFixture {};

TEST_F(Viewer, OddNamesAreEscapedOnThePageAndTheirImagesFound) {
    outFolder = nativeFolder(m_dir.filePath("out dir"));
    QDir().mkpath(outFolder);
    QStringList names{"a & b.bmp", "#1 100%.bmp", "Café 😀.BMP"};
    QStringList texts{"/in/a &amp; b.bmp, ", " (from a &amp; b.bmp)<BR>", "/out dir/#1 100%.png, ",
                      "/in/Caf&#233; &#128512;.BMP, "};
#ifndef Q_OS_WIN  // names that Windows does not allow
    names << "<x> \"q\".bmp";
    texts << "/in/&lt;x&gt; &quot;q&quot;.bmp, ";
#endif
    for (const QString& name : names) {
        ASSERT_TRUE(writePicture(inFolder + name, "BMP"));
    }
    host.folders[1] = outFolder;
    host.viewInBrowser = true;
    convert(QString("Number of BMP files converted: %1 (of %1 input)").arg(names.size()), "All files converted.");

    const QString page = QString::fromLocal8Bit(readBytes(inFolder + "viewer01.htm"));
    for (const QString& text : texts) {
        const QString shown = QDir::toNativeSeparators(text);
        EXPECT_TRUE(page.contains(shown)) << shown.toStdString() << "\n" << page.toStdString();
    }
    // Every address leads a browser to an existing image.
    const QUrl base = QUrl::fromLocalFile(inFolder + "viewer01.htm");
    int images = 0;
    for (const QString& line : page.split("\r\n")) {
        if (line.startsWith("<IMG SRC=\"")) {
            const QString address = line.section('"', 1, 1);
            QUrl url = base.resolved(QUrl(address, QUrl::StrictMode));
            url.setHost(QString());  // "localhost" is the local machine to a browser
            EXPECT_TRUE(QFileInfo(url.toLocalFile()).isFile()) << address.toStdString();
            ++images;
        }
    }
    EXPECT_EQ(images, 2 * names.size());
}
