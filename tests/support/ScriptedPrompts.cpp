#include "tests/support/ScriptedPrompts.h"

#include <QDialog>
#include <gtest/gtest.h>

namespace TestSupport {
namespace {

QString visible(QString text) {
    return text.replace(QLatin1String("\r"), QLatin1String("\\r")).replace(QLatin1String("\n"), QLatin1String("\\n"));
}

QString msgBoxLine(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon, const QString& title) {
    const char* const buttonNames[] = {"OK", "OK/Cancel", "Yes/No/Cancel", "Yes/No"};
    const char* const iconNames[] = {"no icon", "critical", "question", "exclamation", "information"};
    return QStringLiteral("message box \"%1\" [%2, %3, title \"%4\"]")
        .arg(visible(text), buttonNames[int(buttons)], iconNames[int(icon)], title);
}

QString fileDialogLine(const char* kind, const QString& title, const QString& filter) {
    return QStringLiteral("%1 dialog \"%2\" [%3]").arg(kind, title, filter);
}

QString externalLine(const QString& target, bool isUrl) {
    return QStringLiteral("open %1 %2").arg(isUrl ? "address" : "file", target);
}

}  // namespace

ScriptedPrompts::ScriptedPrompts() : m_previous(Prompt::setResponder(this)) {}

ScriptedPrompts::~ScriptedPrompts() {
    verify();
    Prompt::setResponder(m_previous);
}

void ScriptedPrompts::verify() {
    for (const Step& step : m_script) {
        ADD_FAILURE() << "expected prompt never came: " << step.what.toStdString();
    }
    m_script.clear();
}

ScriptedPrompts& ScriptedPrompts::expect(Step step) {
    m_script.push_back(std::move(step));
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectMsgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                                               const QString& title, Prompt::Answer answer) {
    return expect({msgBoxLine(text, buttons, icon, title), answer});
}

ScriptedPrompts& ScriptedPrompts::expectOpenFile(const QString& title, const QString& filter, const QString& answer) {
    return expect({fileDialogLine("Open", title, filter), Prompt::Answer::Ok, answer});
}

ScriptedPrompts& ScriptedPrompts::expectSaveFile(const QString& title, const QString& filter, const QString& answer) {
    return expect({fileDialogLine("Save", title, filter), Prompt::Answer::Ok, answer});
}

ScriptedPrompts& ScriptedPrompts::expectDialog(const QString& objectName, std::function<void(QDialog&)> act) {
    return expect({"window " + objectName, Prompt::Answer::Ok, {}, true, std::move(act)});
}

ScriptedPrompts& ScriptedPrompts::expectOpenExternal(const QString& target, bool isUrl, bool accepted) {
    return expect({externalLine(target, isUrl), Prompt::Answer::Ok, {}, accepted});
}

std::optional<ScriptedPrompts::Step> ScriptedPrompts::take(const QString& what) {
    m_log << what;
    if (m_script.empty()) {
        ADD_FAILURE() << "unexpected prompt: " << what.toStdString();
        return std::nullopt;
    }
    Step step = std::move(m_script.front());
    m_script.pop_front();
    EXPECT_EQ(what.toStdString(), step.what.toStdString());
    return step;
}

Prompt::Answer ScriptedPrompts::msgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                                       const QString& title) {
    const std::optional<Step> step = take(msgBoxLine(text, buttons, icon, title));
    return step ? step->answer : buttons == Prompt::Buttons::Ok ? Prompt::Answer::Ok : Prompt::Answer::Cancel;
}

QString ScriptedPrompts::fileName(const char* kind, const Prompt::FileDialog& dialog) {
    EXPECT_TRUE(dialog.fileName.isEmpty()) << "the dialog's file name is cleared first";
    const std::optional<Step> step = take(fileDialogLine(kind, dialog.title, dialog.filter));
    return step ? step->fileName : QString();
}

void ScriptedPrompts::execDialog(QDialog& dialog) {
    const std::optional<Step> step = take("window " + dialog.objectName());
    // Modal windows are shown before the user acts on them, as in the program.
    dialog.setModal(true);
    dialog.show();
    if (step && step->act) {
        step->act(dialog);
        EXPECT_FALSE(dialog.isVisible()) << "the scripted user left " << dialog.objectName().toStdString() << " open";
    }
    dialog.hide();
}

bool ScriptedPrompts::openExternal(const QString& target, bool isUrl) {
    const std::optional<Step> step = take(externalLine(target, isUrl));
    return step && step->accepted;
}

void ScriptedPrompts::setClipboardText(const QString& text) {
    clipboard = text;
    clipboardWritten = true;
}

}  // namespace TestSupport
