#include "cli/Runner.h"

#include "cli/Interrupt.h"
#include "engine/Grafix.h"
#include "fs/FileProc.h"
#include "platform/RunTimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

enum class Outcome { Converted, Skipped, Failed };

struct Result {
    Outcome outcome;
    QString line;
};

struct Item {
    qint64 index = 0;
    QString input;
    QString output;
    QString earlierInput;  // another input of this run with the same result, or empty
};

qsizetype lastSeparator(const QString& path) {
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
#ifdef _WIN32
    slash = std::max(slash, path.lastIndexOf(QLatin1Char('\\')));
#endif
    return slash;
}

bool existsAtAll(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool sameFile(const QString& a, const QString& b) {
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(QFile::encodeName(a).toStdString()),
                                       std::filesystem::path(QFile::encodeName(b).toStdString()), error);
}

// The input paths in order: the arguments, with the lines of standard input where "-" stands.
class Inputs {
public:
    explicit Inputs(const QStringList& arguments) : m_arguments(arguments) {}

    // The number of inputs when standard input is not among them, else -1.
    qint64 knownCount() const { return m_arguments.contains(QLatin1String("-")) ? -1 : m_arguments.size(); }

    bool next(QString& path) {
        std::string line;
        while (m_readingStdin) {
            if (!std::getline(std::cin, line)) {
                m_readingStdin = false;
            } else if (!line.empty()) {
                path = QFile::decodeName(QByteArray::fromStdString(line));
                return true;
            }
        }
        if (m_next == m_arguments.size()) {
            return false;
        }
        path = m_arguments.at(m_next++);
        if (path == QLatin1String("-")) {
            m_readingStdin = true;
            return next(path);
        }
        return true;
    }

private:
    QStringList m_arguments;
    qsizetype m_next = 0;
    bool m_readingStdin = false;
};

// The standard output and error streams: lines, the summary, and on a terminal a progress
// line on standard error that every other line first wipes.
class Console {
public:
    Console() : m_progress(isatty(2)), m_stdoutOnTerminal(isatty(1)) {}

    // False when standard output can no longer be written (a closed pipe).
    bool print(const Result& result) {
        const bool toStdout = result.outcome != Outcome::Failed;
        FILE* stream = toStdout ? stdout : stderr;
        if (!toStdout || m_stdoutOnTerminal) {
            wipeProgress();
        }
        const QByteArray bytes = (result.line + QLatin1Char('\n')).toLocal8Bit();
        std::fwrite(bytes.constData(), 1, bytes.size(), stream);
        return (std::fflush(stream) == 0 && !std::ferror(stream)) || !toStdout;
    }

    void note(const QString& text) {
        wipeProgress();
        std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }

    void progress(qint64 done, qint64 count) {
        if (!m_progress || (m_shown > 0 && done == m_shownDone)) {
            return;
        }
        m_shownDone = done;
        QString text =
            count < 0 ? QStringLiteral("%1 done").arg(done) : QStringLiteral("%1/%2 done").arg(done).arg(count);
        const qsizetype width = text.size();
        text = QLatin1Char('\r') + text.leftJustified(m_shown);
        m_shown = width;
        std::fputs(text.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }

private:
    void wipeProgress() {
        if (m_shown > 0) {
            std::fputs((QLatin1Char('\r') + QString(m_shown, QLatin1Char(' ')) + QLatin1Char('\r')).toLatin1(), stderr);
            m_shown = 0;
        }
    }

    bool m_progress;
    bool m_stdoutOnTerminal;
    qsizetype m_shown = 0;  // the width of the progress line on screen
    qint64 m_shownDone = 0;
};

class Run {
public:
    explicit Run(const Options& options) : m_options(options), m_inputs(options.inputs) {}

