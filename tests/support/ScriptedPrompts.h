#pragma once

#include "platform/Prompt.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QDialog;

namespace TestSupport {

// A scripted user for the prompt seam. Each expected prompt is checked in turn
// (text, buttons, icon and title of a message box; title, filter and file name of
// a file dialog; the object name of a modal window; the target handed to the
// desktop) and answered as scripted. A prompt that was not expected, or one that
// differs from the next expectation, fails the test; so does an expectation left
// unused when the script is destroyed. Installs itself for its lifetime.
class ScriptedPrompts : public Prompt::Responder {
public:
    ScriptedPrompts();
    ~ScriptedPrompts() override;
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    ScriptedPrompts& expectMsgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                                  const QString& title, Prompt::Answer answer = Prompt::Answer::Ok);
    ScriptedPrompts& expectOpenFile(const QString& title, const QString& filter, const QString& answer);
    ScriptedPrompts& expectSaveFile(const QString& title, const QString& filter, const QString& answer);
    // The window is handed to `act`, which plays the user and must leave it hidden.
    ScriptedPrompts& expectDialog(const QString& objectName, std::function<void(QDialog&)> act);
    ScriptedPrompts& expectOpenExternal(const QString& target, bool isUrl, bool accepted = true);

    // Expectations not yet used.
    int pending() const { return static_cast<int>(m_script.size()); }
    // Fails the current test when expectations are left, and forgets them.
    void verify();

    // Every prompt seen so far, one line each, for messages about failures.
    const QStringList& log() const { return m_log; }

    QString clipboard;
    bool clipboardWritten = false;

    Prompt::Answer msgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                          const QString& title) override;
    QString openFileName(const Prompt::FileDialog& dialog) override;
    QString saveFileName(const Prompt::FileDialog& dialog) override;
    void execDialog(QDialog& dialog) override;
    bool openExternal(const QString& target, bool isUrl) override;
    void setClipboardText(const QString& text) override;
    QString clipboardText() override;

private:
    enum class Kind { MsgBox, OpenFile, SaveFile, Dialog, External };
    struct Step {
        Kind kind;
        QString text;
        QString title;
        QString filter;
        Prompt::Buttons buttons = Prompt::Buttons::Ok;
        Prompt::Icon icon = Prompt::Icon::None;
        Prompt::Answer answer = Prompt::Answer::Ok;
        QString fileAnswer;
        bool flag = false;
        bool accepted = true;
        std::function<void(QDialog&)> act;
    };

    // The next step if it is of `kind`; otherwise records a failure and returns false.
    bool take(Kind kind, const QString& what, Step& step);
    QString fileDialog(Kind kind, const Prompt::FileDialog& dialog);

    std::deque<Step> m_script;
    QStringList m_log;
    Prompt::Responder* m_previous = nullptr;
};

QString describe(Prompt::Buttons buttons);
QString describe(Prompt::Icon icon);

}  // namespace TestSupport
