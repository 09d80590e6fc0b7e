#include "batch/AheadScheduler.h"

#include "engine/Grafix.h"
#include "fs/FileStamp.h"
#include "platform/Machine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace Batch {
namespace {

// How many conversions run at once: as many as there are cores, where a large image
// converted to PNG or JPG counts twice. Inside one conversion the library runs threads
// of its own (one reads while the caller encodes; two deflate or recode large images):
// for photos of under two megapixels they keep a second core busy only part of the time,
// and two such conversions on two cores are about 1.3 to 1.5 times as fast as one after
// the other; from a few megapixels on they keep both cores busy, and a second conversion
// beside one gains nothing or slows both (two 6-megapixel photos to PNG: 1.4 s at once,
// 1.1 s one after the other; two 6000 x 6000 ones: 2.6 s and 2.2 s); from two megapixels
// on, a conversion to PNG or JPG runs beside nothing else on two cores. A conversion may
// also hold up to 512 MiB for an image that must be held whole (interlaced, progressive,
// rotated): no more run at once than half the physical memory can give that much.
constexpr quint64 kWorstCaseBytes = 512ull << 20;
constexpr int kMostSlots = 64;
// How far ahead of the turn the workers may go, in files per slot, and how many bytes
// of finished results may wait for their turns. Small files need the reach, so that
// the workers do not stop while the window paints; large ones are held back by the bytes.
constexpr int kFilesAheadPerSlot = 32;
constexpr qint64 kMostBytesWaiting = 256ll << 20;
// Images from this many pixels on keep two cores busy when converted to PNG or JPG. A file
// under the second size is taken for a smaller image without being opened to find out.
constexpr qint64 kTwoCorePixels = 2000000;
constexpr qint64 kSmallestTwoCoreFile = 256 << 10;

int& forcedSlots() {
    static int count = 0;
    return count;
}

// The converter seam, read on the window's thread and copied into each worker.
Converter& converterSlot() {
    static Converter converter;
    return converter;
}

Converter currentConverter() {
    Converter converter = converterSlot();
    return converter ? converter : Converter(&Grafix::ConvertGraphicsFile);
}

bool Succeeded(const ConversionOutcome& outcome) {
    return !outcome.failure && outcome.errorKind == 0 && outcome.message == QLatin1String("No Error.");
}

ConversionOutcome CallConverter(const Converter& convert, const QString& inputPath, const QString& outputPath,
                                qint16 quality) {
    ConversionOutcome outcome;
    try {
        outcome.message = convert(inputPath, outputPath, quality, outcome.errorKind);
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    return outcome;
}

// Lets the window handle its events (repaints, "Stop") until `done()`, or until the program
// is ending. `arm` gets the loop to stop whenever something changes, and null when the wait
// is over.
void WaitResponsive(BatchHost& host, const std::function<bool()>& done, const std::function<void(QEventLoop*)>& arm) {
    if (done()) {
        return;
    }
    QEventLoop loop;
    // Quitting ends the application's event loops; the timer also notices it where none is running.
    QTimer quitWatch;
    quitWatch.setInterval(50);
    QObject::connect(&quitWatch, &QTimer::timeout, &loop, [&] {
        if (host.quitRequested()) {
            loop.quit();
        }
    });
    arm(&loop);
    quitWatch.start();
    while (!done() && !host.quitRequested()) {
        if (loop.exec() < 0) {
            break;  // the application is leaving its event loops and runs no new ones
        }
    }
    arm(nullptr);
}

// The library call on a worker thread while the window goes on handling its events. A call
// handed to the library is always waited for, also when the program is ending, so the library
// finishes its file or removes its temporary one.
ConversionOutcome ConvertOnWorker(BatchHost& host, const QString& inputPath, const QString& outputPath,
                                  qint16 quality) {
    const Converter convert = currentConverter();
    QFuture<ConversionOutcome> future = QtConcurrent::run(
        [convert, inputPath, outputPath, quality] { return CallConverter(convert, inputPath, outputPath, quality); });
    QFutureWatcher<ConversionOutcome> watcher;
    QEventLoop* wake = nullptr;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&wake] {
        if (wake) {
            wake->quit();
        }
    });
    watcher.setFuture(future);
    WaitResponsive(
        host, [&] { return future.isFinished(); }, [&wake](QEventLoop* loop) { wake = loop; });
    future.waitForFinished();
    return future.result();
}