    int exec() {
        const qint64 count = m_inputs.knownCount();
        const int workers = count < 0 ? m_options.jobs : static_cast<int>(std::min<qint64>(m_options.jobs, count));
        m_workersLeft = workers;
        std::vector<std::thread> threads;
        for (int i = 0; i < workers; ++i) {
            threads.emplace_back([this] { work(); });
        }
        const int signal = printInOrder(count);
        std::unique_lock lock(m_mutex);
        const int status = m_failed > 0 ? 1 : 0;
        if (!m_stop) {
            lock.unlock();
            m_console.note(summary());
            for (std::thread& thread : threads) {
                thread.join();
            }
            return status;
        }
        // Stopped early by a signal or a run-time error: what was started has finished.
        const QString notStarted = count < 0 ? QStringLiteral("the rest") : QString::number(count - m_printed);
        m_console.note(
            QStringLiteral("%1: %2, %3 not started")
                .arg(signal != 0 ? QStringLiteral("interrupted") : QStringLiteral("stopped"), summary(), notStarted));
        // Workers may still wait for standard input; nothing of theirs needs to finish.
        std::fflush(nullptr);
        if (signal != 0) {
            Interrupt::ExitBy(signal);
        }
        std::_Exit(status);
    }

private:
    // Prints the results in input order as they arrive; returns the signal that stopped the
    // run early, or 0 when every input was done.
    int printInOrder(qint64 count) {
        int signal = 0;
        std::unique_lock lock(m_mutex);
        for (;;) {
            while (!m_done.empty() && m_done.begin()->first == m_printed) {
                const Result result = std::move(m_done.begin()->second);
                m_done.erase(m_done.begin());
                lock.unlock();
                [[maybe_unused]] const bool written = m_console.print(result);
                lock.lock();
                ++m_printed;
                (result.outcome == Outcome::Converted ? m_converted
                 : result.outcome == Outcome::Skipped ? m_skipped
                                                      : m_failed)++;
#ifdef SIGPIPE
                if (!written && signal == 0) {
                    signal = SIGPIPE;
                    m_stop = true;
                }
#endif
            }
            if (signal == 0 && Interrupt::Received() != 0) {
                signal = Interrupt::Received();
                m_stop = true;
            }
            if ((m_stop && m_running == 0 && m_done.empty()) || (m_workersLeft == 0 && m_done.empty())) {
                return signal;
            }
            m_console.progress(m_printed, count);
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    void work() {
        Interrupt::BlockInThisThread();
        for (;;) {
            Item item;
            {
                std::lock_guard source(m_sourceMutex);
                if (!m_inputs.next(item.input)) {
                    break;
                }
                item.index = m_taken++;
                item.output = resultPath(item.input);
                // Two inputs with one result (a.png and a.bmp to a.jpg): the later one is refused
                // rather than left to replace the earlier one's result.
                const QString key = QDir::cleanPath(QFileInfo(item.output).absoluteFilePath());
                item.earlierInput = m_resultOwners.value(key);
                if (item.earlierInput.isEmpty()) {
                    m_resultOwners.insert(key, item.input);
                }
                std::lock_guard lock(m_mutex);
                if (m_stop) {
                    break;
                }
                ++m_running;
            }
            Result result = convert(item);
            {
                std::lock_guard lock(m_mutex);
                m_done.emplace(item.index, std::move(result));
                --m_running;
            }
            m_changed.notify_all();
        }
        {
            std::lock_guard lock(m_mutex);
            --m_workersLeft;
        }
        m_changed.notify_all();
    }

    QString resultPath(const QString& input) const {
        if (!m_options.outputFile.isEmpty()) {
            return m_options.outputFile;
        }
        const qsizetype separator = lastSeparator(input);
        QString folder = input.left(separator + 1);
        if (!m_options.outputDir.isEmpty()) {
            folder = m_options.outputDir;
            if (lastSeparator(folder) != folder.size() - 1) {
                folder += QLatin1Char('/');
            }
        }
        return folder + FileProc::OutputFileName(input.mid(separator + 1), m_options.format);
    }

    Result convert(const Item& item) {
        const QString& input = item.input;
        const QString& output = item.output;
        if (!item.earlierInput.isEmpty()) {
            return {Outcome::Failed, QStringLiteral("%1: not converted: %2 is already the result of %3")
                                         .arg(input, output, item.earlierInput)};
        }
        if (existsAtAll(output)) {
            if (sameFile(input, output)) {
                return {Outcome::Failed, input + QStringLiteral(": not converted: the result would replace the input")};
            }
            if (m_options.skipExisting) {
                return {Outcome::Skipped, QStringLiteral("%1: skipped: %2 exists").arg(input, output)};
            }
            if (!m_options.overwrite) {
                return {Outcome::Failed,
                        QStringLiteral("%1: not converted: %2 exists (--overwrite replaces it)").arg(input, output)};
            }
        }
        int kind = 0;
        QString message;
        try {
            message = Grafix::ConvertGraphicsFile(input, output, static_cast<qint16>(m_options.quality), kind);
        } catch (const RunTimeError& error) {
            // The library is missing or broken: every further file would fail the same way.
            std::lock_guard lock(m_mutex);
            m_stop = true;
            return {Outcome::Failed, QStringLiteral("%1: error: %2").arg(input, error.description())};
        }
        if (kind == 0 && message == QLatin1String("No Error.")) {
            return {Outcome::Converted, QStringLiteral("%1 -> %2").arg(input, output)};
        }
        const QString what = kind == 1    ? QStringLiteral("read error")
                             : kind == -1 ? QStringLiteral("write error")
                                          : QStringLiteral("error");
        return {Outcome::Failed, QStringLiteral("%1: %2: %3").arg(input, what, message)};
    }

    QString summary() const {
        QString text = QStringLiteral("%1 converted, %2 failed").arg(m_converted).arg(m_failed);
        if (m_skipped > 0) {
            text += QStringLiteral(", %1 skipped").arg(m_skipped);
        }
        return text;
    }

    const Options& m_options;
    Console m_console;

    std::mutex m_sourceMutex;  // the inputs, their numbering and the results claimed so far
    Inputs m_inputs;
    qint64 m_taken = 0;
    QHash<QString, QString> m_resultOwners;

    std::mutex m_mutex;  // everything below
    std::condition_variable m_changed;
    std::map<qint64, Result> m_done;
    int m_running = 0;
    int m_workersLeft = 0;
    bool m_stop = false;
    qint64 m_printed = 0;
    qint64 m_converted = 0;
    qint64 m_skipped = 0;
    qint64 m_failed = 0;
};

}  // namespace

int RunConversions(const Options& options) {
    Run run(options);
    return run.exec();
}
