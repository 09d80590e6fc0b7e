// Batch runs over real folders with the real conversion library, one at a time and
// converting ahead on several threads, which must look the same to a person.
#include "batch/ViewerPage.h"
#include "engine/Grafix.h"
#include "fs/FileProc.h"
#include "platform/PathStyle.h"
#include "platform/RunTimeError.h"
#include "tests/batch/BatchFixture.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

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
    const QString pageEntries = linesFor(inFolder, ".bmp", [&](const QString& name) {
        const QString output = outFolder + pngName(name);
        return inFolder + name + ", " + sizeText(inFolder + name) + "<BR>\r\n<IMG SRC=\"" + name +
               "\" BORDER=\"1\"><P>\r\n\r\n" + output + ", " + sizeText(output) + " (from " + name +
               ")<BR>\r\n<IMG SRC=\"" + ViewerPage::fileUrl(output) + "\" BORDER=\"1\"><P>\r\n\r\n";
    });
    EXPECT_EQ(readBytes(page),
              ("<HTML><HEAD><TITLE>\r\n" + page +
               "\r\n</TITLE></HEAD>\r\n\r\n<BODY BGCOLOR=\"#000000\" TEXT=\"#FFFFFF\"><CENTER>\r\n\r\n" + pageEntries +
               "</CENTER></BODY></HTML>\r\n\r\n")
                  .toLocal8Bit());
    EXPECT_EQ(host.filesOpened, QStringList{page});
    EXPECT_EQ(readBytes(inFolder + "viewer05.htm"), "older");
    EXPECT_TRUE(host.idle());
}

TEST_F(BatchRun, CancellingAllFilesAtTheFirstEndsTheRunBeforeAViewerPageIsMade) {
    for (const char* name : {"a.bmp", "b.bmp"}) {
        ASSERT_TRUE(writePicture(inFolder + name, "BMP"));
        ASSERT_TRUE(writeBytes(outFolder + pngName(name), "old"));
    }
    host.viewInBrowser = true;
    host.fileExistsAnswers = {{true, true, {}}};
    convert("Number of BMP files converted: 0 (of 2 input)", "Not all files converted.");
    EXPECT_EQ(host.report,
              "a.bmp -- Existing PNG file not overwritten.\r\n\r\nOperation cancelled.\r\n\r\n"
              "\r\nNumber of BMP files converted: 0 (of 2 input)\r\n");
    EXPECT_EQ(entries(inFolder), QStringList({"a.bmp", "b.bmp"}));
    EXPECT_EQ(entries(outFolder), QStringList({"a.png", "b.png"}));
}

// The window handles clicks while the library works on the turn's file: one at a time, so that
// the call under way is the second file's.
TEST_F(BatchRun, StopDuringTheSecondOfFiveFilesLetsThatFileFinishAndOtherButtonsWait) {
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(writePicture(inFolder + QString("p%1.bmp").arg(i), "BMP"));
    }
    Batch::SetConversionSlots(1);
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
    EXPECT_EQ(entries(inFolder), QStringList({"a.bmp", "b.bmp"})) << "the page got no entry";
    EXPECT_TRUE(host.filesOpened.isEmpty());
}

TEST_F(BatchRun, QuittingDuringAConversionWaitsForItAndLeavesNoTemporaryFile) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        ASSERT_TRUE(writePicture(inFolder + name, "BMP", 300, 200));
    }
    Batch::SetConversionSlots(1);
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
    EXPECT_EQ(entries(outFolder), QStringList{pngName(names[0])});
    EXPECT_EQ(entries(inFolder), QStringList({"a.bmp", "b.bmp", "c.bmp"})) << "the empty page is removed";
}

namespace {

// Everything a run leaves for a person: the report, the prompts and "File exists" questions in
// order, the bar's values, the pages handed to the browser, and every file of both folders.
struct Seen {
    QString report;
    QStringList prompts;
    QString progress;
    QStringList opened;
    QStringList files;  // folder/name, size and digest, hidden files too
};

// The library calls of a run as they end; the workers report from their own threads.
class Calls {
public:
    void add(const QString& input, const QString& output) {
        std::lock_guard lock(m_mutex);
        m_done << QDir::fromNativeSeparators(input) + " > " + QDir::fromNativeSeparators(output);
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_done.clear();
    }
    // Finished calls for the input file `name`; with `aheadOnly`, those into a temporary name.
    int count(const QString& name, bool aheadOnly = false) {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const QString& call : m_done) {
            n += call.section(" > ", 0, 0).endsWith("/" + name) && (!aheadOnly || call.contains("/.vornask-ahead-"));
        }
        return n;
    }
    // Waits until each of `names` has been converted ahead; false after ten seconds.
    bool waitAhead(const QStringList& names) {
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(2)) {
            if (std::all_of(names.begin(), names.end(), [&](const QString& name) { return count(name, true) > 0; })) {
                return true;
            }
        }
        return false;
    }

