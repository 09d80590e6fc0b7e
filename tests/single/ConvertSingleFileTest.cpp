#include "platform/Prompt.h"
#include "platform/Twips.h"
#include "single/frmConvertSingleFile.h"
#include "tests/support/ScriptedPrompts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <optional>
#include <stdexcept>

using Prompt::Buttons;
using Prompt::Icon;
using TestSupport::ScriptedPrompts;

namespace {

// The main window as the dialog sees it, laid out as designed.
class FakeMainWindow : public SingleFileDialogHost {
public:
    qint16 minQuality() const override { return 10; }
    qint16 maxQuality() const override { return 100; }
    void setQualityRange(qint16 from, qint16 to, qint16 step) override { stored = Range{from, to, step}; }
    QRect mainWindowFrame() const override { return frame; }
    int topLineTop() const override { return Twips::toPixels(180); }
    QRect inputFolderBox() const override { return folderBox; }

    struct Range {
        qint16 from;
        qint16 to;
        qint16 step;
        bool operator==(const Range&) const = default;
    };
    std::optional<Range> stored;
    QRect frame{120, 90, Twips::toPixels(9465), Twips::toPixels(4975)};
    QRect folderBox = Twips::rect(2625, 525, 6000, 360);
};

void PrintTo(const FakeMainWindow::Range& r, std::ostream* os) {
    *os << r.from << " to " << r.to << " step " << r.step;
}

// Check boxes and option buttons take clicks on their box and caption only.
void clickOn(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

// The controls that Tab reaches, in order, from `first` round to it again.
QString tabOrder(QWidget* first) {
    QStringList names{first->objectName()};
    for (QWidget* widget = first->nextInFocusChain(); widget != first; widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(first->window())) {
            names << widget->objectName();
        }
    }
    return names.join(QLatin1Char(' '));
}

template <class T>
T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return found;
}

int px(double twips) { return Twips::toPixels(twips); }

class ConvertSingleFileDialog : public ::testing::Test {
protected:
    // Shows the dialog for a file as the single-file operation does; `act` plays the user.
    void show(const QString& path, const std::function<void()>& act) {
        dialog.strFilepath = path;
        dialog.txbFile->setText(path);
        prompts.expectDialog(QStringLiteral("frmConvertSingleFile"), [&](QDialog&) { act(); });
        Prompt::ExecDialog(dialog);
    }

    QLineEdit* quality(int index) {
        return index == 0 ? control<QLineEdit>(dialog, "txbQuality(0)") : control<QLineEdit>(dialog, "txbQuality(1)");
    }
    QPushButton* doIt() { return control<QPushButton>(dialog, "cmdDoIt"); }
    QPushButton* cancel() { return control<QPushButton>(dialog, "cmdCancel"); }
    QComboBox* step() { return control<QComboBox>(dialog, "cboStep"); }
    QFrame* qualityFrame() { return control<QFrame>(dialog, "fraQuality"); }

    // Checks JPG unless it is, fills the quality boxes and presses "Convert file".
    void convertJpg(const QString& from, const QString& to) {
        if (!dialog.chkJPG->isChecked()) {
            clickOn(dialog.chkJPG);
        }
        quality(0)->setText(from);
        quality(1)->setText(to);
        QTest::mouseClick(doIt(), Qt::LeftButton);
    }

    void expectInputError(const QString& text, Icon icon) {
        prompts.expectMsgBox(text, Buttons::Ok, icon, QStringLiteral("Input error"));
    }

    ScriptedPrompts prompts;
    FakeMainWindow host;
    frmConvertSingleFile dialog{host};
};

const QString kRangeMessage = QStringLiteral("For conversion to JPG the quality must be in the range 10 through 100.");

