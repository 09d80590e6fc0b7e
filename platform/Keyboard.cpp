#include "platform/Keyboard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPushButton>
#include <QWidget>

namespace {

class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return QObject::eventFilter(watched, event);
        }
        // A held key would start the same operation again and again.
        if (!key->isAutoRepeat()) {
            auto* button = static_cast<QPushButton*>(watched);
            if (button->isEnabled()) {
                button->click();
            }
        }
        return true;
    }
};

}  // namespace

namespace Keyboard {

void PressButtonsWithEnter(QWidget* window) {
    auto* filter = new EnterPressesButton(window);
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        button->installEventFilter(filter);
    }
}

}  // namespace Keyboard