private:
    std::mutex m_mutex;
    QStringList m_done;
};

}  // namespace

class AheadRun : public BatchFixture {
protected:
    using Script = std::function<void(FakeHost&, ScriptedPrompts&, bool ahead)>;

    // "Convert files" (BMP to PNG, viewing on) with `count` conversions at once over folders made
    // afresh by `make`; `script` gives the host its answers and the prompts expected.
    Seen run(int count, const std::function<void()>& make, const Script& script) {
        QDir(inFolder).removeRecursively();
        QDir(outFolder).removeRecursively();
        QDir().mkpath(inFolder);
        QDir().mkpath(outFolder);
        make();
        calls.clear();
        Batch::SetConversionSlots(count);
        Batch::SetConverter([this](const QString& in, const QString& out, qint16 quality, int& kind) {
            const QString message = library(in, out, quality, kind);
            calls.add(in, out);
            return message;
        });
        FakeHost h;
        h.folders[0] = inFolder;
        h.folders[1] = outFolder;
        h.viewInBrowser = true;
        ScriptedPrompts p;
        script(h, p, count > 1);
        Batch::cmdConvertFiles_Click(h);
        p.verify();
        EXPECT_TRUE(h.quit || h.idle());
        Seen seen{h.report, p.log(), {}, h.filesOpened, {}};
        for (const QString& asked : h.fileExistsAsked) {
            seen.prompts << "File exists: " + asked;
        }
        for (const auto& [done, total] : h.progress) {
            seen.progress += QString("%1/%2 ").arg(done).arg(total);
        }
        for (const QString& folder : {inFolder, outFolder}) {
            for (const QString& name : entries(folder)) {
                const QByteArray bytes = readBytes(folder + name);
                seen.files << QString("%1%2 %3 %4")
                                  .arg(folder == inFolder ? "in/" : "out/", name)
                                  .arg(bytes.size())
                                  .arg(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
            }
        }
        return seen;
    }

    // The same run one at a time and with two conversions at once: a person sees the same.
    Seen both(const std::function<void()>& make, const Script& script) {
        const Seen one = run(1, make, script);
        const Seen ahead = run(2, make, script);
        EXPECT_EQ(one.report, ahead.report);
        EXPECT_EQ(one.prompts, ahead.prompts);
        EXPECT_EQ(one.progress, ahead.progress);
        EXPECT_EQ(one.opened, ahead.opened);
        EXPECT_EQ(one.files, ahead.files) << "result files, viewer page, no temporary file left";
        return ahead;
    }

    QString outFiles(const Seen& seen) {
        QStringList names;
        for (const QString& file : seen.files) {
            if (file.startsWith("out/")) {
                names << file.section(' ', 0, 0).mid(4);
            }
        }
        return names.join(' ');
    }

    Calls calls;
    Batch::Converter library = &Grafix::ConvertGraphicsFile;
};

// Existing results answered with every choice, one renamed onto a later file's result, and two
// names that differ only in case: the second finds the first's result. (Where letter case does
// not tell names apart, A.bmp and a.bmp are one file.)
TEST_F(AheadRun, FileExistsAnswersAndNamesDifferingInCaseLookAsOneAtATime) {
    const bool twoCases = PathStyle::native().caseSensitive();
    const int total = twoCases ? 7 : 6;
    const auto make = [&] {
        QList<QPair<QString, int>> inputs = {{"a.bmp", 12}, {"b.bmp", 14}, {"c.bmp", 16},
                                             {"d.bmp", 18}, {"e.bmp", 20}, {"f.bmp", 22}};
        if (twoCases) {
            inputs.prepend({"A.bmp", 10});
        }
        for (const auto& [name, width] : inputs) {
            ASSERT_TRUE(writePicture(inFolder + name, "BMP", width, 6));
        }
        for (const char* name : {"b.png", "c.png", "d.png", "f.png"}) {
            ASSERT_TRUE(writeBytes(outFolder + name, "old"));
        }
    };
    const QString summary = QString("Number of BMP files converted: %1 (of %2 input)").arg(total - 2).arg(total);
    const Seen seen = both(make, [&](FakeHost& h, ScriptedPrompts& p, bool) {
        h.fileExistsAnswers = {{false, false, outFolder + "e.png"},
                               {true, false, {}},
                               {false, false, outFolder + "d.png"},
                               {false, false, outFolder + "e.png"},
                               {true, true, {}}};
        if (twoCases) {
            h.fileExistsAnswers.prepend({false, false, outFolder + "a.png"});
        }
        p.expectMsgBox(summary, Buttons::Ok, Icon::None, "Not all files converted.");
    });
    EXPECT_EQ(seen.report,
              QString(twoCases ? "a.bmp -> a.png [OK]\r\n" : "") +
                  "a.bmp -> a.png [OK]\r\nb.bmp -> e.png [OK]\r\n"
                  "c.bmp -- Existing PNG file not overwritten.\r\n\r\nd.bmp -> d.png [OK]\r\n"
                  "e.bmp -> e.png [OK]\r\nf.bmp -- Existing PNG file not overwritten.\r\n\r\n"
                  "Operation cancelled.\r\n\r\n\r\n" +
                  summary + "\r\nViewer file: " + FileProc::GetFolderPart(inFolder) + "viewer01.htm\r\n");
    const QStringList asked = seen.prompts.filter("File exists: ");
    EXPECT_EQ(asked.join(' ').remove("File exists: " + outFolder),
              QString(twoCases ? "a.png " : "") + "b.png c.png d.png e.png f.png");
    EXPECT_EQ(QImage(outFolder + "a.png").width(), 12);
    EXPECT_EQ(QImage(outFolder + "e.png").width(), 20);
    EXPECT_TRUE(readBytes(outFolder + "c.png") == "old" && readBytes(outFolder + "f.png") == "old");
    QString progress;
    for (int done = 0; done <= total; ++done) {
        progress += QString("%1/%2 ").arg(done).arg(total);
    }
    EXPECT_EQ(seen.progress, progress);
    EXPECT_GT(calls.count("f.bmp", true) + calls.count("e.bmp", true), 0) << "the run converted ahead";
}

TEST_F(AheadRun, StopOrQuitPartWayRemovesWhatWasConvertedAheadAndShowsNothingAfter) {
    const auto make = [&] {
        for (int i = 1; i <= 5; ++i) {
            ASSERT_TRUE(writePicture(inFolder + QString("p%1.bmp").arg(i), "BMP", 40 + i, 30));
        }
    };
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "Quit" : "Stop");
        const Seen seen = both(make, [&](FakeHost& h, ScriptedPrompts& p, bool ahead) {
            h.onConverting = [&, ahead, quit](const QString& text) {
                if (text.startsWith("Converting p2.bmp")) {
                    EXPECT_TRUE(!ahead || calls.waitAhead({"p3.bmp", "p4.bmp", "p5.bmp"}));
                    quit ? void(h.quit = true) : Batch::cmdStop_Click(h);
                }
            };
            if (!quit) {
                p.expectMsgBox("Not all files converted.  Operation stopped.", Buttons::Ok, Icon::None,
                               "Not all files converted.");
            }
        });
        // Quitting ends the run before the library gets the second file; Stop lets it finish.
        EXPECT_EQ(outFiles(seen), quit ? "p1.png" : "p1.png p2.png");
        EXPECT_EQ(seen.report, quit ? QString("p1.bmp -> p1.png [OK]\r\np2.bmp")
                                    : "p1.bmp -> p1.png [OK]\r\np2.bmp -> p2.png [OK]\r\nOperation stopped.\r\n"
                                      "\r\nNumber of BMP files converted: 2 (of 5 input)\r\nViewer file: " +
                                          FileProc::GetFolderPart(inFolder) + "viewer01.htm\r\n");
    }
}

