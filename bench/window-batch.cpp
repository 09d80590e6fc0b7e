// Times a batch through the real main window: the program's own frmMain, its
// "Convert files" button and report, the real conversion library, with the closing
// message box answered at once. The time runs from the click to that box.
//
// Usage: vornask-bench-window IN_FOLDER OUT_FOLDER IN_FORMAT OUT_FORMAT QUALITY REPORT_FILE [--one-at-a-time]
// Prints "window_ms<TAB>milliseconds" and writes the report, byte for byte, to REPORT_FILE.
#include "app/frmMain.h"
#include "batch/Batch.h"
#include "platform/Prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <cstdio>

namespace {

// Answers every prompt at once and notes when the box that closes a batch appears.
class Answerer : public Prompt::Responder {
public:
    explicit Answerer(QElapsedTimer& clock) : m_clock(clock) {}
    qint64 closedAtMs = -1;
    QString closingText;

    Prompt::Answer msgBox(const QString& text, Prompt::Buttons, Prompt::Icon, const QString& title) override {
        if (title == QLatin1String("All files converted.") || title == QLatin1String("Not all files converted.")) {
            closedAtMs = m_clock.elapsed();
            closingText = title + QStringLiteral(": ") + text;
        } else {
            std::fprintf(stderr, "unexpected box: %s / %s\n", qPrintable(title), qPrintable(text));
        }
        return Prompt::Answer::Ok;
    }
    QString openFileName(const Prompt::FileDialog&) override { return {}; }
    QString saveFileName(const Prompt::FileDialog&) override { return {}; }
    void execDialog(QDialog&) override {}
    bool openExternal(const QString&, bool) override { return true; }
    void setClipboardText(const QString&) override {}
    QString clipboardText() override { return {}; }

private:
    QElapsedTimer& m_clock;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 6) {
        std::fprintf(stderr,
                     "usage: vornask-bench-window IN_FOLDER OUT_FOLDER IN_FORMAT OUT_FORMAT QUALITY REPORT_FILE "
                     "[--one-at-a-time]\n");
        return 2;
    }
    if (args.contains(QStringLiteral("--one-at-a-time"))) {
        Batch::SetConversionSlots(1);
    }
    frmMain window;
    window.setExitProgram([] {});
    window.Form_Load();
    const QStringList formats = window.fileFormats();
    window.setFolderText(0, args[0]);
    window.setFolderText(1, args[1]);
    window.setFormatIndex(0, static_cast<int>(formats.indexOf(args[2].toUpper())) + 1);
    window.setFormatIndex(1, static_cast<int>(formats.indexOf(args[3].toUpper())) + 1);
    window.setQualityText(args[4]);

    QElapsedTimer clock;
    Answerer answerer(clock);
    Prompt::setResponder(&answerer);
    auto* convert = window.findChild<QPushButton*>(QStringLiteral("cmdConvertFiles"));
    clock.start();
    convert->click();
    Prompt::setResponder(nullptr);
    if (answerer.closedAtMs < 0) {
        std::fprintf(stderr, "the batch ended without its closing box\n");
        return 1;
    }
    QFile report(args[5]);
    if (!report.open(QIODevice::WriteOnly | QIODevice::Truncate) || report.write(window.reportText().toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[5]));
        return 1;
    }
    std::printf("window_ms\t%lld\n%s\n", static_cast<long long>(answerer.closedAtMs), qPrintable(answerer.closingText));
    return 0;
}
