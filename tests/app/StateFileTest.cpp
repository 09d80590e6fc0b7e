#include "app/StateFile.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <csignal>
#endif
#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;

const QString kSaveTitle = QStringLiteral("Specify filename for saved state");
const QString kRestoreTitle = QStringLiteral("Specify filename for state to restore");
const QString kFilter = QStringLiteral("State files (*.sta)|*.sta");
const QByteArray kFreshFile = "\"\"\r\n\"\"\r\n\" 0\"\r\n\" 0\"\r\n\"1\"\r\n\"0\"\r\n\"0\"\r\n";

// The main window's state as a fresh window has it, with every change and focus step logged in order.
class FakeHost : public StateHost {
public:
    QString folders[2];
    int formats[2] = {0, 0};
    bool options[3] = {true, false, false};
    QStringList calls;
    int layoutSwitches = 0;

    QString folderText(int side) const override { return folders[side]; }
    void setFolderText(int side, const QString& text) override {
        folders[side] = text;
        calls << QStringLiteral("folder%1=%2").arg(side).arg(text);
    }
    int formatIndex(int side) const override { return formats[side]; }
    bool setFormatIndex(int side, int index) override {
        // "Select" and the four formats.
        if (index < 0 || index > 4) {
            return false;
        }
        formats[side] = index;
        calls << QStringLiteral("format%1=%2").arg(side).arg(index);
        return true;
    }
    bool option(StateOption which) const override { return options[static_cast<int>(which)]; }
    void setOption(StateOption which, bool checked) override {
        bool& box = options[static_cast<int>(which)];
        if (which == StateOption::LargeWindow && box != checked) {
            ++layoutSwitches;
        }
        box = checked;
        calls << QStringLiteral("option%1=%2").arg(static_cast<int>(which)).arg(checked ? 1 : 0);
    }
    void FocusNextStep() override { calls << QStringLiteral("focus"); }
};

void setChanged(FakeHost& host) {
    host.folders[0] = QStringLiteral("C:\\images\\in, and more\\");
    host.folders[1] = QStringLiteral("/home/ann/out/");
    host.formats[0] = 3;
    host.formats[1] = 2;
    host.options[0] = false;
    host.options[1] = true;
    host.options[2] = true;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Restores `bytes` into a fresh host.
FakeHost restored(const QByteArray& bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.sta"));
    writeBytes(path, bytes);
    FakeHost host;
    host.calls.clear();
    StateFile::RestoreState(host, path);
    return host;
}

#ifdef Q_OS_LINUX
// The administrator may write to read-only files and folders; for the length of a test this process gives up that
// right, so that read-only means read-only as it does for every user.
class WithoutAdminFileRights {
public:
    WithoutAdminFileRights() {
        if (geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutAdminFileRights() {
        if (m_dropped) {
            syscall(SYS_capset, &m_header, m_saved);
        }
    }
    WithoutAdminFileRights(const WithoutAdminFileRights&) = delete;
    WithoutAdminFileRights& operator=(const WithoutAdminFileRights&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_dropped = false;
};
#else
struct WithoutAdminFileRights {};
#endif

// True when the file at `path` really refuses writing now.
bool refusesWriting(const QString& path) {
    QFile probe(path);
    return !probe.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly);
}

QString saveError(int error) {
    return QStringLiteral("Error when attempting to save the state: ") + qt_error_string(error);
}

// ---- Writing -------------------------------------------------------------------------------------------------

TEST(StateFileSave, WritesSevenQuotedLinesAsTheWindowStands) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fresh.sta"));
    FakeHost host;
    TestSupport::ScriptedPrompts prompts;
    EXPECT_TRUE(StateFile::SaveState(host, path));
    EXPECT_EQ(readBytes(path), kFreshFile);
    EXPECT_EQ(host.calls, QStringList{QStringLiteral("focus")});

    setChanged(host);
    EXPECT_EQ(StateFile::FormatState(host),
              QByteArray("\"C:\\images\\in, and more\\\"\r\n\"/home/ann/out/\"\r\n\" 3\"\r\n\" 2\"\r\n"
                         "\"0\"\r\n\"1\"\r\n\"1\"\r\n"));
    // A list without a selection would be written with a minus sign in place of the blank.
    host.formats[1] = -1;
    EXPECT_TRUE(StateFile::FormatState(host).contains("\r\n\"-1\"\r\n"));
}

TEST(StateFileSave, RoundTripRestoresEverySettingAndSwitchesTheLayout) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("round.sta"));
    FakeHost saved;
    setChanged(saved);
    ASSERT_TRUE(StateFile::SaveState(saved, path));

    FakeHost target;
    StateFile::RestoreState(target, path);
    EXPECT_EQ(target.folders[0], saved.folders[0]);
    EXPECT_EQ(target.folders[1], saved.folders[1]);
    EXPECT_EQ(target.formats[0], 3);
    EXPECT_EQ(target.formats[1], 2);
    EXPECT_FALSE(target.options[0]);
    EXPECT_TRUE(target.options[1]);
    EXPECT_TRUE(target.options[2]);
    EXPECT_EQ(target.layoutSwitches, 1);
    // Each line is applied as it is read, in the file's order, and the focus step comes last.
    EXPECT_EQ(target.calls, (QStringList{"folder0=C:\\images\\in, and more\\", "folder1=/home/ann/out/", "format0=3",
                                         "format1=2", "option0=0", "option1=1", "option2=1", "focus"}));
}

