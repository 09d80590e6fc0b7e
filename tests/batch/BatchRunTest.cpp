// Batch runs over real folders with the real conversion library.
#include "engine/Grafix.h"
#include "platform/RunTimeError.h"
#include "tests/batch/BatchFixture.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <tuple>

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;

namespace {

QString pngName(const QString& bmpName) {
    return (bmpName.chopped(3) + "png").toLower();
}

QString convertedLine(const QString& name) {
    return name.toLower() + " -> " + pngName(name) + " [OK]\r\n";
}

bool isPng(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8);
}

}  // namespace

class BatchRun : public BatchFixture {
protected:
    // What the library answers for `input` converted into a scratch folder.
    QString libraryMessage(const QString& input, const QString& extension, int& kind) {
        QDir(m_dir.path()).mkpath("scratch");
        kind = 0;
        return Grafix::ConvertGraphicsFile(input, m_dir.path() + "/scratch/probe." + extension, 80, kind);
    }
    // A BMP cut short inside its header.
    void writeTruncatedBmp(const QString& path) {
        writeImage(path, "BMP", 40, 30);
        writeBytes(path, readBytes(path).left(30));
    }
};

TEST_F(BatchRun, ConvertsEveryMatchingFileAndReportsEachStep) {
    writeImage(inFolder + "Photo.BMP", "BMP", 16, 12);
    writeImage(inFolder + "b.bmp", "BMP", 8, 6);
    writeImage(inFolder + "c d.bmp", "BMP", 30, 20);
    writeImage(inFolder + "x.png", "PNG");
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    bool busyLookDuringRun = false;
    host.onYield = [&](FakeHost& h, int n) {
        if (n == 1) {
            busyLookDuringRun = h.stopVisible && !h.linkVisible && !h.convertSingleFileVisible && !h.topLineVisible;
        }
    };
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Number of BMP files converted: 3 (of 3 input)", Buttons::Ok, Icon::None,
                         "All files converted.");
    Batch::cmdConvertFiles_Click(host);

    QString expected;
    for (const QString& name : listed(inFolder)) {
        if (name.endsWith(".bmp", Qt::CaseInsensitive)) {
            expected += convertedLine(name);
        }
    }
    expected += "\r\nNumber of BMP files converted: 3 (of 3 input)\r\n";
    EXPECT_TEXT(host.report, expected);
    EXPECT_EQ(sortedEntries(outFolder), QStringList({"b.png", "c d.png", "photo.png"}));
    EXPECT_TRUE(isPng(outFolder + "photo.png"));
    EXPECT_EQ(QImage(outFolder + "c d.png").size(), QSize(30, 20));
    EXPECT_TRUE(host.convertingLabelsShown.contains("Converting Photo.BMP (" + sizeText(inFolder + "Photo.BMP") + ")"))
        << host.convertingLabelsShown.join(" | ").toStdString();
    EXPECT_TRUE(busyLookDuringRun);
    EXPECT_TRUE(host.idleLook());
    EXPECT_FALSE(host.convertingLabelVisible);
    EXPECT_FALSE(Batch::OperationRunning(host));
    EXPECT_TRUE(host.filesOpened.isEmpty());
    EXPECT_TRUE(host.fileExistsAsked.isEmpty());
}

TEST_F(BatchRun, ExistingResultsAreOverwrittenRenamedOrKeptAsAnswered) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        writeImage(inFolder + name, "BMP");
        writeBytes(outFolder + pngName(name), "old");
    }
    const QStringList names = listed(inFolder);
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    host.fileExistsAnswers = {FakeHost::overwrite(outFolder + pngName(names[0])),
                              FakeHost::newName(outFolder + "renamed.png"), FakeHost::skipThisFile()};
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Number of BMP files converted: 2 (of 3 input)", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);

    EXPECT_TEXT(host.report, convertedLine(names[0]) + names[1] + " -> renamed.png [OK]\r\n" + names[2] +
                                 " -- Existing PNG file not overwritten.\r\n\r\n" +
                                 "\r\nNumber of BMP files converted: 2 (of 3 input)\r\n");
    EXPECT_EQ(host.fileExistsAsked, QStringList({outFolder + pngName(names[0]), outFolder + pngName(names[1]),
                                                 outFolder + pngName(names[2])}));
    EXPECT_EQ(host.fileExistsSingle, QList<bool>({false, false, false}));
    EXPECT_TRUE(isPng(outFolder + pngName(names[0])));
    EXPECT_EQ(readBytes(outFolder + pngName(names[1])), "old");
    EXPECT_TRUE(isPng(outFolder + "renamed.png"));
    EXPECT_EQ(readBytes(outFolder + pngName(names[2])), "old");
}

