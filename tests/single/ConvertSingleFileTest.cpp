#include "platform/Prompt.h"
#include "single/frmConvertSingleFile.h"
#include "tests/single/DialogTest.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <optional>

using namespace DialogTest;

namespace {

struct Range {
    int from, to, step;
    bool operator==(const Range&) const = default;
};
void PrintTo(const Range& r, std::ostream* os) {
    *os << r.from << " to " << r.to << " step " << r.step;
}

// The main window as the dialog sees it: designed layout, qualities 10 to 100.
class FakeMainWindow : public SingleFileDialogHost {
public:
    qint16 minQuality() const override { return 10; }
    qint16 maxQuality() const override { return 100; }
    void setQualityRange(qint16 from, qint16 to, qint16 step) override { stored = Range{from, to, step}; }
    QRect mainWindowFrame() const override { return frame; }
    int topLineTop() const override { return px(180); }
    QRect inputFolderBox() const override { return folderBox; }

    std::optional<Range> stored;
    QRect frame{120, 90, px(9465), px(4975)};
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

    void expectInputError(const QString& text, Prompt::Icon icon) {
        prompts.expectMsgBox(text, Prompt::Buttons::Ok, icon, QStringLiteral("Input error"));
    }

    TestSupport::ScriptedPrompts prompts;
    FakeMainWindow host;
    frmConvertSingleFile dialog{host};
    QLineEdit* quality[2] = {control<QLineEdit>(dialog, "txbQuality(0)"), control<QLineEdit>(dialog, "txbQuality(1)")};
    QPushButton* doIt = control<QPushButton>(dialog, "cmdDoIt");
    QPushButton* cancel = control<QPushButton>(dialog, "cmdCancel");
    QComboBox* step = control<QComboBox>(dialog, "cboStep");
    QFrame* qualityFrame = control<QFrame>(dialog, "fraQuality");
};

TEST_F(ConvertSingleFileDialog, ShowingPlacesItOverTheMainWindowAndLaysItOutAgainstTheFolderBox) {
    const QString path = QStringLiteral("/home/user/pictures/holidays/2023/a rather long folder/cat.png");
    for (const double boxWidth : {6000.0, 7500.0}) {
        host.folderBox.setWidth(px(boxWidth));
        show(path, [&] {
            EXPECT_EQ(dialog.pos(), QPoint(px(twips(120) + 2625 + 10), px(twips(90) + 180 + 300)));
            EXPECT_EQ(dialog.size(), QSize(px(boxWidth), px(2500)));
            EXPECT_EQ(dialog.txbFile->width(), px(boxWidth - 105 - 200));
            EXPECT_EQ(doIt->geometry(), Twips::rect(boxWidth - 1800 - 200, 1260, 1800, 360));
            EXPECT_EQ(cancel->geometry(), Twips::rect(boxWidth - 1800 - 200, 1680, 1800, 360));
            // The options right-aligned with the file box, from the second label down, clear of the buttons.
            EXPECT_EQ(dialog.chkWarnOnOverwrite->y(), control<QLabel>(dialog, "lblToBeConvertedTo(0)")->y());
            EXPECT_EQ(dialog.chkWarnOnOverwrite->geometry().right(), dialog.txbFile->geometry().right());
            EXPECT_EQ(dialog.chkViewInBrowser->pos(), QPoint(dialog.chkWarnOnOverwrite->x(), px(840 + 330)));
            EXPECT_FALSE(dialog.chkViewInBrowser->geometry().intersects(doIt->geometry()));

            EXPECT_EQ(dialog.txbFile->cursorPosition(), path.size());
            EXPECT_TRUE(dialog.chkWarnOnOverwrite->isChecked());
            EXPECT_FALSE(qualityFrame->isVisible());
            EXPECT_EQ(quality[0]->text(), "100");
            EXPECT_EQ(step->currentText(), "10");
            EXPECT_EQ(dialog.focusWidget(), cancel);
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        EXPECT_FALSE(dialog.blnAccept);
    }
}

TEST_F(ConvertSingleFileDialog, JpgOpensTheQualityFrameAndEveryShowingClosesIt) {
    for (int showing = 0; showing < 2; ++showing) {
        show(QStringLiteral("/tmp/cat.bmp"), [&] {
            EXPECT_FALSE(dialog.chkJPG->isChecked());
            EXPECT_EQ(dialog.height(), px(2500));
            EXPECT_EQ(doIt->y(), px(1260));
            clickOn(dialog.chkJPG);
            EXPECT_TRUE(qualityFrame->isVisible());
            EXPECT_EQ(qualityFrame->geometry(), Twips::rect(105, 2100, 3480, 435));
            EXPECT_EQ(dialog.height(), px(3000));
            EXPECT_EQ(doIt->y(), px(1760));
            EXPECT_EQ(cancel->y(), px(2180));
            EXPECT_EQ(dialog.focusWidget(), doIt);
            if (showing == 0) {
                clickOn(dialog.chkJPG);
                EXPECT_FALSE(qualityFrame->isVisible());
                EXPECT_EQ(dialog.height(), px(2500));
                EXPECT_EQ(cancel->y(), px(1680));
                clickOn(dialog.chkJPG);
            }
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
    }
}

TEST_F(ConvertSingleFileDialog, TheInputsOwnFormatIsNoTargetAndTargetsAreResetOnShowing) {
    struct Case {
        const char* path;
        bool bmp, png, jpg;
    } const cases[] = {{"/t/a.bmp", false, true, true}, {"/t/a.PNG", true, false, true},
                       {"/t/a.jpg", true, true, false}, {"/t/a.gif", true, true, true},
                       {"/t/a.jpeg", true, true, true}, {"C:\\data\\Img.Jpg", true, true, false}};
    for (const Case& c : cases) {
        show(QString::fromLatin1(c.path), [&] {
            EXPECT_EQ(dialog.chkBMP->isEnabled(), c.bmp) << c.path;
            EXPECT_EQ(dialog.chkPNG->isEnabled(), c.png) << c.path;
            EXPECT_EQ(dialog.chkJPG->isEnabled(), c.jpg) << c.path;
            for (QCheckBox* box : {dialog.chkBMP, dialog.chkPNG, dialog.chkJPG}) {
                EXPECT_FALSE(box->isChecked()) << c.path;
                if (box->isEnabled()) {
                    clickOn(box);
                }
            }
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
    }
}

TEST_F(ConvertSingleFileDialog, FailedChecksKeepTheDialogOpenAndStoreNothing) {
    show(QStringLiteral("/tmp/cat.png"), [&] {
        expectInputError(QStringLiteral("No file format selected."), Prompt::Icon::Exclamation);
        QTest::mouseClick(doIt, Qt::LeftButton);

        expectInputError(QStringLiteral("No qualitiy specified."), Prompt::Icon::Exclamation);
        convertJpg(QStringLiteral(" x"), QStringLiteral("-"));
        EXPECT_EQ(quality[0]->text() + quality[1]->text(), "");

        expectInputError(kRangeMessage, Prompt::Icon::None);
        convertJpg(QStringLiteral("5"), QString());
        EXPECT_EQ(quality[1]->text(), "5") << "a single value is copied before the range check";

        expectInputError(kRangeMessage, Prompt::Icon::None);
        convertJpg(QStringLiteral("50"), QStringLiteral("101"));
        expectInputError(kRangeMessage, Prompt::Icon::None);
        convertJpg(QStringLiteral("+"), QStringLiteral("+"));

        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.blnAccept);
        EXPECT_FALSE(host.stored.has_value());
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    EXPECT_EQ(prompts.pending(), 0);
}

TEST_F(ConvertSingleFileDialog, StoresTheRangeFromTheCleanedTexts) {
    struct Case {
        const char *from, *to;
        int stepIndex;
        const char *shownFrom, *shownTo;
        Range range;
    } const cases[] = {
        {"50", "70", 1, "50", "70", {50, 70, 10}},     {"100", "50", 2, "100", "50", {100, 50, -20}},
        {"90", "", 0, "90", "90", {90, 90, 5}},        {"", "60", 3, "60", "60", {60, 60, 30}},
        {"7a0", "+80%", 1, "70", "+80", {70, 80, 10}}, {"-20", "1-5", 0, "20", "15", {20, 15, -5}},
        {"10", "100", 1, "10", "100", {10, 100, 10}},
    };
    for (const Case& c : cases) {
        show(QStringLiteral("/tmp/cat.bmp"), [&] {
            step->setCurrentIndex(c.stepIndex);
            convertJpg(QString::fromLatin1(c.from), QString::fromLatin1(c.to));
            EXPECT_EQ(quality[0]->text(), c.shownFrom);
            EXPECT_EQ(quality[1]->text(), c.shownTo);
        });
        EXPECT_TRUE(dialog.blnAccept) << c.from << " / " << c.to;
        EXPECT_EQ(host.stored, c.range) << c.from << " / " << c.to;
    }

    // Without JPG the quality boxes are not looked at and nothing is stored.
    host.stored.reset();
    show(QStringLiteral("/tmp/cat.jpg"), [&] {
        quality[0]->setText(QStringLiteral("abc"));
        clickOn(dialog.chkPNG);
        EXPECT_EQ(dialog.focusWidget(), doIt);
        QTest::mouseClick(doIt, Qt::LeftButton);
    });
    EXPECT_TRUE(dialog.blnAccept);
    EXPECT_TRUE(dialog.chkPNG->isChecked());
    EXPECT_EQ(quality[0]->text(), "abc");
    EXPECT_FALSE(host.stored.has_value());
}

TEST_F(ConvertSingleFileDialog, KeepsQualitiesStepAndBrowserBetweenShowingsButNotAFrameClosedWindow) {
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        step->setCurrentIndex(2);
        clickOn(dialog.chkViewInBrowser);
        EXPECT_EQ(dialog.focusWidget(), doIt);
        clickOn(dialog.chkWarnOnOverwrite);
        convertJpg(QStringLiteral("80"), QStringLiteral("80"));
    });
    EXPECT_FALSE(dialog.chkWarnOnOverwrite->isChecked());

    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        EXPECT_FALSE(dialog.blnAccept);
        EXPECT_EQ(quality[0]->text() + "/" + quality[1]->text(), "80/") << "a range of one value is cleared";
        EXPECT_EQ(step->currentText(), "20");
        EXPECT_TRUE(dialog.chkViewInBrowser->isChecked());
        EXPECT_TRUE(dialog.chkWarnOnOverwrite->isChecked());
        convertJpg(QStringLiteral("50"), QStringLiteral("70"));
    });

    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(quality[0]->text() + "/" + quality[1]->text(), "50/70");
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialog.blnAccept);

    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(step->currentText(), "20") << "Escape is Cancel";
        clickOn(dialog.chkBMP);
        dialog.close();
    });
    EXPECT_FALSE(dialog.blnAccept);
    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(quality[0]->text() + "/" + quality[1]->text(), "100/");
        EXPECT_EQ(step->count(), 4);
        EXPECT_EQ(step->currentText(), "10");
        EXPECT_FALSE(dialog.chkViewInBrowser->isChecked());
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
}

TEST_F(ConvertSingleFileDialog, WorksFromTheKeyboardWithNamedControls) {
    EXPECT_EQ(unnamedControls(dialog).join(' '), "");
    EXPECT_EQ(dialog.txbFile->accessibleName(), "File to be converted");
    show(QStringLiteral("/tmp/cat.png"), [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        dialog.chkJPG->setFocus();
        QTest::keyClick(dialog.chkJPG, Qt::Key_Space);
        EXPECT_TRUE(qualityFrame->isVisible());
        EXPECT_EQ(tabOrder(dialog.txbFile),
                  "txbFile chkBMP chkPNG chkJPG txbQuality(0) txbQuality(1) cboStep "
                  "chkWarnOnOverwrite chkViewInBrowser cmdDoIt cmdCancel");
        step->setFocus();
        QTest::keyClick(step, Qt::Key_Down);
        EXPECT_EQ(step->currentText(), "20");
        EXPECT_EQ(dialog.focusWidget(), doIt);
        quality[0]->setFocus();
        quality[0]->selectAll();
        QTest::keyClicks(quality[0], QStringLiteral("30"));
        QTest::keyClick(quality[0], Qt::Key_Return);
    });
    EXPECT_TRUE(dialog.blnAccept);
    EXPECT_EQ(host.stored, (Range{30, 30, 20}));
}

}  // namespace
