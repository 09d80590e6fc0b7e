#pragma once

#include "platform/Prompt.h"
#include "tests/support/TestHelpers.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

class QDialog;

namespace TestSupport {

// A scripted user for the prompt seam. Each prompt is described in one line (text,
// buttons, icon and title of a message box; title and filter of a file dialog; the
// object name of a modal window; the target handed to the desktop), checked against the
// next expectation and answered as scripted. A prompt that was not expected, or one that
// differs from the next expectation, fails the test; so does an expectation left unused
// when the script is destroyed. Installs itself for its lifetime.
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

    // Fails the current test when expectations are left, and forgets them.
    void verify();
    // Every prompt seen so far, one line each.
    const QStringList& log() const { return m_log; }

    QString clipboard;
    bool clipboardWritten = false;

    Prompt::Answer msgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                          const QString& title) override;
    QString openFileName(const Prompt::FileDialog& dialog) override { return fileName("Open", dialog); }
    QString saveFileName(const Prompt::FileDialog& dialog) override { return fileName("Save", dialog); }
    void execDialog(QDialog& dialog) override;
    bool openExternal(const QString& target, bool isUrl) override;
    void setClipboardText(const QString& text) override;
    QString clipboardText() override { return clipboard; }

private:
    struct Step {
        QString what;  // the prompt's line
        Prompt::Answer answer = Prompt::Answer::Ok;
        QString fileName{};
        bool accepted = true;
        std::function<void(QDialog&)> act{};
    };

    ScriptedPrompts& expect(Step step);
    // The next step, once `what` has been checked against it; none when none is left.
    std::optional<Step> take(const QString& what);
    QString fileName(const char* kind, const Prompt::FileDialog& dialog);

    std::deque<Step> m_script;
    QStringList m_log;
    Prompt::Responder* m_previous = nullptr;
};

}  // namespace TestSupport

// Tests name the answers, buttons and icons alone.
using Prompt::Answer;
using Prompt::Buttons;
using Prompt::Icon;
using TestSupport::ScriptedPrompts;