TEST_F(BatchRun, CancellingAllFilesEndsTheRun) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        writeImage(inFolder + name, "BMP");
        writeBytes(outFolder + pngName(name), "old");
    }
    const QStringList names = listed(inFolder);
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    host.viewInBrowser = true;
    host.fileExistsAnswers = {FakeHost::cancelAllFiles()};
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Number of BMP files converted: 0 (of 3 input)", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TEXT(host.report, names[0] +
                                 " -- Existing PNG file not overwritten.\r\n\r\nOperation cancelled.\r\n\r\n"
                                 "\r\nNumber of BMP files converted: 0 (of 3 input)\r\n");
    EXPECT_EQ(host.fileExistsAsked.size(), 1);
    // Every file was skipped before its conversion: no page was written or opened.
    EXPECT_EQ(sortedEntries(inFolder), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
    EXPECT_TRUE(host.filesOpened.isEmpty());
}

TEST_F(BatchRun, StopDuringTheSecondOfFiveFilesFinishesThatFile) {
    for (int i = 1; i <= 5; ++i) {
        writeImage(inFolder + QString("p%1.bmp").arg(i), "BMP");
    }
    const QStringList names = listed(inFolder);
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    host.onYield = [&](FakeHost& h, int n) {
        // Three yields per file: before and after the library call, and after the file.
        if (n == 4) {
            Batch::cmdStop_Click(h);
            // Other operations cannot start meanwhile (they would ask about the report).
            Batch::cmdConvertFiles_Click(h);
            Batch::cmdList_Click(h, 0);
        }
    };
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Not all files converted.  Operation stopped.", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TEXT(host.report, convertedLine(names[0]) + convertedLine(names[1]) +
                                 "Operation stopped.\r\n\r\nNumber of BMP files converted: 2 (of 5 input)\r\n");
    EXPECT_EQ(sortedEntries(outFolder).size(), 2);
    EXPECT_TRUE(host.idleLook());
}

TEST_F(BatchRun, StopCanBeClickedWhileTheLibraryWorks) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        writeImage(inFolder + name, "BMP");
    }
    const QStringList names = listed(inFolder);
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    std::atomic<bool> clickHandled{false};
    std::atomic<bool> clickHandledDuringCall{false};
    std::atomic<bool> workedOffTheUiThread{false};
    QThread* uiThread = QThread::currentThread();
    Batch::SetConverter([&](const QString& in, const QString& out, qint16 quality, int& kind) {
        workedOffTheUiThread = QThread::currentThread() != uiThread;
        if (in.endsWith(names[0])) {
            // The user clicks "Stop" while the first file is converted.
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    Batch::cmdStop_Click(host);
                    clickHandled = true;
                },
                Qt::QueuedConnection);
            QElapsedTimer waited;
            waited.start();
            while (!clickHandled && waited.elapsed() < 5000) {
                QThread::msleep(2);
            }
            clickHandledDuringCall = clickHandled.load();
        }
        return Grafix::ConvertGraphicsFile(in, out, quality, kind);
    });
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Not all files converted.  Operation stopped.", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TRUE(workedOffTheUiThread);
    EXPECT_TEXT(host.report, convertedLine(names[0]) +
                                 "Operation stopped.\r\n\r\nNumber of BMP files converted: 1 (of 3 input)\r\n");
    EXPECT_TRUE(clickHandledDuringCall) << "the window handled the click while the library worked";
}

TEST_F(BatchRun, AFailingConversionIsReportedAndTheBatchGoesOn) {
    writeImage(inFolder + "a.bmp", "BMP");
    writeTruncatedBmp(inFolder + "broken.bmp");
    writeBytes(inFolder + "notes.bmp", "These are notes, not a picture.\n");
    writeImage(inFolder + "c.bmp", "BMP");
    QMap<QString, QString> messages;
    for (const QString name : {"broken.bmp", "notes.bmp"}) {
        int kind = 0;
        messages[name] = libraryMessage(inFolder + name, "png", kind);
        ASSERT_EQ(kind, 1) << messages[name].toStdString();
        ASSERT_NE(messages[name], "Input file format not supported.");
    }
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Number of BMP files converted: 2 (of 4 input)", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);
    QString expected;
    for (const QString& name : listed(inFolder)) {
        expected +=
            messages.contains(name) ? name + "\r\n*** Read error: " + messages[name] + "\r\n\r\n" : convertedLine(name);
    }
    EXPECT_TEXT(host.report, expected + "\r\nNumber of BMP files converted: 2 (of 4 input)\r\n");
    EXPECT_EQ(sortedEntries(outFolder), QStringList({"a.png", "c.png"}));
}