TEST(StateFileSave, NonAsciiFolderNamesRoundTripInTheSystemEncoding) {
    const QString folder = QStringLiteral("C:\\Bilder\\Gr\u00F6\u00DFe \u00C6\u00D8\u00C5\\");
    if (QString::fromLocal8Bit(folder.toLocal8Bit()) != folder) {
        GTEST_SKIP() << "the system's 8-bit encoding cannot hold these letters";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("letters.sta"));
    FakeHost saved;
    saved.folders[1] = folder;
    ASSERT_TRUE(StateFile::SaveState(saved, path));
    EXPECT_TRUE(readBytes(path).startsWith("\"\"\r\n\"" + folder.toLocal8Bit() + "\"\r\n"));

    FakeHost target;
    StateFile::RestoreState(target, path);
    EXPECT_EQ(target.folders[1], folder);
}

// ---- The buttons: dialogs and the overwrite question -----------------------------------------------------------

TEST(StateFileButtons, DialogsChooseTheFileAndCancellingOnlyMovesTheFocus) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("New State.sta"));
    FakeHost host;
    setChanged(host);
    TestSupport::ScriptedPrompts prompts;
    prompts.expectSaveFile(kSaveTitle, kFilter, QString())
        .expectOpenFile(kRestoreTitle, kFilter, QString())
        .expectSaveFile(kSaveTitle, kFilter, path)
        .expectOpenFile(kRestoreTitle, kFilter, path);
    StateFile::cmdSaveState_Click(host, 0);
    StateFile::cmdSaveState_Click(host, 1);
    EXPECT_EQ(host.calls, (QStringList{"focus", "focus"}));
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());

    StateFile::cmdSaveState_Click(host, 0);
    EXPECT_EQ(readBytes(path), StateFile::FormatState(host));
    FakeHost target;
    StateFile::cmdSaveState_Click(target, 1);
    prompts.verify();
    EXPECT_EQ(target.folders[0], host.folders[0]);
    EXPECT_EQ(target.formats[1], 2);
    EXPECT_EQ(target.calls.last(), QStringLiteral("focus"));
}

