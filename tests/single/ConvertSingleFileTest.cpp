#include "single/frmConvertSingleFile.h"
#include "tests/single/DialogTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <optional>
#include <tuple>

using namespace DialogTest;

namespace {

using Range = std::tuple<int, int, int>;  // from, to, step

// The main window as the dialog sees it: at 120,90 in its designed layout, qualities 10 to 100.
class FakeMainWindow : public SingleFileDialogHost {
public:
    qint16 minQuality() const override { return 10; }
    qint16 maxQuality() const override { return 100; }
    void setQualityRange(qint16 from, qint16 to, qint16 step) override { stored = Range{from, to, step}; }
    QRect mainWindowFrame() const override { return QRect(120, 90, px(9465), px(4975)); }
    int topLineTop() const override { return px(180); }
    QRect inputFolderBox() const override { return folderBox; }

    std::optional<Range> stored;
    QRect folderBox = Twips::rect(2625, 525, 6000, 360);
};

const QString kRangeMessage = QStringLiteral("For conversion to JPG the quality must be in the range 10 through 100.");

class ConvertSingleFileDialog : public ::testing::Test {
protected:
    // Shows the dialog as the single-file operation does; `act` plays the user.
    void show(const QString& path, const std::function<void()>& act) {
        dialog.strFilepath = path;
        dialog.txbFile->setText(path);
        prompts.expectDialog(QStringLiteral("frmConvertSingleFile"), [&](QDialog&) { act(); });
        Prompt::ExecDialog(dialog);
    }
    // Checks JPG, fills the quality boxes and presses "Convert file".
    void convertJpg(const QString& from, const QString& to) {
        if (!dialog.chkJPG->isChecked()) {
            clickOn(dialog.chkJPG);
        }
        quality[0]->setText(from);
        quality[1]->setText(to);
        QTest::mouseClick(doIt, Qt::LeftButton);
    }
    void expectInputError(const QString& text, Icon icon) {
        prompts.expectMsgBox(text, Buttons::Ok, icon, QStringLiteral("Input error"));
    }
    QString qualities() const { return quality[0]->text() + " to " + quality[1]->text(); }