// The library judges a file by its content and knows every extension a batch takes, so it names
// an input it does not support only for other names; the rule is tested with that answer scripted.
TEST_F(BatchRun, AnInputFormatTheLibraryDoesNotSupportEndsTheBatch) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        writeImage(inFolder + name, "BMP");
    }
    const QStringList names = listed(inFolder);
    Batch::SetConverter([&](const QString& in, const QString& out, qint16 quality, int& kind) {
        if (in.endsWith(names[1])) {
            kind = 1;
            return QStringLiteral("Input file format not supported.");
        }
        return Grafix::ConvertGraphicsFile(in, out, quality, kind);
    });
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Number of BMP files converted: 1 (of 3 input)", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TEXT(host.report, convertedLine(names[0]) + names[1] +
                                 "\r\n*** Read error: Input file format not supported.\r\n\r\n"
                                 "\r\nNumber of BMP files converted: 1 (of 3 input)\r\n");
    EXPECT_EQ(sortedEntries(outFolder), QStringList{pngName(names[0])});
}

TEST_F(BatchRun, AnOutputFormatTheLibraryCannotWriteEndsTheBatchAfterTheFirstFile) {
    writeImage(inFolder + "a.bmp", "BMP");
    writeImage(inFolder + "b.bmp", "BMP");
    int kind = 0;
    ASSERT_EQ(libraryMessage(inFolder + "a.bmp", "gif", kind), "Output file format not supported.");
    ASSERT_EQ(kind, -1);
    const QStringList names = listed(inFolder);
    host.setUp(inFolder, "BMP", outFolder, "GIF");
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("Number of BMP files converted: 0 (of 2 input)", Buttons::Ok, Icon::None,
                         "Not all files converted.");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TEXT(host.report, names[0] +
                                 "\r\n*** Write error: Output file format not supported.\r\n\r\n"
                                 "\r\nNumber of BMP files converted: 0 (of 2 input)\r\n");
    EXPECT_TRUE(sortedEntries(outFolder).isEmpty());
}

TEST_F(BatchRun, LibraryMessagesGetTheirExplanations) {
    struct Scripted {
        QString message;
        int kind;
    };
    QMap<QString, Scripted> answers = {
        {"a", {"Unsupported file format option.", 1}},
        {"b", {"Invalid bits per pixel for this file format.", -1}},
        {"c", {"Something else went wrong.", 0}},
    };
    QStringList calls;
    Batch::SetConverter([&](const QString& in, const QString& out, qint16 quality, int& kind) {
        calls << QString("%1 > %2 @%3").arg(QFileInfo(in).fileName(), QFileInfo(out).fileName()).arg(quality);
        const Scripted answer = answers.value(QFileInfo(in).baseName());
        kind = answer.kind;
        return answer.message;
    });
    const QMap<QString, QString> bmpToJpg = {
        {"a", "\r\n*** Read error: Unsupported file format option.\r\n      BMP file may be compressed.\r\n\r\n"},
        {"b",
         "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n"
         "      Bits per pixel in input image may be too small for saving as JPG file.\r\n\r\n"},
        {"c", "\r\n***  error: Something else went wrong.\r\n\r\n"},
    };
    // The explanations depend on the formats: none for PNG input to BMP.
    const QMap<QString, QString> pngToBmp = {
        {"a", "\r\n*** Read error: Unsupported file format option.\r\n\r\n"},
        {"b", "\r\n*** Write error: Invalid bits per pixel for this file format.\r\n\r\n"},
        {"c", "\r\n***  error: Something else went wrong.\r\n\r\n"},
    };
    for (const auto& [inFormat, outFormat, lines] :
         {std::tuple{"BMP", "JPG", bmpToJpg}, std::tuple{"PNG", "BMP", pngToBmp}}) {
        SCOPED_TRACE(inFormat);
        QDir(inFolder).removeRecursively();
        QDir().mkpath(inFolder);
        const QString extension = QString(inFormat).toLower();
        for (const char* stem : {"a", "b", "c"}) {
            writeBytes(inFolder + stem + "." + extension, "x");
        }
        FakeHost host;
        host.setUp(inFolder, inFormat, outFolder, outFormat);
        host.quality = "75";
        calls.clear();
        TestSupport::ScriptedPrompts prompts;
        prompts.expectMsgBox(QString("Number of %1 files converted: 0 (of 3 input)").arg(inFormat), Buttons::Ok,
                             Icon::None, "Not all files converted.");
        Batch::cmdConvertFiles_Click(host);
        QString expected;
        for (const QString& name : listed(inFolder)) {
            expected += name + lines.value(QFileInfo(name).baseName());
        }
        EXPECT_TEXT(host.report,
                    expected + QString("\r\nNumber of %1 files converted: 0 (of 3 input)\r\n").arg(inFormat));
        EXPECT_EQ(calls.size(), 3);
        if (QString(outFormat) == "JPG") {
            EXPECT_TRUE(calls.contains("a.bmp > a.jpg @75")) << calls.join(", ").toStdString();
        }
    }
}

