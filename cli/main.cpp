// vornask-convert: converts image files from the command line with the conversion library.
#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "cli/Runner.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

namespace {

// Qt's own notes (such as its switch to a UTF-8 locale under LANG=C) would mix with the
// program's lines on standard error; only failures of Qt itself get through.
void qtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "vornask-convert: %s\n", message.toLocal8Bit().constData());
    }
}

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(qtMessages);
    QCoreApplication application(argc, argv);
    Interrupt::Install();
    const int cores = QThread::idealThreadCount();
    ParsedCommandLine command = ParseCommandLine(QCoreApplication::arguments());
    switch (command.action) {
        case ParsedCommandLine::Action::Help:
            print(stdout, HelpText(cores));
            return 0;
        case ParsedCommandLine::Action::Version:
            // Numbered as the window's title numbers it.
            print(stdout, QStringLiteral("vornask-convert " VORNASK_VERSION "\n"));
            return 0;
        case ParsedCommandLine::Action::UsageError:
            print(stderr, QStringLiteral("vornask-convert: %1\nTry 'vornask-convert --help' for more information.\n")
                              .arg(command.error));
            return 2;
        case ParsedCommandLine::Action::Convert:
            break;
    }
    if (command.options.jobs == 0) {
        command.options.jobs = cores;
    }
    return RunConversions(command.options);
}
