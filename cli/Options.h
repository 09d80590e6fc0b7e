#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct Options {
    QString format;  // "bmp", "png" or "jpg": the results' extension
    int quality = 80;
    QString outputDir;   // empty: each result beside its input
    QString outputFile;  // the one result's path, with exactly one input
    bool overwrite = false;
    bool skipExisting = false;
    int jobs = 0;        // conversions at once
    QStringList inputs;  // "-" stands for the paths read from standard input
};

struct ParsedCommandLine {
    enum class Action { Convert, Help, Version, UsageError };
    Action action = Action::UsageError;
    Options options;
    QString error;  // for UsageError
};

// Reads the arguments (the program's name first). Options may follow files; "--" ends them.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// The text of --help; `cores` is the default number of jobs.
QString HelpText(int cores);