TEST_F(BatchRun, AFileThatVanishesEndsTheRunWithAnErrorBoxAndTheIdleLook) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        writeImage(inFolder + name, "BMP");
    }
    const QStringList names = listed(inFolder);
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    host.onYield = [&](FakeHost&, int n) {
        if (n == 3) {
            QFile::remove(inFolder + names[1]);
        }
    };
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox("File not found: " + inFolder + names[1], Buttons::Ok, Icon::Information, "Error");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_TEXT(host.report, convertedLine(names[0]) + names[1]);
    EXPECT_TRUE(host.idleLook());
    EXPECT_FALSE(host.convertingLabelVisible);
    EXPECT_FALSE(Batch::OperationRunning(host));
}

TEST_F(BatchRun, AMissingLibraryOnTheWorkerEndsTheRunWithAnErrorBox) {
    writeImage(inFolder + "a.bmp", "BMP");
    writeImage(inFolder + "b.bmp", "BMP");
    const QStringList names = listed(inFolder);
    const QString description = "libtessaplex.so: cannot open shared object file: No such file or directory";
    int calls = 0;
    Batch::SetConverter([&](const QString&, const QString&, qint16, int&) -> QString {
        ++calls;
        throw RunTimeError(description);
    });
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    host.viewInBrowser = true;
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox(description, Buttons::Ok, Icon::Information, "Error");
    Batch::cmdConvertFiles_Click(host);
    EXPECT_EQ(calls, 1);
    EXPECT_TEXT(host.report, names[0]);
    EXPECT_TRUE(host.idleLook());
    EXPECT_FALSE(host.convertingLabelVisible);
    // The page opened before the call got no entry: it is removed and not shown.
    EXPECT_EQ(sortedEntries(inFolder), QStringList({"a.bmp", "b.bmp"}));
    EXPECT_TRUE(host.filesOpened.isEmpty());
}

TEST_F(BatchRun, QuittingDuringAConversionWaitsForItAndEndsTheRunSilently) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        writeImage(inFolder + name, "BMP", 300, 200);
    }
    const QStringList names = listed(inFolder);
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
    std::atomic<bool> finished{false};
    int calls = 0;
    Batch::SetConverter([&](const QString& in, const QString& out, qint16 quality, int& kind) {
        ++calls;
        entered = true;
        while (!released) {
            QThread::msleep(1);
        }
        const QString message = Grafix::ConvertGraphicsFile(in, out, quality, kind);
        // Still working when the window has noticed the quit.
        QThread::msleep(300);
        finished = true;
        return message;
    });
    QTimer user;
    user.setInterval(1);
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (entered && !host.quit) {
            host.quit = true;  // the main window also ends the application's event loop
            released = true;
        }
    });
    user.start();
    host.setUp(inFolder, "BMP", outFolder, "PNG");
    host.viewInBrowser = true;
    TestSupport::ScriptedPrompts prompts;  // no box, no question
    Batch::cmdConvertFiles_Click(host);
    user.stop();
    EXPECT_TRUE(finished) << "the conversion under way was waited for";
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(host.report, names[0]);
    EXPECT_EQ(sortedEntries(outFolder), QStringList{pngName(names[0])}) << "no temporary file is left";
    EXPECT_EQ(sortedEntries(inFolder), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
    EXPECT_TRUE(host.filesOpened.isEmpty());
    EXPECT_FALSE(Batch::OperationRunning(host));
}
