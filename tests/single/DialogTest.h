#pragma once
// What the tests of the single-file dialogs share.

#include "platform/Twips.h"
#include "tests/support/ScriptedPrompts.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

namespace DialogTest {

inline int px(double twips) {
    return Twips::toPixels(twips);
}

// Check boxes and option buttons take clicks on their box and caption only.
inline void clickOn(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

}  // namespace DialogTest