// The extension of a path's name, dot included; empty without one.
QString ExtensionOf(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype separator = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return dot > separator ? path.mid(dot) : QString();
}

// How many cores the conversion of `inputPath` into `outputPath` keeps busy (see above).
int CoresUsed(const QString& inputPath, const QString& outputPath) {
    const QString extension = ExtensionOf(outputPath).toLower();
    if (extension == QLatin1String(".bmp") || FileStamp::Of(inputPath).size < kSmallestTwoCoreFile) {
        return 1;
    }
    const QSize size = QImageReader(inputPath).size();
    return qint64(size.width()) * size.height() >= kTwoCorePixels ? 2 : 1;
}

// A name beside `outputPath` that keeps the output's extension (the library chooses the format
// by it) and that a folder view hides, for the result until its turn. The name is this
// program's own (its process number and the file's place in the run), so nothing else makes
// it; a file left there by an earlier run that ended abruptly is not replaced.
QString TemporaryPath(const QString& outputPath, int index) {
    const qsizetype separator =
        std::max(outputPath.lastIndexOf(QLatin1Char('/')), outputPath.lastIndexOf(QLatin1Char('\\')));
    const QString stem = outputPath.left(separator + 1) +
                         QStringLiteral(".vornask-ahead-%1-%2").arg(QCoreApplication::applicationPid()).arg(index);
    const QString extension = ExtensionOf(outputPath);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString path =
            attempt == 0
                ? stem + extension
                : stem + QStringLiteral("-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) +
                      extension;
        if (!FileStamp::Of(path).exists) {
            return path;
        }
    }
    return QString();
}

}  // namespace

Converter SetConverter(Converter converter) {
    Converter previous = converterSlot();
    converterSlot() = std::move(converter);
    return previous;
}

int SetConversionSlots(int count) {
    const int previous = forcedSlots();
    forcedSlots() = std::max(0, count);
    return previous;
}

int ConversionSlots() {
    if (forcedSlots() > 0) {
        return forcedSlots();
    }
    const quint64 memory = Machine::PhysicalMemory();
    const int byMemory =
        memory == 0 ? kMostSlots : static_cast<int>(std::min<quint64>(memory / 2 / kWorstCaseBytes, kMostSlots));
    return std::clamp(std::min(Machine::Cores(), byMemory), 1, kMostSlots);
}

struct AheadScheduler::Impl {
    struct Job {
        bool finished = false;
        bool dropped = false;            // taken, its turn passed, or the run ends: nothing more is done with it
        QString temporaryPath;           // the finished result, while nobody has taken or removed it
        FileStamp::Stamp before, after;  // the input as the conversion began and ended
        ConversionOutcome outcome;
        qint64 bytes = 0;
        int cores = 0;  // how many it keeps busy; 0 until known
    };

    Impl(BatchHost& h, QList<PlannedConversion> p)
        : host(h), plan(std::move(p)), convert(currentConverter()), jobs(static_cast<size_t>(plan.size())) {
        capacity = ConversionSlots();
        workerCount = std::min(capacity, static_cast<int>(plan.size()));
        reach = capacity * kFilesAheadPerSlot;
    }

    int size() const { return static_cast<int>(plan.size()); }

    void startWorkers() {
        for (int i = 0; i < workerCount; ++i) {
            try {
                workers.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // fewer threads to be had: fewer files ahead
            }
        }
    }

    // Each worker starts the next job in the plan's order once it is within reach of the turn and
    // the cores it needs are free, converts it, and goes on until the plan is done or paused.
    void work() {
        std::unique_lock lock(mutex);
        for (;;) {
            if (paused || next >= size()) {
                return;
            }
            Job& job = jobs[static_cast<size_t>(next)];
            if (job.dropped) {
                ++next;
                continue;
            }
            if (next >= turn + reach || bytesWaiting >= kMostBytesWaiting || (job.cores == 0 && weighing)) {
                room.wait(lock);
                continue;
            }
            if (job.cores == 0) {
                // Looked at without the lock; the job stays the next one meanwhile.
                weighing = true;
                const PlannedConversion& planned = plan[next];
                lock.unlock();
                const int cores = std::min(CoresUsed(planned.inputPath, planned.outputPath), capacity);
                lock.lock();
                weighing = false;
                job.cores = cores;
                room.notify_all();
                continue;
            }
            if (coresBusy > 0 && coresBusy + job.cores > capacity) {
                room.wait(lock);
                continue;
            }
            const int index = next++;
            ++running;
            coresBusy += job.cores;
            lock.unlock();
            convertAhead(plan[index], index, job);
            lock.lock();
            --running;
            coresBusy -= job.cores;
            job.finished = true;
            if (job.dropped) {
                QFile::remove(job.temporaryPath);
                job.temporaryPath.clear();
            } else if (!job.temporaryPath.isEmpty()) {
                ++resultsWaiting;
                bytesWaiting += job.bytes;
            }
            room.notify_all();
            changed.notify_all();
            if (waiting) {
                QMetaObject::invokeMethod(waiting, &QEventLoop::quit, Qt::QueuedConnection);
            }
        }
    }

