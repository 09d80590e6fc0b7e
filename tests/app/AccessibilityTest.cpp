// Every window of the program as a screen reader meets it.
#include "app/frmHelp.h"
#include "fs/frmSpecifyDirectory.h"
#include "scramble/frmScrambler.h"
#include "single/frmTargetFileExists.h"
#include "tests/app/AppTest.h"

#include <QAccessible>
#include <functional>

namespace {

// The controls a screen reader can move to but cannot name, and the buttons not named by their caption.
QStringList namingFaults(QWidget& window) {
    QStringList faults;
    std::function<void(QAccessibleInterface*, const QString&)> walk = [&](QAccessibleInterface* node,
                                                                          const QString& where) {
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface* child = node->child(i);
            if (!child) {
                continue;
            }
            QObject* object = child->object();
            const QString who =
                object ? QStringLiteral("%1 %2").arg(object->metaObject()->className(), object->objectName())
                       : QStringLiteral("item %1 of %2").arg(i).arg(where);
            const QString name = child->text(QAccessible::Name);
            if (child->state().focusable && name.trimmed().isEmpty()) {
                faults << who + " has no name";
            }
            if (auto* button = qobject_cast<QAbstractButton*>(object); button && name != button->text().remove('&')) {
                faults << who + " is named \"" + name + "\"";
            }
            walk(child, who);
        }
    };
    walk(QAccessible::queryAccessibleInterface(&window), window.objectName());
    return faults;
}

TEST(Accessibility, EveryWindowNamesWhatTheKeyboardReachesAndLinksSayTheyOpenAWebPage) {
    LoadedMainWindow main;
    frmHelp::ShowHelp(&main);
    frmTargetFileExists fileExists(&main);
    frmSpecifyDirectory chooser;
    frmScrambler scrambler;
    QWidget* windows[] = {&main,    frmHelp::instance(), &main.convertSingleFileDialog(), &fileExists,
                          &chooser, &scrambler};
    for (QWidget* window : windows) {
        EXPECT_EQ(namingFaults(*window).join("; "), "") << window->objectName().toStdString();
    }
    for (const char* link : {"lblTaldrin", "lblOnlineDocumentation"}) {
        const QString name =
            QAccessible::queryAccessibleInterface(main.findChild<QWidget*>(link))->text(QAccessible::Name);
        EXPECT_TRUE(name.endsWith(" (opens a web page)")) << name.toStdString();
    }
}

}  // namespace