TEST(StateFileButtons, OverwriteIsAskedAndOnlyYesReplacesTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Kept.sta"));
    const QByteArray old = "\"old\"\r\n";
    const QString question = QStringLiteral("The state file ") + path +
                             QStringLiteral("\r\nalready exists and will be overwritten.  Is this OK?");
    FakeHost host;
    setChanged(host);
    for (Answer answer : {Answer::No, Answer::Cancel}) {
        writeBytes(path, old);
        TestSupport::ScriptedPrompts prompts;
        prompts.expectSaveFile(kSaveTitle, kFilter, path)
            .expectMsgBox(question, Buttons::YesNoCancel, Icon::None, QStringLiteral("Confirm overwrite of file"),
                          answer);
        host.calls.clear();
        StateFile::cmdSaveState_Click(host, 0);
        prompts.verify();
        EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(host.calls, QStringList{QStringLiteral("focus")});
    }
    TestSupport::ScriptedPrompts prompts;
    prompts.expectSaveFile(kSaveTitle, kFilter, path)
        .expectMsgBox(question, Buttons::YesNoCancel, Icon::None, QStringLiteral("Confirm overwrite of file"),
                      Answer::Yes);
    StateFile::cmdSaveState_Click(host, 0);
    prompts.verify();
    EXPECT_EQ(readBytes(path), StateFile::FormatState(host));
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("Kept.sta")});
}

// ---- Save failures ---------------------------------------------------------------------------------------------

TEST(StateFileSaveFailure, MissingFolderIsReportedAndNothingChanges) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no such folder/s.sta"));
    FakeHost host;
    TestSupport::ScriptedPrompts prompts;
    prompts.expectSaveFile(kSaveTitle, kFilter, path)
        .expectMsgBox(saveError(ENOENT), Buttons::Ok, Icon::Exclamation, QStringLiteral("Save state"));
    StateFile::cmdSaveState_Click(host, 0);
    prompts.verify();
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
    EXPECT_EQ(host.calls, (QStringList{"focus", "focus"}));
}

TEST(StateFileSaveFailure, ReadOnlyFileIsNotReplaced) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked.sta"));
    const QByteArray old = "\"locked\"\r\n";
    writeBytes(path, old);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    WithoutAdminFileRights asUser;
    if (!refusesWriting(path)) {
        GTEST_SKIP() << "this user may write to read-only files";
    }
    FakeHost host;
    setChanged(host);
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox(saveError(EACCES), Buttons::Ok, Icon::Exclamation, QStringLiteral("Save state"));
    EXPECT_FALSE(StateFile::SaveState(host, path));
    prompts.verify();
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("locked.sta")});
}

#ifdef Q_OS_UNIX
// Lets this process write files of at most `bytes` bytes: a write past that fails with "File too large", as a
// full disk fails a write part-way through.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
};

TEST(StateFileSaveFailure, WriteFailingPartWayKeepsTheEarlierFileWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.sta"));
    const QByteArray old = kFreshFile;
    writeBytes(path, old);
    FakeHost host;
    setChanged(host);
    TestSupport::ScriptedPrompts prompts;
    prompts.expectMsgBox(saveError(EFBIG), Buttons::Ok, Icon::Exclamation, QStringLiteral("Save state"));
    bool saved = true;
    {
        FileSizeLimit limit(12);
        saved = StateFile::SaveState(host, path);
    }
    prompts.verify();
    EXPECT_FALSE(saved);
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("state.sta")}) << "no temporary file is left behind";
    EXPECT_EQ(host.calls, QStringList{QStringLiteral("focus")});
}
#endif

// ---- Reading damaged and hand-edited files ---------------------------------------------------------------------

TEST(StateFileRestore, FormatOutsideTheListStopsReadingThere) {
    FakeHost atLine3 = restored("\"/a/\"\r\n\"/b/\"\r\n\" 9\"\r\n\" 2\"\r\n\"0\"\r\n\"1\"\r\n\"1\"\r\n");
    EXPECT_EQ(atLine3.calls, (QStringList{"folder0=/a/", "folder1=/b/", "focus"}));

    FakeHost atLine4 = restored("\"/a/\"\r\n\"/b/\"\r\n\" 4\"\r\n\"-1\"\r\n\"0\"\r\n\"1\"\r\n\"1\"\r\n");
    EXPECT_EQ(atLine4.calls, (QStringList{"folder0=/a/", "folder1=/b/", "format0=4", "focus"}));
    EXPECT_TRUE(atLine4.options[0]);
    EXPECT_EQ(atLine4.layoutSwitches, 0);
}