// p4 is large enough to keep both cores busy by itself: it waits for them.
TEST_F(AheadRun, AnInputChangedOrRemovedAfterItWasConvertedAheadIsTakenAsItIsAtItsTurn) {
    const auto make = [&] {
        for (int i = 1; i <= 5; ++i) {
            ASSERT_TRUE(
                writePicture(inFolder + QString("p%1.bmp").arg(i), "BMP", i == 4 ? 2000 : 40 + i, i == 4 ? 1000 : 30));
        }
    };
    const Seen seen = both(make, [&](FakeHost& h, ScriptedPrompts& p, bool ahead) {
        h.onConverting = [&, ahead](const QString& text) {
            if (text.startsWith("Converting p2.bmp")) {
                EXPECT_TRUE(!ahead || calls.waitAhead({"p3.bmp", "p5.bmp"}));
                EXPECT_TRUE(writePicture(inFolder + "p3.bmp", "BMP", 77, 30));
                EXPECT_TRUE(QFile::remove(inFolder + "p5.bmp"));
            }
        };
        p.expectMsgBox("File not found: " + inFolder + "p5.bmp", Buttons::Ok, Icon::Information, "Error");
    });
    EXPECT_TRUE(
        seen.report.startsWith("p1.bmp -> p1.png [OK]\r\np2.bmp -> p2.png [OK]\r\np3.bmp -> p3.png [OK]\r\n"
                               "p4.bmp -> p4.png [OK]\r\np5.bmp"));
    EXPECT_EQ(QImage(outFolder + "p3.png").width(), 77) << "the changed file is converted again";
    EXPECT_EQ(calls.count("p3.bmp"), 2);
    EXPECT_EQ(outFiles(seen), "p1.png p2.png p3.png p4.png");
}

