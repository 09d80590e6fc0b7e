#include "platform/Prompt.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace Prompt {
namespace {

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
        case Icon::Critical: return QMessageBox::Critical;
        case Icon::Question: return QMessageBox::Question;
        case Icon::Exclamation: return QMessageBox::Warning;
        case Icon::Information: return QMessageBox::Information;
        case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

class WidgetResponder : public Responder {
public:
    Answer msgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) override {
        QMessageBox box(qtIcon(icon), title, text, QMessageBox::NoButton, QApplication::activeWindow());
        QList<QPair<QMessageBox::StandardButton, Answer>> order;
        switch (buttons) {
            case Buttons::Ok: order = {{QMessageBox::Ok, Answer::Ok}}; break;
            case Buttons::OkCancel: order = {{QMessageBox::Ok, Answer::Ok}, {QMessageBox::Cancel, Answer::Cancel}}; break;
            case Buttons::YesNo: order = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No}}; break;
            case Buttons::YesNoCancel:
                order = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No},
                         {QMessageBox::Cancel, Answer::Cancel}};
                break;
        }
        for (const auto& [button, answer] : order) {
            Q_UNUSED(answer);
            box.addButton(button);
        }
        // The first button is the default, as on the classic message box.
        box.setDefaultButton(order.first().first);
        const int result = box.exec();
        for (const auto& [button, answer] : order) {
            if (result == button) {
                return answer;
            }
        }
        // Closed without a button: the answer of the last button (No, Cancel or OK).
        return order.last().second;
    }

    QString openFileName(const FileDialog& dialog) override { return runFileDialog(dialog, false); }
    QString saveFileName(const FileDialog& dialog) override { return runFileDialog(dialog, true); }

    void execDialog(QDialog& dialog) override { dialog.exec(); }

    bool openExternal(const QString& target, bool isUrl) override {
        if (isUrl) {
            const QUrl url(target);
            return url.isValid() && QDesktopServices::openUrl(url);
        }
        // Like the classic shell call, a file that is not there cannot be opened.
        if (!QFileInfo(target).isFile()) {
            return false;
        }
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()));
    }

    void setClipboardText(const QString& text) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
    }
    QString clipboardText() override { return QGuiApplication::clipboard()->text(); }

private:
    static QString runFileDialog(const FileDialog& request, bool save) {
        QFileDialog dialog(QApplication::activeWindow(), request.title);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        // The program asks its own question before replacing a file.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        // Names match the patterns whatever their letter case, as on the file systems that tell no case apart.
        dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
        dialog.setNameFilter(qtFilter(request.filter));
        dialog.setDirectory(QDir::current());
        if (!request.fileName.isEmpty()) {
            dialog.selectFile(request.fileName);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        return QDir::toNativeSeparators(dialog.selectedFiles().first());
    }
};

WidgetResponder& widgetResponder() {
    static WidgetResponder responder;
    return responder;
}

Responder* g_responder = nullptr;
QString g_programTitle = QStringLiteral("Vornask");

Responder& current() { return g_responder ? *g_responder : widgetResponder(); }

}  // namespace

Responder* setResponder(Responder* responder) {
    Responder* previous = g_responder;
    g_responder = responder;
    return previous;
}

void setProgramTitle(const QString& title) { g_programTitle = title; }
QString programTitle() { return g_programTitle; }

Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const std::optional<QString>& title) {
    return current().msgBox(text, buttons, icon, title.has_value() ? *title : g_programTitle);
}

QString OpenFileName(const FileDialog& dialog) { return current().openFileName(dialog); }
QString SaveFileName(const FileDialog& dialog) { return current().saveFileName(dialog); }
void ExecDialog(QDialog& dialog) { current().execDialog(dialog); }
bool OpenExternal(const QString& target, bool isUrl) { return current().openExternal(target, isUrl); }
void SetClipboardText(const QString& text) { current().setClipboardText(text); }
QString ClipboardText() { return current().clipboardText(); }

QString qtFilter(const QString& filter) {
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        return filter;
    }
    const QString description = filter.left(bar);
    const QStringList patterns = filter.mid(bar + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    // A description that already shows its patterns in brackets is not given them twice.
    if (description.contains(QLatin1Char('('))) {
        return description.left(description.indexOf(QLatin1Char('('))).trimmed() + QStringLiteral(" (") +
               patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

}  // namespace Prompt