    ScriptedPrompts prompts;
    FakeMainWindow host;
    frmConvertSingleFile dialog{host};
    QLineEdit* quality[2] = {child<QLineEdit>(dialog, "txbQuality(0)"), child<QLineEdit>(dialog, "txbQuality(1)")};
    QPushButton* doIt = child<QPushButton>(dialog, "cmdDoIt");
    QPushButton* cancel = child<QPushButton>(dialog, "cmdCancel");
    QComboBox* step = child<QComboBox>(dialog, "cboStep");
    QWidget* qualityFrame = child<QWidget>(dialog, "fraQuality");
};

TEST_F(ConvertSingleFileDialog, ShowsBelowTheHintLineAsWideAsTheFolderBoxAndGrowsForJpg) {
    const QString path = QStringLiteral("/home/user/pictures/holidays/2023/a rather long folder/cat.png");
    for (const double width : {6000.0, 7500.0}) {
        host.folderBox.setWidth(px(width));
        show(path, [&] {
            // 120,90 is 1800,1350 twips.
            EXPECT_EQ(dialog.pos(), QPoint(px(1800 + 2625 + 10), px(1350 + 180 + 300)));
            EXPECT_EQ(dialog.size(), QSize(px(width), px(2500)));
            EXPECT_EQ(dialog.txbFile->width(), px(width - 105 - 200));
            EXPECT_EQ(dialog.txbFile->cursorPosition(), path.size()) << "the end of the path is in view";
            EXPECT_EQ(doIt->geometry(), Twips::rect(width - 1800 - 200, 1260, 1800, 360));
            EXPECT_EQ(cancel->geometry(), Twips::rect(width - 1800 - 200, 1680, 1800, 360));
            // The options right-aligned with the file box, from the second label down.
            EXPECT_EQ(dialog.chkWarnOnOverwrite->y(), child<QLabel>(dialog, "lblToBeConvertedTo(0)")->y());
            EXPECT_EQ(dialog.chkWarnOnOverwrite->geometry().right(), dialog.txbFile->geometry().right());
            EXPECT_EQ(dialog.chkViewInBrowser->pos(), QPoint(dialog.chkWarnOnOverwrite->x(), px(840 + 330)));
            EXPECT_EQ(dialog.focusWidget(), cancel);

            clickOn(dialog.chkJPG);
            EXPECT_TRUE(qualityFrame->isVisible());
            EXPECT_EQ(qualityFrame->geometry(), Twips::rect(105, 2100, 3480, 435));
            EXPECT_EQ(dialog.height(), px(3000));
            EXPECT_EQ(doIt->y(), px(1760));
            EXPECT_EQ(cancel->y(), px(2180));
            EXPECT_EQ(dialog.focusWidget(), doIt);
            clickOn(dialog.chkJPG);
            EXPECT_FALSE(qualityFrame->isVisible());
            EXPECT_EQ(dialog.height(), px(2500));
            EXPECT_EQ(cancel->y(), px(1680));
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        EXPECT_FALSE(dialog.blnAccept);
    }
}

TEST_F(ConvertSingleFileDialog, TheInputsOwnFormatIsNoTargetAndTargetsAreClearedOnShowing) {
    const struct {
        const char* path;
        bool bmp, png, jpg;
    } cases[] = {{"/t/a.bmp", false, true, true}, {"/t/a.PNG", true, false, true},
                 {"/t/a.jpg", true, true, false}, {"/t/a.gif", true, true, true},
                 {"/t/a.jpeg", true, true, true}, {"C:\\data\\Img.Jpg", true, true, false}};
    for (const auto& c : cases) {
        show(QString::fromLatin1(c.path), [&] {
            EXPECT_EQ(dialog.chkBMP->isEnabled(), c.bmp) << c.path;
            EXPECT_EQ(dialog.chkPNG->isEnabled(), c.png) << c.path;
            EXPECT_EQ(dialog.chkJPG->isEnabled(), c.jpg) << c.path;
            EXPECT_EQ(dialog.height(), px(2500)) << "without the quality frame";
            for (QCheckBox* box : {dialog.chkBMP, dialog.chkPNG, dialog.chkJPG}) {
                EXPECT_FALSE(box->isChecked()) << c.path;
                box->setChecked(box->isEnabled());
            }
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
    }
}

// The quality texts are cleaned in their boxes, then stored as a range or refused with a message that keeps the
// dialog open and stores nothing.
TEST_F(ConvertSingleFileDialog, StoresTheRangeFromTheCleanedTextsOrReportsWhatIsWrong) {
    const QString noQuality = QStringLiteral("No qualitiy specified.");
    const struct {
        const char *from, *to;
        int stepIndex;
        const char* shown;
        std::optional<Range> range;  // none: `error` is shown
        QString error{};
    } cases[] = {
        {"50", "70", 1, "50 to 70", Range{50, 70, 10}},      {"100", "50", 2, "100 to 50", Range{100, 50, -20}},
        {"90", "", 0, "90 to 90", Range{90, 90, 5}},         {"", "60", 3, "60 to 60", Range{60, 60, 30}},
        {"7a0", "+80%", 1, "70 to +80", Range{70, 80, 10}},  {"-20", "1-5", 0, "20 to 15", Range{20, 15, -5}},
        {"10", "100", 1, "10 to 100", Range{10, 100, 10}},   {" x", "-", 1, " to ", {}, noQuality},
        {"5", "", 1, "5 to 5", {}, kRangeMessage},           {"50", "101", 1, "50 to 101", {}, kRangeMessage},
        {"+", "+", 1, "+ to +", {}, kRangeMessage},
    };
    for (const auto& c : cases) {
        host.stored.reset();
        show(QStringLiteral("/tmp/cat.bmp"), [&] {
            step->setCurrentIndex(c.stepIndex);
            if (!c.range) {
                expectInputError(c.error, c.error == noQuality ? Icon::Exclamation : Icon::None);
            }
            convertJpg(QString::fromLatin1(c.from), QString::fromLatin1(c.to));
            EXPECT_EQ(qualities(), c.shown);
            if (!c.range) {
                EXPECT_TRUE(dialog.isVisible());
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        EXPECT_EQ(dialog.blnAccept, c.range.has_value()) << c.from << " / " << c.to;
        EXPECT_EQ(host.stored, c.range) << c.from << " / " << c.to;
    }

    show(QStringLiteral("/tmp/cat.jpg"), [&] {
        expectInputError(QStringLiteral("No file format selected."), Icon::Exclamation);
        QTest::mouseClick(doIt, Qt::LeftButton);
        quality[0]->setText(QStringLiteral("abc"));
        clickOn(dialog.chkPNG);
        QTest::mouseClick(doIt, Qt::LeftButton);
    });
    EXPECT_TRUE(dialog.blnAccept);
    EXPECT_EQ(quality[0]->text(), "abc") << "without JPG the quality boxes are not looked at";
    EXPECT_FALSE(host.stored.has_value());
}

TEST_F(ConvertSingleFileDialog, KeepsQualitiesStepAndBrowserBetweenShowingsButNotAFrameClosedWindow) {
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        step->setCurrentIndex(2);
        clickOn(dialog.chkViewInBrowser);
        clickOn(dialog.chkWarnOnOverwrite);
        convertJpg(QStringLiteral("50"), QStringLiteral("70"));
    });
    EXPECT_FALSE(dialog.chkWarnOnOverwrite->isChecked());
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        EXPECT_EQ(qualities(), "50 to 70");
        EXPECT_EQ(step->currentText(), "20");
        EXPECT_TRUE(dialog.chkViewInBrowser->isChecked());
        EXPECT_TRUE(dialog.chkWarnOnOverwrite->isChecked()) << "warning is on at every showing";
        convertJpg(QStringLiteral("80"), QStringLiteral("80"));
    });
    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(qualities(), "80 to ") << "a range of one value is offered as a single value";
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialog.blnAccept) << "Escape is Cancel";

    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(step->currentText(), "20") << "Escape leaves things as they were";
        dialog.close();
    });
    EXPECT_FALSE(dialog.blnAccept);
    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(qualities(), "100 to ");
        EXPECT_EQ(step->currentText(), "10");
        EXPECT_FALSE(dialog.chkViewInBrowser->isChecked());
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
}

}  // namespace