// A broken file and an output name that is the input itself (a hard link) fail at their turns; an
// output format the library cannot write ends the run at the first file, and nothing follows.
TEST_F(AheadRun, FailuresAheadAreReportedAtTheirTurnsAndAFormatNotSupportedEndsTheRunThere) {
    const auto make = [&] {
        for (const char* name : {"a.bmp", "broken.bmp", "s.bmp", "z.bmp"}) {
            ASSERT_TRUE(writePicture(inFolder + name, "BMP", 40, 30));
        }
        ASSERT_TRUE(writeBytes(inFolder + "broken.bmp", readBytes(inFolder + "broken.bmp").left(300)));
        std::error_code error;
        std::filesystem::create_hard_link(inFolder.toStdU16String() + u"s.bmp", outFolder.toStdU16String() + u"s.png",
                                          error);
        ASSERT_FALSE(error) << error.message();
    };
    const Seen seen = both(make, [&](FakeHost& h, ScriptedPrompts& p, bool) {
        h.fileExistsAnswers = {{false, false, outFolder + "s.png"}};
        p.expectMsgBox("Number of BMP files converted: 2 (of 4 input)", Buttons::Ok, Icon::None,
                       "Not all files converted.");
    });
    int kind = 0;
    const QString broken =
        Grafix::ConvertGraphicsFile(inFolder + "broken.bmp", native(m_dir.filePath("x.png")), 80, kind);
    EXPECT_EQ(seen.report,
              "a.bmp -> a.png [OK]\r\nbroken.bmp\r\n*** Read error: " + broken +
                  "\r\n\r\ns.bmp\r\n*** Write error: Output file is the input file.\r\n\r\n"
                  "z.bmp -> z.png [OK]\r\n\r\nNumber of BMP files converted: 2 (of 4 input)\r\nViewer file: " +
                  FileProc::GetFolderPart(inFolder) + "viewer01.htm\r\n");
    EXPECT_EQ(outFiles(seen), "a.png s.png z.png");

    const Seen gif = both(make, [&](FakeHost& h, ScriptedPrompts& p, bool) {
        h.formats[1] = "GIF";
        p.expectMsgBox("Number of BMP files converted: 0 (of 4 input)", Buttons::Ok, Icon::None,
                       "Not all files converted.");
    });
    EXPECT_EQ(gif.report,
              "a.bmp\r\n*** Write error: Output file format not supported.\r\n\r\n"
              "\r\nNumber of BMP files converted: 0 (of 4 input)\r\n");
    EXPECT_EQ(outFiles(gif), "s.png");
}

// Work converted ahead holds disk space: a file that finds the disk full at its turn is converted
// once more when that work is gone, as it would have been one at a time.
TEST_F(AheadRun, AWriteFailureAtATurnIsTriedAgainWithoutTheWorkAhead) {
    const QString full = "Cannot write output file: No space left on device.";
    library = [&](const QString& in, const QString& out, qint16 quality, int& kind) {
        const bool ahead = out.contains(QDir::toNativeSeparators("/.vornask-ahead-"));
        // No name filter on this worker thread: a wildcard becomes a regular expression, and the
        // Windows build's Qt then crashes freeing that thread's JIT stack when the thread ends.
        const QStringList names = QDir(outFolder).entryList(QDir::Files | QDir::Hidden);
        const bool held = std::any_of(names.begin(), names.end(),
                                      [](const QString& name) { return name.startsWith(".vornask-ahead-"); });
        if ((ahead && in.endsWith(QDir::toNativeSeparators("/p2.bmp"))) || (!ahead && held)) {
            kind = -1;
            return full;
        }
        return Grafix::ConvertGraphicsFile(in, out, quality, kind);
    };
    const auto make = [&] {
        for (int i = 1; i <= 5; ++i) {
            ASSERT_TRUE(writePicture(inFolder + QString("p%1.bmp").arg(i), "BMP", 40 + i, 30));
        }
    };
    const Seen seen = both(make, [&](FakeHost& h, ScriptedPrompts& p, bool ahead) {
        h.onConverting = [&, ahead](const QString& text) {
            EXPECT_TRUE(!ahead || !text.startsWith("Converting p2.bmp") || calls.waitAhead({"p3.bmp", "p4.bmp"}));
        };
        p.expectMsgBox("Number of BMP files converted: 5 (of 5 input)", Buttons::Ok, Icon::None,
                       "All files converted.");
    });
    EXPECT_EQ(outFiles(seen), "p1.png p2.png p3.png p4.png p5.png");
    EXPECT_EQ(calls.count("p2.bmp"), 3) << "ahead, at its turn beside the work ahead, and alone";
}
