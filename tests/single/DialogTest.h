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
#include <stdexcept>

namespace DialogTest {

inline int px(double twips) {
    return Twips::toPixels(twips);
}

template <class T>
T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return found;
}

// Check boxes and option buttons take clicks on their box and caption only.
inline void clickOn(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

}  // namespace DialogTest
