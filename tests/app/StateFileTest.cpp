#include "app/StateFile.h"
#include "platform/Twips.h"
#include "tests/app/AppTest.h"

#include <QScreen>
#include <cerrno>
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#include <csignal>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kSaveTitle = QStringLiteral("Specify filename for saved state");
const QString kRestoreTitle = QStringLiteral("Specify filename for state to restore");
const QByteArray kFreshFile = "\"\"\r\n\"\"\r\n\" 0\"\r\n\" 0\"\r\n\"1\"\r\n\"0\"\r\n\"0\"\r\n";
// Letters from beyond any one legacy code page.
const QString kInFolder = QStringLiteral("C:\\Bilder\\Gr\u00F6\u00DFe, und mehr \u5199\u771F\\");

#ifdef Q_OS_LINUX
// For its lifetime a write past `bytes` fails with "File too large", as a full disk fails one part-way.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};
#endif

class StateFileTest : public AppTest {
protected:
    // Input PNG, output JPG, no warning, browser and large window: every line differs from a fresh window's.
    void changeWindow() {
        window.setFolderText(0, kInFolder);
        window.setFolderText(1, QStringLiteral("/home/ann/out/"));
        window.setFormatIndex(0, 2);
        window.setFormatIndex(1, 3);
        window.setOption(StateOption::WarnOnOverwrite, false);
        window.setOption(StateOption::ViewInBrowser, true);
        window.setOption(StateOption::LargeWindow, true);
    }
    // The state of a fresh window restored from a file holding `bytes`.
    QString restored(const QByteArray& bytes) {
        EXPECT_TRUE(writeBytes(file, bytes));
        LoadedMainWindow fresh;
        StateFile::RestoreState(fresh, file);
        return state(fresh);
    }
    // Folders, formats and options, one letter per checked option: "in|out|2 3|W--".
    QString state(const frmMain& w) const {
        return w.folderText(0) + '|' + w.folderText(1) + '|' + QString::number(w.formatIndex(0)) + ' ' +
               QString::number(w.formatIndex(1)) + '|' + (w.option(StateOption::WarnOnOverwrite) ? 'W' : '-') +
               (w.option(StateOption::ViewInBrowser) ? 'V' : '-') + (w.option(StateOption::LargeWindow) ? 'L' : '-');
    }
    void expectSaveError(int error) {
        prompts.expectMsgBox("Error when attempting to save the state: " + qt_error_string(error), Buttons::Ok,
                             Icon::Exclamation, QStringLiteral("Save state"));
    }

    QString file = native(dir.filePath(QStringLiteral("state.sta")));
};

TEST_F(StateFileTest, SavesSevenQuotedLinesAsTheWindowStands) {
    ASSERT_TRUE(StateFile::SaveState(window, file));
    EXPECT_EQ(readBytes(file), kFreshFile);

    changeWindow();
    ASSERT_TRUE(StateFile::SaveState(window, file));
    EXPECT_EQ(readBytes(file), "\"" + kInFolder.toUtf8() +
                                   "\"\r\n\"/home/ann/out/\"\r\n\" 2\"\r\n\" 3\"\r\n\"0\"\r\n\"1\"\r\n\"1\"\r\n");
}

TEST_F(StateFileTest, ButtonsSaveAndRestoreTheWholeStateAndCancellingDoesNothing) {
    prompts.expectSaveFile(kSaveTitle, StateFile::kFilter, QString())
        .expectOpenFile(kRestoreTitle, StateFile::kFilter, QString())
        .expectSaveFile(kSaveTitle, StateFile::kFilter, file);
    changeWindow();
    StateFile::cmdSaveState_Click(window, 0);
    StateFile::cmdSaveState_Click(window, 1);
    EXPECT_TRUE(entries(dir.path()).isEmpty());
    StateFile::cmdSaveState_Click(window, 0);
    prompts.verify();

    LoadedMainWindow restored;
    prompts.expectOpenFile(kRestoreTitle, StateFile::kFilter, file);
    StateFile::cmdSaveState_Click(restored, 1);
    EXPECT_EQ(state(restored), state(window));
    EXPECT_TRUE(restored.findChild<QLineEdit*>("txbQuality")->isVisible()) << "JPG as output shows the quality box";
    EXPECT_EQ(restored.height(), Twips::toPixels(0.9 * Twips::fromPixels(restored.screen()->geometry().height())))
        << "the large-window option switches the layout";
    EXPECT_EQ(restored.focusWidget(), restored.findChild<QWidget*>("cmdConvertFiles")) << "the focus step";
}

TEST_F(StateFileTest, OnlyYesToTheOverwriteQuestionReplacesTheFile) {
    const QByteArray old = "\"old\"\r\n";
    changeWindow();
    for (Answer answer : {Answer::No, Answer::Cancel, Answer::Yes}) {
        ASSERT_TRUE(writeBytes(file, old));
        prompts.expectSaveFile(kSaveTitle, StateFile::kFilter, file)
            .expectMsgBox("The state file " + FileProc::NormaliseDriveLetter(file) +
                              "\r\nalready exists and will be overwritten.  Is this OK?",
                          Buttons::YesNoCancel, Icon::None, QStringLiteral("Confirm overwrite of file"), answer);
        StateFile::cmdSaveState_Click(window, 0);
        prompts.verify();
        EXPECT_EQ(readBytes(file), answer == Answer::Yes ? StateFile::FormatState(window) : old);
    }
    EXPECT_EQ(entries(dir.path()), QStringList{"state.sta"});
}