    // On a worker, without the lock: the job is this worker's alone until it is marked finished.
    void convertAhead(const PlannedConversion& planned, int index, Job& job) {
        job.temporaryPath = TemporaryPath(planned.outputPath, index);
        if (job.temporaryPath.isEmpty()) {
            return;  // converted at its turn
        }
        job.before = FileStamp::Of(planned.inputPath);
        job.outcome = CallConverter(convert, planned.inputPath, job.temporaryPath, planned.quality);
        job.after = FileStamp::Of(planned.inputPath);
        if (Succeeded(job.outcome)) {
            job.bytes = FileStamp::Of(job.temporaryPath).size;
        } else {
            // A failure is left to the file's turn, whose own call gives the answer for the state then.
            QFile::remove(job.temporaryPath);
            job.temporaryPath.clear();
        }
    }

    // Marks jobs [from, to) as done with; returns the results to remove. Under the lock.
    QStringList dropLocked(int from, int to) {
        QStringList results;
        for (int i = std::max(from, 0); i < std::min(to, size()); ++i) {
            Job& job = jobs[static_cast<size_t>(i)];
            job.dropped = true;
            if (job.finished && !job.temporaryPath.isEmpty()) {
                results << releaseLocked(job);
            }
        }
        return results;
    }

    // Hands over a finished job's result. Under the lock.
    QString releaseLocked(Job& job) {
        --resultsWaiting;
        bytesWaiting -= job.bytes;
        return std::exchange(job.temporaryPath, QString());
    }

    // Stops the workers, removes every result not taken and waits for the conversions under way.
    void stop() {
        QStringList results;
        {
            std::lock_guard lock(mutex);
            paused = true;
            results = dropLocked(turn, size());
        }
        room.notify_all();
        for (const QString& path : results) {
            QFile::remove(path);
        }
        WaitResponsive(
            host,
            [this] {
                std::lock_guard lock(mutex);
                return running == 0;
            },
            [this](QEventLoop* loop) {
                std::lock_guard lock(mutex);
                waiting = loop;
            });
        for (std::thread& worker : workers) {
            worker.join();  // at once where the wait saw them done; else until their call ends
        }
        workers.clear();
    }

    BatchHost& host;
    const QList<PlannedConversion> plan;
    const Converter convert;
    std::vector<Job> jobs;
    int capacity = 0;  // cores to keep busy
    int workerCount = 0;
    int reach = 0;
    std::vector<std::thread> workers;

    std::mutex mutex;
    std::condition_variable room;     // workers wait for a job within reach
    std::condition_variable changed;  // a job has finished
    int next = 0;                     // the job the next free worker starts
    int turn = 0;                     // the job whose turn it is
    int running = 0;
    int coresBusy = 0;
    bool weighing = false;  // a worker is finding out how many cores the next job needs
    int resultsWaiting = 0;
    qint64 bytesWaiting = 0;
    bool paused = false;
    QEventLoop* waiting = nullptr;  // the window's wait for a job, woken when one finishes
};

AheadScheduler::AheadScheduler(BatchHost& host, QList<PlannedConversion> plan)
    : d(std::make_unique<Impl>(host, std::move(plan))) {
    host.runState().ahead = this;
    // One file, or one slot, leaves nothing to convert ahead: every file is converted at its turn.
    if (d->workerCount > 1) {
        d->startWorkers();
    }
}

AheadScheduler::~AheadScheduler() {
    d->stop();
    d->host.runState().ahead = nullptr;
}

