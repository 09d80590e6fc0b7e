#include "tests/support/ScriptedPrompts.h"

#include <QDialog>
#include <gtest/gtest.h>

namespace TestSupport {

QString describe(Prompt::Buttons buttons) {
    switch (buttons) {
        case Prompt::Buttons::Ok: return QStringLiteral("OK");
        case Prompt::Buttons::OkCancel: return QStringLiteral("OK/Cancel");
        case Prompt::Buttons::YesNoCancel: return QStringLiteral("Yes/No/Cancel");
        case Prompt::Buttons::YesNo: return QStringLiteral("Yes/No");
    }
    return QString();
}

QString describe(Prompt::Icon icon) {
    switch (icon) {
        case Prompt::Icon::None: return QStringLiteral("no icon");
        case Prompt::Icon::Critical: return QStringLiteral("critical");
        case Prompt::Icon::Question: return QStringLiteral("question");
        case Prompt::Icon::Exclamation: return QStringLiteral("exclamation");
        case Prompt::Icon::Information: return QStringLiteral("information");
    }
    return QString();
}

namespace {
QString visible(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r"), QLatin1String("\\r")).replace(QLatin1String("\n"), QLatin1String("\\n"));
    return out;
}
}  // namespace

ScriptedPrompts::ScriptedPrompts() { m_previous = Prompt::setResponder(this); }

ScriptedPrompts::~ScriptedPrompts() {
    verify();
    Prompt::setResponder(m_previous);
}

void ScriptedPrompts::verify() {
    for (const Step& step : m_script) {
        ADD_FAILURE() << "expected prompt never came: \"" << visible(step.text).toStdString() << "\" (title \""
                      << step.title.toStdString() << "\")";
    }
    m_script.clear();
}

ScriptedPrompts& ScriptedPrompts::expectMsgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                                               const QString& title, Prompt::Answer answer) {
    Step step{Kind::MsgBox, text, title};
    step.buttons = buttons;
    step.icon = icon;
    step.answer = answer;
    m_script.push_back(std::move(step));
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectOpenFile(const QString& title, const QString& filter, const QString& answer) {
    Step step{Kind::OpenFile, QStringLiteral("Open dialog"), title, filter};
    step.fileAnswer = answer;
    m_script.push_back(std::move(step));
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectSaveFile(const QString& title, const QString& filter, const QString& answer) {
    Step step{Kind::SaveFile, QStringLiteral("Save dialog"), title, filter};
    step.fileAnswer = answer;
    m_script.push_back(std::move(step));
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectDialog(const QString& objectName, std::function<void(QDialog&)> act) {
    Step step{Kind::Dialog, objectName};
    step.act = std::move(act);
    m_script.push_back(std::move(step));
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectOpenExternal(const QString& target, bool isUrl, bool accepted) {
    Step step{Kind::External, target};
    step.flag = isUrl;
    step.accepted = accepted;
    m_script.push_back(std::move(step));
    return *this;
}

bool ScriptedPrompts::take(Kind kind, const QString& what, Step& step) {
    m_log << what;
    if (m_script.empty()) {
        ADD_FAILURE() << "unexpected prompt: " << visible(what).toStdString();
        return false;
    }
    if (m_script.front().kind != kind) {
        ADD_FAILURE() << "prompt of the wrong kind: " << visible(what).toStdString() << "; expected \""
                      << visible(m_script.front().text).toStdString() << "\"";
        m_script.pop_front();
        return false;
    }
    step = std::move(m_script.front());
    m_script.pop_front();
    return true;
}

Prompt::Answer ScriptedPrompts::msgBox(const QString& text, Prompt::Buttons buttons, Prompt::Icon icon,
                                       const QString& title) {
    Step step;
    const QString what = QStringLiteral("message box \"%1\" [%2, %3, title \"%4\"]")
                             .arg(text, describe(buttons), describe(icon), title);
    if (!take(Kind::MsgBox, what, step)) {
        return buttons == Prompt::Buttons::Ok ? Prompt::Answer::Ok : Prompt::Answer::Cancel;
    }
    EXPECT_EQ(visible(text).toStdString(), visible(step.text).toStdString());
    EXPECT_EQ(describe(buttons).toStdString(), describe(step.buttons).toStdString()) << visible(text).toStdString();
    EXPECT_EQ(describe(icon).toStdString(), describe(step.icon).toStdString()) << visible(text).toStdString();
    EXPECT_EQ(title.toStdString(), step.title.toStdString()) << visible(text).toStdString();
    return step.answer;
}

QString ScriptedPrompts::fileDialog(Kind kind, const Prompt::FileDialog& dialog) {
    Step step;
    const QString what = QStringLiteral("%1 dialog \"%2\" [%3]")
                             .arg(kind == Kind::OpenFile ? QStringLiteral("Open") : QStringLiteral("Save"),
                                  dialog.title, dialog.filter);
    if (!take(kind, what, step)) {
        return QString();
    }
    EXPECT_EQ(dialog.title.toStdString(), step.title.toStdString());
    EXPECT_EQ(dialog.filter.toStdString(), step.filter.toStdString());
    EXPECT_TRUE(dialog.fileName.isEmpty()) << "the dialog's file name is cleared first";
    return step.fileAnswer;
}

QString ScriptedPrompts::openFileName(const Prompt::FileDialog& dialog) { return fileDialog(Kind::OpenFile, dialog); }
QString ScriptedPrompts::saveFileName(const Prompt::FileDialog& dialog) { return fileDialog(Kind::SaveFile, dialog); }

void ScriptedPrompts::execDialog(QDialog& dialog) {
    Step step;
    if (!take(Kind::Dialog, QStringLiteral("window %1").arg(dialog.objectName()), step)) {
        dialog.hide();
        return;
    }
    EXPECT_EQ(dialog.objectName().toStdString(), step.text.toStdString());
    // Modal windows are shown before the user acts on them, as in the program.
    dialog.setModal(true);
    dialog.show();
    if (step.act) {
        step.act(dialog);
    }
    EXPECT_FALSE(dialog.isVisible()) << "the scripted user left " << dialog.objectName().toStdString() << " open";
    dialog.hide();
}

bool ScriptedPrompts::openExternal(const QString& target, bool isUrl) {
    Step step;
    if (!take(Kind::External, QStringLiteral("open %1 %2").arg(isUrl ? "address" : "file", target), step)) {
        return false;
    }
    EXPECT_EQ(target.toStdString(), step.text.toStdString());
    EXPECT_EQ(isUrl, step.flag) << target.toStdString();
    return step.accepted;
}

void ScriptedPrompts::setClipboardText(const QString& text) {
    clipboard = text;
    clipboardWritten = true;
}

QString ScriptedPrompts::clipboardText() { return clipboard; }

}  // namespace TestSupport
