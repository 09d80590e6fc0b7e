#pragma once

class QWidget;

// Keyboard use of the program's windows beyond what Qt gives every widget.
namespace Keyboard {

// Lets Enter (either key) press whichever push button of `window` has the focus, as Space
// does. Qt does this only inside dialogs; the program's other windows are plain widgets.
// Covers the buttons that exist when it is called.
void PressButtonsWithEnter(QWidget* window);

}  // namespace Keyboard