void AheadScheduler::beginTurn(int index) {
    QStringList results;
    {
        std::lock_guard lock(d->mutex);
        results = d->dropLocked(d->turn, index);
        d->turn = index;
        d->next = std::max(d->next, index);
    }
    d->room.notify_all();
    for (const QString& path : results) {
        QFile::remove(path);
    }
}

std::optional<ConversionOutcome> AheadScheduler::take(const QString& inputPath, const QString& plannedPath,
                                                      const QString& outputPath, qint16 quality) {
    Impl& s = *d;
    const int index = s.turn;
    if (s.workers.empty() || index >= s.size()) {
        return std::nullopt;
    }
    Impl::Job& job = s.jobs[static_cast<size_t>(index)];
    const PlannedConversion& planned = s.plan[index];
    if (planned.inputPath != inputPath || planned.outputPath != plannedPath || planned.quality != quality) {
        // The folders or settings changed during the run: the file is converted as it stands now.
        std::lock_guard lock(s.mutex);
        const QStringList results = s.dropLocked(index, index + 1);
        for (const QString& path : results) {
            QFile::remove(path);
        }
        return std::nullopt;
    }
    {
        std::lock_guard lock(s.mutex);
        if (job.dropped) {
            return std::nullopt;
        }
    }
    WaitResponsive(
        s.host,
        [&] {
            std::lock_guard lock(s.mutex);
            return job.finished;
        },
        [&s](QEventLoop* loop) {
            std::lock_guard lock(s.mutex);
            s.waiting = loop;
        });

    QString temporaryPath;
    ConversionOutcome outcome;
    FileStamp::Stamp before, after;
    {
        std::unique_lock lock(s.mutex);
        s.changed.wait(lock, [&] { return job.finished; });  // the program is ending: the turn's file is finished
        job.dropped = true;
        if (job.temporaryPath.isEmpty()) {
            return std::nullopt;
        }
        temporaryPath = s.releaseLocked(job);
        outcome = job.outcome;
        before = job.before;
        after = job.after;
    }

    // The library's answer at this turn would be another where the input changed or went since it was
    // converted, where the output path names the input or no file, or where the chosen name wants another
    // format; such a file is converted now.
    const FileStamp::Stamp input = FileStamp::Of(inputPath);
    const FileStamp::Stamp target = FileStamp::Of(outputPath);
    const bool same =
        input.exists && input == before && input == after &&
        ExtensionOf(outputPath).compare(ExtensionOf(temporaryPath), Qt::CaseInsensitive) == 0 &&
        (!target.exists || (target.regularFile && !FileStamp::SameFile(input, target, inputPath, outputPath)));
    if (!same || !FileStamp::ReplaceFile(temporaryPath, outputPath)) {
        QFile::remove(temporaryPath);
        return std::nullopt;
    }
    return outcome;
}

bool AheadScheduler::holdsWork() {
    std::lock_guard lock(d->mutex);
    return d->resultsWaiting > 0 || d->running > 0;
}

void AheadScheduler::pause() {
    d->stop();
}

void AheadScheduler::resume() {
    {
        std::lock_guard lock(d->mutex);
        for (int i = d->turn + 1; i < d->size(); ++i) {
            d->jobs[static_cast<size_t>(i)] = Impl::Job();
        }
        d->next = d->turn + 1;
        d->paused = false;
    }
    if (d->workerCount > 1) {
        d->startWorkers();
    }
}

ConversionOutcome ConvertAtTurn(BatchHost& host, const QString& inputPath, const QString& plannedPath,
                                const QString& outputPath, qint16 quality) {
    AheadScheduler* ahead = host.runState().ahead;
    if (ahead) {
        if (std::optional<ConversionOutcome> outcome = ahead->take(inputPath, plannedPath, outputPath, quality)) {
            return std::move(*outcome);
        }
    }
    ConversionOutcome outcome = ConvertOnWorker(host, inputPath, outputPath, quality);
    // A write failure may come of the memory or disk space that the work ahead holds: the file
    // is converted once more without it, as it would be one at a time. Where that fails too, the
    // work ahead was not the cause and goes on.
    if (ahead && !outcome.failure && outcome.errorKind == -1 && !host.quitRequested() && ahead->holdsWork()) {
        ahead->pause();
        outcome = ConvertOnWorker(host, inputPath, outputPath, quality);
        if (!Succeeded(outcome)) {
            ahead->resume();
        }
    }
    return outcome;
}

}  // namespace Batch