// A missing folder, a write failing part-way and a read-only file: each is reported and the file kept whole.
TEST_F(StateFileTest, SaveFailuresAreReportedAndLeaveTheEarlierFileWhole) {
    prompts.expectSaveFile(kSaveTitle, StateFile::kFilter, native(dir.filePath("no such folder/s.sta")));
#ifdef Q_OS_WIN
    expectSaveError(ERROR_PATH_NOT_FOUND);
#else
    expectSaveError(ENOENT);
#endif
    StateFile::cmdSaveState_Click(window, 0);
    prompts.verify();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
#ifdef Q_OS_LINUX
    ASSERT_TRUE(writeBytes(file, kFreshFile));
    changeWindow();
    expectSaveError(EFBIG);
    bool saved = true;
    {
        FileSizeLimit limit(12);
        saved = StateFile::SaveState(window, file);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(readBytes(file), kFreshFile);
    EXPECT_EQ(entries(dir.path()), QStringList{"state.sta"}) << "no temporary file is left behind";

    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
    WithoutAdminFileRights asUser;
    if (QFile(file).open(QIODevice::Append)) {
        GTEST_SKIP() << "this user may write to read-only files";
    }
    expectSaveError(EACCES);
    EXPECT_FALSE(StateFile::SaveState(window, file));
    EXPECT_EQ(readBytes(file), kFreshFile);
#endif
}

TEST_F(StateFileTest, RestoreAppliesLinesUntilOneIsMissingOrDoesNotFit) {
    const struct {
        QByteArray file;
        const char* state;
    } cases[] = {
        {"\"/a/\"\r\n\"/b/\"\r\n\" 9\"\r\n\" 2\"\r\n\"0\"\r\n\"1\"\r\n\"1\"\r\n", "/a/|/b/|0 0|W--"},  // no 9th format
        {"\"/a/\"\r\n\"/b/\"\r\n\" 4\"\r\n\"-1\"\r\n\"0\"\r\n\"1\"\r\n\"1\"\r\n", "/a/|/b/|4 0|W--"},
        {"\"/a/\"\r\n\"/b/\"\r\n", "/a/|/b/|0 0|W--"},
        {"", "||0 0|W--"},
        // Only a 1 standing alone checks a box: quoted or not, with blanks around it or not.
        {"\"\"\r\n\"\"\r\n\" 0\"\r\n\" 0\"\r\n\"true\"\r\n\" 1\"\r\n\"1 \"\r\n", "||0 0|---"},
        {"\"\"\r\n\"\"\r\n\" 0\"\r\n\" 0\"\r\n\"0\"\r\n   1\r\n\t1  \r\n", "||0 0|-VL"},
        // A comma inside quotes belongs to the value; an unquoted value ends at a comma; text after the closing
        // quote is ignored; a value whose closing quote is missing runs to the end of its line.
        {"\"C:\\a,b\\\"\r\n  /x/y, z\r\n\" 2\" trailing\r\n\" 3\r\n", "C:\\a,b\\|/x/y|2 3|W--"},
        // LF alone, CR alone and a missing last line break all end lines; an empty line is an empty value.
        {"\"/a/\"\n\r\" 1\"\r\" 2\"\n\"0\"\r\n\"1\"\r\n\"1\"", "/a/||1 2|-VL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(restored(c.file), c.state) << c.file.toStdString();
    }
    StateFile::RestoreState(window, dir.filePath("absent.sta"));
    EXPECT_EQ(state(window), "||0 0|W--");
}

TEST_F(StateFileTest, FormatLineTakesTheLeadingNumberRoundedHalfToEven) {
    const struct {
        const char* field;
        int index;  // -1: reading stops at this line
    } cases[] = {{"\" 3\"", 3},  {"3", 3},          {"  4  ", 4},           {"\"2.5\"", 2},  {"\"3.5\"", 4},
                 {"\"0.5\"", 0}, {"\"1.5e0\"", 2},  {"\"+1\"", 1},          {"\"-0.4\"", 0}, {"\"2xyz\"", 2},
                 {"\"JPG\"", 0}, {"\"\"", 0},       {"\".\"", 0},           {"\"4.5\"", 4},  {"\"4.6\"", -1},
                 {"\"-1\"", -1}, {"\"1e999\"", -1}, {"\"99999999999\"", -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(restored(QByteArray("\"\"\r\n\"\"\r\n") + c.field + "\r\n\" 1\"\r\n"),
                  c.index < 0 ? QString("||0 0|W--") : QString("||%1 1|W--").arg(c.index))
            << c.field;
    }
}

}  // namespace

#ifdef Q_OS_WIN
TEST_F(StateFileTest, FileInTheLegacyCodePageOfWindowsIsReadInIt) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the program's manifest sets UTF-8 as its code page";
    DWORD legacy = 0;
    ASSERT_NE(GetLocaleInfoW(GetSystemDefaultLCID(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&legacy), sizeof legacy / sizeof(wchar_t)),
              0);
    const std::wstring folder = L"C:\\Gr\u00F6\u00DFe\\";
    char bytes[64] = {};
    BOOL lossy = FALSE;
    if (legacy == CP_UTF8 ||
        WideCharToMultiByte(legacy, 0, folder.c_str(), -1, bytes, sizeof bytes, nullptr, &lossy) == 0 || lossy) {
        GTEST_SKIP() << "the legacy code page " << legacy << " has no \u00F6 and \u00DF";
    }
    EXPECT_EQ(restored("\"" + QByteArray(bytes) + "\"\r\n"), QString::fromStdWString(folder) + "||0 0|W--");
}
#endif