TEST(StateFileRestore, ShortOrMissingFilesApplyWhatTheyHave) {
    EXPECT_EQ(restored("\"/a/\"\r\n\"/b/\"\r\n").calls, (QStringList{"folder0=/a/", "folder1=/b/", "focus"}));
    EXPECT_EQ(restored("").calls, QStringList{"focus"});

    FakeHost missing;
    QTemporaryDir dir;
    TestSupport::ScriptedPrompts prompts;
    StateFile::RestoreState(missing, dir.filePath(QStringLiteral("absent.sta")));
    EXPECT_EQ(missing.calls, QStringList{"focus"});
}

TEST(StateFileRestore, OptionsAreCheckedOnlyByExactlyOne) {
    // Quoted "true" and " 1" uncheck boxes that were checked.
    FakeHost quoted = restored("\"\"\r\n\"\"\r\n\" 0\"\r\n\" 0\"\r\n\"true\"\r\n\" 1\"\r\n\"1 \"\r\n");
    EXPECT_FALSE(quoted.options[0]);
    EXPECT_FALSE(quoted.options[1]);
    EXPECT_FALSE(quoted.options[2]);
    // An unquoted 1 with blanks around it checks them.
    FakeHost unquoted = restored("\"\"\r\n\"\"\r\n\" 0\"\r\n\" 0\"\r\n\"0\"\r\n   1\r\n\t1  \r\n");
    EXPECT_FALSE(unquoted.options[0]);
    EXPECT_TRUE(unquoted.options[1]);
    EXPECT_TRUE(unquoted.options[2]);
    EXPECT_EQ(unquoted.layoutSwitches, 1);
}

TEST(StateFileRestore, FormatLinesTakeTheLeadingNumberRoundedHalfToEven) {
    struct Case {
        const char* field;
        int index;  // -1: reading stops at this line
    };
    const Case cases[] = {
        {"\" 3\"", 3},    {"3", 3},       {"  4  ", 4},    {"\"2.5\"", 2},  {"\"3.5\"", 4},    {"\"0.5\"", 0},
        {"\"1.5e0\"", 2}, {"\"+1\"", 1},  {"\"-0.4\"", 0}, {"\"2xyz\"", 2}, {"\"JPG\"", 0},    {"\"\"", 0},
        {"\".\"", 0},     {"\"4.5\"", 4}, {"\"4.6\"", -1}, {"\"-1\"", -1},  {"\"1e999\"", -1}, {"\"99999999999\"", -1},
    };
    for (const Case& c : cases) {
        FakeHost host = restored(QByteArray("\"\"\r\n\"\"\r\n") + c.field + "\r\n\" 1\"\r\n");
        if (c.index < 0) {
            EXPECT_EQ(host.calls, (QStringList{"folder0=", "folder1=", "focus"})) << c.field;
        } else {
            EXPECT_EQ(host.formats[0], c.index) << c.field;
            EXPECT_EQ(host.formats[1], 1) << c.field << " stopped the reading";
        }
    }
}

TEST(StateFileRestore, FieldsAndLineEndsOfHandEditedFiles) {
    // A comma inside quotes belongs to the value; an unquoted value ends at a comma; text after the closing quote
    // is ignored; a value whose closing quote is missing runs to the end of its line.
    FakeHost fields = restored("\"C:\\a,b\\\"\r\n  /x/y, z\r\n\" 2\" trailing\r\n\" 3\r\n");
    EXPECT_EQ(fields.folders[0], QStringLiteral("C:\\a,b\\"));
    EXPECT_EQ(fields.folders[1], QStringLiteral("/x/y"));
    EXPECT_EQ(fields.formats[0], 2);
    EXPECT_EQ(fields.formats[1], 3);

    // LF-only, lone CR and a missing final line break all end lines; an empty line is an empty value.
    FakeHost ends = restored("\"/a/\"\n\r\" 1\"\r\" 2\"\n\"0\"\r\n\"1\"\r\n\"1\"");
    EXPECT_EQ(ends.calls, (QStringList{"folder0=/a/", "folder1=", "format0=1", "format1=2", "option0=0", "option1=1",
                                       "option2=1", "focus"}));
}

}  // namespace