TEST_F(ConvertSingleFileDialog, ShowingPlacesTheWindowOverTheMainWindowAndLaysItOut) {
    const QString longPath = QStringLiteral("/home/user/pictures/holidays/2023/a rather long folder name/cat.png");
    show(longPath, [&] {
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Convert single file");
        // top = main top + lblTopLine top + 300, left = main left + folder box left + 10, width of the box.
        EXPECT_EQ(dialog.pos(), QPoint(px(Twips::fromPixels(120) + Twips::fromPixels(px(2625)) + 10),
                                       px(Twips::fromPixels(90) + Twips::fromPixels(px(180)) + 300)));
        EXPECT_EQ(dialog.width(), px(6000));
        EXPECT_EQ(dialog.height(), px(2500));

        EXPECT_EQ(dialog.txbFile->geometry().left(), px(105));
        EXPECT_EQ(dialog.txbFile->width(), px(6000 - 105 - 200));
        EXPECT_EQ(doIt()->x(), px(6000 - 1800 - 200));
        EXPECT_EQ(cancel()->x(), doIt()->x());
        EXPECT_EQ(doIt()->y(), px(1260));
        EXPECT_EQ(cancel()->y(), px(1680));
        EXPECT_EQ(doIt()->size(), QSize(px(1800), px(360)));
        // The two options sit right-aligned with the file box, from the second label down.
        EXPECT_EQ(dialog.chkWarnOnOverwrite->y(), control<QLabel>(dialog, "lblToBeConvertedTo(0)")->y());
        EXPECT_EQ(dialog.chkWarnOnOverwrite->geometry().right(), dialog.txbFile->geometry().right());
        EXPECT_EQ(dialog.chkViewInBrowser->y(), px(840 + 330));
        EXPECT_EQ(dialog.chkViewInBrowser->x(), dialog.chkWarnOnOverwrite->x());
        // ...without running into the buttons.
        EXPECT_FALSE(dialog.chkViewInBrowser->geometry().intersects(doIt()->geometry()));

        EXPECT_EQ(dialog.txbFile->cursorPosition(), longPath.size());
        EXPECT_TRUE(dialog.txbFile->isReadOnly());
        EXPECT_TRUE(dialog.chkWarnOnOverwrite->isChecked());
        EXPECT_FALSE(dialog.chkViewInBrowser->isChecked());
        EXPECT_FALSE(qualityFrame()->isVisible());
        EXPECT_EQ(quality(0)->text().toStdString(), "100");
        EXPECT_EQ(step()->currentText().toStdString(), "10");
        EXPECT_EQ(dialog.focusWidget(), cancel());
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    EXPECT_FALSE(dialog.blnAccept);
}

TEST_F(ConvertSingleFileDialog, LayoutFollowsTheWidthOfTheInputFolderBox) {
    host.folderBox = Twips::rect(2625, 525, 4500, 360);
    host.frame.moveTo(0, 0);
    show(QStringLiteral("/tmp/a.gif"), [&] {
        EXPECT_EQ(dialog.pos(), QPoint(px(Twips::fromPixels(px(2625)) + 10), px(Twips::fromPixels(px(180)) + 300)));
        EXPECT_EQ(dialog.width(), px(4500));
        EXPECT_EQ(dialog.txbFile->width(), px(4500 - 105 - 200));
        EXPECT_EQ(doIt()->x(), px(4500 - 1800 - 200));
        EXPECT_EQ(dialog.chkWarnOnOverwrite->geometry().right(), dialog.txbFile->geometry().right());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
}

TEST_F(ConvertSingleFileDialog, CheckingJpgOpensTheQualityFrameAndMovesTheButtons) {
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        clickOn(dialog.chkJPG);
        EXPECT_TRUE(qualityFrame()->isVisible());
        EXPECT_EQ(qualityFrame()->geometry(), Twips::rect(105, 2100, 3480, 435));
        EXPECT_EQ(dialog.height(), px(3000));
        EXPECT_EQ(doIt()->y(), px(1760));
        EXPECT_EQ(cancel()->y(), px(2180));
        EXPECT_EQ(dialog.focusWidget(), doIt());

        clickOn(dialog.chkJPG);
        EXPECT_FALSE(qualityFrame()->isVisible());
        EXPECT_EQ(dialog.height(), px(2500));
        EXPECT_EQ(doIt()->y(), px(1260));
        EXPECT_EQ(cancel()->y(), px(1680));

        // Left checked, the next showing closes the frame again.
        clickOn(dialog.chkJPG);
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        EXPECT_FALSE(dialog.chkJPG->isChecked());
        EXPECT_FALSE(qualityFrame()->isVisible());
        EXPECT_EQ(dialog.height(), px(2500));
        EXPECT_EQ(doIt()->y(), px(1260));
        EXPECT_EQ(cancel()->y(), px(1680));
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(ConvertSingleFileDialog, TheInputsOwnFormatIsNoTarget) {
    struct Case {
        const char* path;
        bool bmp, png, jpg;
    };
    const Case cases[] = {
        {"/tmp/photo.bmp", false, true, true},  {"/tmp/photo.PNG", true, false, true},
        {"/tmp/photo.jpg", true, true, false},  {"/tmp/photo.gif", true, true, true},
        {"/tmp/photo.jpeg", true, true, true},  {"C:\\data\\Img.Jpg", true, true, false},
    };
    for (const Case& c : cases) {
        show(QString::fromLatin1(c.path), [&] {
            EXPECT_EQ(dialog.chkBMP->isEnabled(), c.bmp) << c.path;
            EXPECT_EQ(dialog.chkPNG->isEnabled(), c.png) << c.path;
            EXPECT_EQ(dialog.chkJPG->isEnabled(), c.jpg) << c.path;
            // Check everything offered, so the next showing has to reset it.
            for (QCheckBox* box : {dialog.chkBMP, dialog.chkPNG, dialog.chkJPG}) {
                if (box->isEnabled()) {
                    clickOn(box);
                }
            }
            QTest::mouseClick(cancel(), Qt::LeftButton);
        });
        EXPECT_FALSE(dialog.blnAccept);
    }
    show(QStringLiteral("/tmp/next.gif"), [&] {
        EXPECT_FALSE(dialog.chkBMP->isChecked());
        EXPECT_FALSE(dialog.chkPNG->isChecked());
        EXPECT_FALSE(dialog.chkJPG->isChecked());
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(ConvertSingleFileDialog, FailedChecksKeepTheDialogOpenAndStoreNothing) {
    show(QStringLiteral("/tmp/cat.png"), [&] {
        expectInputError(QStringLiteral("No file format selected."), Icon::Exclamation);
        QTest::mouseClick(doIt(), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());

        expectInputError(QStringLiteral("No qualitiy specified."), Icon::Exclamation);
        convertJpg(QStringLiteral(" x"), QStringLiteral("-"));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(quality(0)->text().toStdString(), "");
        EXPECT_EQ(quality(1)->text().toStdString(), "");

        expectInputError(kRangeMessage, Icon::None);
        convertJpg(QStringLiteral("5"), QString());
        EXPECT_TRUE(dialog.isVisible());
        // The single value was already copied into the to box.
        EXPECT_EQ(quality(1)->text().toStdString(), "5");

        expectInputError(kRangeMessage, Icon::None);
        convertJpg(QStringLiteral("50"), QStringLiteral("101"));

        // A lone "+" is no number at all.
        expectInputError(kRangeMessage, Icon::None);
        convertJpg(QStringLiteral("+"), QStringLiteral("+"));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.blnAccept);
        EXPECT_FALSE(host.stored.has_value());
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    EXPECT_FALSE(dialog.blnAccept);
    EXPECT_EQ(prompts.pending(), 0);
}

TEST_F(ConvertSingleFileDialog, StoresTheQualityRangeFromTheCleanedTexts) {
    struct Case {
        const char* from;
        const char* to;
        int stepIndex;
        const char* shownFrom;
        const char* shownTo;
        FakeMainWindow::Range range;
    };
    const Case cases[] = {
        {"50", "70", 1, "50", "70", {50, 70, 10}},   {"100", "50", 2, "100", "50", {100, 50, -20}},
        {"90", "", 0, "90", "90", {90, 90, 5}},       {"", "60", 3, "60", "60", {60, 60, 30}},
        {"7a0", "+80%", 1, "70", "+80", {70, 80, 10}}, {"-20", "1-5", 0, "20", "15", {20, 15, -5}},
        {"10", "100", 1, "10", "100", {10, 100, 10}},
    };
    for (const Case& c : cases) {
        host.stored.reset();
        show(QStringLiteral("/tmp/cat.bmp"), [&] {
            clickOn(dialog.chkJPG);
            step()->setCurrentIndex(c.stepIndex);
            convertJpg(QString::fromLatin1(c.from), QString::fromLatin1(c.to));
            EXPECT_EQ(quality(0)->text().toStdString(), c.shownFrom) << c.from << " / " << c.to;
            EXPECT_EQ(quality(1)->text().toStdString(), c.shownTo) << c.from << " / " << c.to;
        });
        EXPECT_TRUE(dialog.blnAccept) << c.from << " / " << c.to;
        EXPECT_EQ(host.stored, std::optional(c.range)) << c.from << " / " << c.to;
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(ConvertSingleFileDialog, WithoutJpgTheQualityBoxesAreNotLookedAt) {
    show(QStringLiteral("/tmp/cat.jpg"), [&] {
        quality(0)->setText(QStringLiteral("abc"));
        clickOn(dialog.chkPNG);
        EXPECT_EQ(dialog.focusWidget(), doIt());
        QTest::mouseClick(doIt(), Qt::LeftButton);
    });
    EXPECT_TRUE(dialog.blnAccept);
    EXPECT_TRUE(dialog.chkPNG->isChecked());
    EXPECT_FALSE(dialog.chkBMP->isChecked());
    EXPECT_TRUE(dialog.chkWarnOnOverwrite->isChecked());
    EXPECT_EQ(quality(0)->text().toStdString(), "abc");
    EXPECT_FALSE(host.stored.has_value());
}

TEST_F(ConvertSingleFileDialog, KeepsQualitiesStepAndBrowserButResetsTheRest) {
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        clickOn(dialog.chkJPG);
        step()->setCurrentIndex(2);
        clickOn(dialog.chkViewInBrowser);
        EXPECT_EQ(dialog.focusWidget(), doIt());
        clickOn(dialog.chkWarnOnOverwrite);
        quality(0)->setText(QStringLiteral("80"));
        quality(1)->setText(QStringLiteral("80"));
        QTest::mouseClick(doIt(), Qt::LeftButton);
    });
    ASSERT_TRUE(dialog.blnAccept);
    EXPECT_FALSE(dialog.chkWarnOnOverwrite->isChecked());
    EXPECT_TRUE(dialog.chkJPG->isChecked());

    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        EXPECT_FALSE(dialog.blnAccept);
        EXPECT_EQ(quality(0)->text().toStdString(), "80");
        EXPECT_EQ(quality(1)->text().toStdString(), "") << "a range of one value is cleared";
        EXPECT_EQ(step()->currentText().toStdString(), "20");
        EXPECT_TRUE(dialog.chkViewInBrowser->isChecked());
        EXPECT_TRUE(dialog.chkWarnOnOverwrite->isChecked());
        EXPECT_FALSE(dialog.chkJPG->isChecked());
        convertJpg(QStringLiteral("50"), QStringLiteral("70"));
    });
    ASSERT_TRUE(dialog.blnAccept);

    show(QStringLiteral("/tmp/dog.png"), [&] {
        EXPECT_EQ(quality(0)->text().toStdString(), "50");
        EXPECT_EQ(quality(1)->text().toStdString(), "70");
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    EXPECT_FALSE(dialog.blnAccept);
}

TEST_F(ConvertSingleFileDialog, EscapeAndTheCloseBoxCancelAndTheCloseBoxStartsAfresh) {
    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        clickOn(dialog.chkPNG);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(dialog.blnAccept);

    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        step()->setCurrentIndex(3);
        clickOn(dialog.chkViewInBrowser);
        quality(0)->setText(QStringLiteral("60"));
        quality(1)->setText(QStringLiteral("40"));
        clickOn(dialog.chkPNG);
        dialog.close();
    });
    EXPECT_FALSE(dialog.blnAccept);

    show(QStringLiteral("/tmp/cat.bmp"), [&] {
        EXPECT_EQ(quality(0)->text().toStdString(), "100");
        EXPECT_EQ(quality(1)->text().toStdString(), "");
        EXPECT_EQ(step()->count(), 4);
        EXPECT_EQ(step()->currentText().toStdString(), "10");
        EXPECT_FALSE(dialog.chkViewInBrowser->isChecked());
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(ConvertSingleFileDialog, WorksFromTheKeyboard) {
    show(QStringLiteral("/tmp/cat.png"), [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        // The tab order follows the window: file, formats, qualities, options, buttons.
        clickOn(dialog.chkJPG);
        EXPECT_EQ(tabOrder(dialog.txbFile).toStdString(),
                  "txbFile chkBMP chkPNG chkJPG txbQuality(0) txbQuality(1) cboStep chkWarnOnOverwrite "
                  "chkViewInBrowser cmdDoIt cmdCancel");
        clickOn(dialog.chkJPG);

        dialog.chkJPG->setFocus();
        QTest::keyClick(dialog.chkJPG, Qt::Key_Space);
        EXPECT_TRUE(dialog.chkJPG->isChecked());
        EXPECT_TRUE(qualityFrame()->isVisible());
        quality(0)->setFocus();
        quality(0)->selectAll();
        QTest::keyClicks(quality(0), QStringLiteral("30"));
        // Enter in a box presses "Convert file".
        QTest::keyClick(quality(0), Qt::Key_Return);
    });
    EXPECT_TRUE(dialog.blnAccept);
    EXPECT_EQ(host.stored, std::optional(FakeMainWindow::Range{30, 30, 10}));
}

TEST_F(ConvertSingleFileDialog, EveryControlHasAnAccessibleName) {
    for (QWidget* widget : dialog.findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_"))) {
            continue;  // Qt's own parts of a control
        }
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
    }
    EXPECT_EQ(dialog.txbFile->accessibleName().toStdString(), "File to be converted");
    EXPECT_EQ(quality(1)->accessibleName().toStdString(), "Quality to");
}

}  // namespace
