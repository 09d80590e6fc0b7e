#pragma once

#include <QString>
#include <optional>

class QDialog;

// Every modal interaction of the program passes through here: message boxes,
// the Open and Save file dialogs, modal windows, handing files and web
// addresses to the desktop, and the clipboard. The program shows real widgets;
// tests install a scripted Responder instead.
namespace Prompt {

enum class Buttons { Ok, OkCancel, YesNoCancel, YesNo };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Cancel, Yes, No };

// A file dialog: its title, one filter entry written "description|pattern;pattern",
// and the file name it starts with.
struct FileDialog {
    QString title;
    QString filter;
    QString fileName;
};

class Responder {
public:
    virtual ~Responder() = default;
    virtual Answer msgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) = 0;
    // The chosen path, or an empty text when the user cancelled.
    virtual QString openFileName(const FileDialog& dialog) = 0;
    virtual QString saveFileName(const FileDialog& dialog) = 0;
    // Shows a window modally; returns when it has been hidden.
    virtual void execDialog(QDialog& dialog) = 0;
    // Hands a web address (isUrl) or a file path to the desktop; true when it was accepted.
    virtual bool openExternal(const QString& target, bool isUrl) = 0;
    virtual void setClipboardText(const QString& text) = 0;
    virtual QString clipboardText() = 0;
};

// Installs a responder (nullptr restores the real widgets). Returns the previous one.
Responder* setResponder(Responder* responder);

// The program's title, shown on message boxes that have no title of their own.
void setProgramTitle(const QString& title);
QString programTitle();

// Shows a message box. No title (std::nullopt) means the program's title; an
// empty text is an empty title.
Answer MsgBox(const QString& text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
              const std::optional<QString>& title = std::nullopt);

QString OpenFileName(const FileDialog& dialog);
QString SaveFileName(const FileDialog& dialog);
void ExecDialog(QDialog& dialog);
bool OpenExternal(const QString& target, bool isUrl);
void SetClipboardText(const QString& text);
QString ClipboardText();

// "BMP and PNG|*.bmp;*.png" in the form Qt's file dialogs take, "BMP and PNG (*.bmp *.png)".
// The program's file dialogs match the patterns whatever the letter case of a name.
QString qtFilter(const QString& filter);

}  // namespace Prompt
