#pragma once

#include "batch/Batch.h"

#include <QList>
#include <QString>
#include <exception>
#include <memory>
#include <optional>

// Converting ahead: while the file whose turn it is goes through its steps, the
// conversions of the files after it run on the other cores, each into a temporary
// name in the output folder. At its turn a file takes its result, which then gets
// its real name, or is converted then as it would be one at a time. What a person
// sees is the same either way; only the waiting is shorter.
namespace Batch {

// What one library call gave.
struct ConversionOutcome {
    QString message;
    int errorKind = 0;
    std::exception_ptr failure;  // a run-time error, raised at the file's turn
};

// One library call of a run, as the run will ask for it at the file's turn.
struct PlannedConversion {
    QString inputPath;
    QString outputPath;  // before any "File exists" answer
    qint16 quality = 0;
};

// How many conversions run at once: the machine's cores, as many as its memory allows
// (see AheadScheduler.cpp), or the number forced by SetConversionSlots.
int ConversionSlots();

// The conversions of one run's plan, ahead of their turns. Installs itself in the run
// state for its lifetime; when it ends, whatever was converted ahead and not taken is
// removed, after the conversions under way have finished.
class AheadScheduler {
public:
    AheadScheduler(BatchHost& host, QList<PlannedConversion> plan);
    ~AheadScheduler();
    AheadScheduler(const AheadScheduler&) = delete;
    AheadScheduler& operator=(const AheadScheduler&) = delete;

    // The file at `index` of the plan has its turn; the results of earlier files not taken are removed.
    void beginTurn(int index);

    // The result converted ahead for the turn's file, now named `outputPath` (the path the
    // turn's "File exists" answer chose); none when the file is to be converted now.
    std::optional<ConversionOutcome> take(const QString& inputPath, const QString& plannedPath,
                                          const QString& outputPath, qint16 quality);

    // Whether anything converted ahead holds memory or disk space now.
    bool holdsWork();
    // Stops converting ahead and removes what was converted; waits, with the window
    // responsive, for the conversions under way.
    void pause();
    // Converts ahead again, from the file after the turn's.
    void resume();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The library call of a file at its turn (the classic program's only call): converts
// `inputPath` into `outputPath` at `quality`, taking the result converted ahead where
// there is one. The window stays responsive meanwhile, and a call handed to the
// library is always finished, also when the program is ending.
ConversionOutcome ConvertAtTurn(BatchHost& host, const QString& inputPath, const QString& plannedPath,
                                const QString& outputPath, qint16 quality);

}  // namespace Batch
