#include "cli/Options.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

const QStringList kFormats = {QStringLiteral("bmp"), QStringLiteral("png"), QStringLiteral("jpg")};

bool readNumber(const QString& text, int low, int high, int& number) {
    bool ok = false;
    number = text.toInt(&ok);
    return ok && number >= low && number <= high;
}

// The extension -O's path must have for the library to write the chosen format.
bool extensionFits(const QString& path, const QString& format) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == format || (format == QLatin1String("jpg") && suffix == QLatin1String("jpeg"));
}

}  // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption to({QStringLiteral("t"), QStringLiteral("to")}, QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption quality({QStringLiteral("q"), QStringLiteral("quality")}, QString(), QStringLiteral("N"));
    const QCommandLineOption outputDir({QStringLiteral("o"), QStringLiteral("output-dir")}, QString(),
                                       QStringLiteral("DIR"));
    const QCommandLineOption output({QStringLiteral("O"), QStringLiteral("output")}, QString(), QStringLiteral("FILE"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"));
    const QCommandLineOption skipExisting(QStringLiteral("skip-existing"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")}, QString(), QStringLiteral("N"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({to, quality, outputDir, output, overwrite, skipExisting, jobs, help, version});

    ParsedCommandLine result;
    auto usageError = [&result](const QString& text) {
        result.action = ParsedCommandLine::Action::UsageError;
        result.error = text;
        return result;
    };
    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::Version;
        return result;
    }
    // An option given twice would leave a script unsure which one counts.
    for (const QCommandLineOption& once : {to, quality, outputDir, output, jobs}) {
        if (parser.values(once).size() > 1) {
            return usageError(QStringLiteral("--%1 given more than once").arg(once.names().constLast()));
        }
    }
    Options& options = result.options;
    if (!parser.isSet(to)) {
        return usageError(QStringLiteral("the target format is missing (-t bmp, png or jpg)"));
    }
    options.format = parser.value(to).toLower();
    if (options.format == QLatin1String("jpeg")) {
        options.format = QStringLiteral("jpg");
    }
    if (!kFormats.contains(options.format)) {
        return usageError(QStringLiteral("unknown target format '%1' (bmp, png or jpg)").arg(parser.value(to)));
    }
    if (parser.isSet(quality) && !readNumber(parser.value(quality), 10, 100, options.quality)) {
        return usageError(QStringLiteral("the JPG quality must be a whole number from 10 to 100"));
    }
    if (parser.isSet(jobs) && !readNumber(parser.value(jobs), 1, 1024, options.jobs)) {
        return usageError(QStringLiteral("the number of jobs must be a whole number from 1 to 1024"));
    }
    options.overwrite = parser.isSet(overwrite);
    options.skipExisting = parser.isSet(skipExisting);
    if (options.overwrite && options.skipExisting) {
        return usageError(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    }
    options.inputs = parser.positionalArguments();
    if (options.inputs.isEmpty()) {
        return usageError(QStringLiteral("no input files (use - to read their paths from standard input)"));
    }
    options.outputDir = parser.value(outputDir);
    options.outputFile = parser.value(output);
    if (parser.isSet(outputDir) && !QFileInfo(options.outputDir).isDir()) {
        return usageError(QStringLiteral("the output folder '%1' does not exist").arg(options.outputDir));
    }
    if (parser.isSet(output)) {
        if (parser.isSet(outputDir)) {
            return usageError(QStringLiteral("-O and -o exclude each other"));
        }
        if (options.inputs.size() != 1 || options.inputs.constFirst() == QLatin1String("-")) {
            return usageError(QStringLiteral("-O names the result of exactly one input file"));
        }
        if (!extensionFits(options.outputFile, options.format)) {
            return usageError(
                QStringLiteral("the result '%1' must end in .%2 for -t %2").arg(options.outputFile, options.format));
        }
    }
    result.action = ParsedCommandLine::Action::Convert;
    return result;
}

QString HelpText(int cores) {
    return QStringLiteral(
               "Usage: vornask-convert -t FORMAT [options] FILE...\n"
               "Converts image files (BMP, PNG, JPG or GIF, judged by their content) to BMP, PNG or JPG.\n"
               "Each result is named after its input with the format's extension, in lower case\n"
               "(Photo.PNG gives photo.jpg), and written beside its input unless -o or -O says otherwise.\n"
               "\n"
               "  -t, --to FORMAT       bmp, png or jpg (required)\n"
               "  -q, --quality N       JPG quality, 10 to 100 (default 80)\n"
               "  -o, --output-dir DIR  write the results into DIR (default: beside each input)\n"
               "  -O, --output FILE     the result's path, with exactly one input\n"
               "      --overwrite       replace existing results\n"
               "      --skip-existing   leave existing results alone and count them as skipped\n"
               "  -j, --jobs N          conversions at once (default: the number of cores, here %1)\n"
               "  -h, --help            show this text\n"
               "      --version         show the version\n"
               "  -                     as FILE: read input paths from standard input, one a line\n"
               "  --                    ends the options\n"
               "\n"
               "One line per input, in the order of the inputs: \"FILE -> RESULT\" on standard output,\n"
               "or \"FILE: \" and the reason on standard error. A result that exists is never replaced\n"
               "without --overwrite, and never when it is the input itself. A summary follows on\n"
               "standard error, and on a terminal a progress line.\n"
               "Ctrl+C stops: conversions under way finish, no others start, no partial file is left.\n"
               "\n"
               "Exit status: 0 every file converted (or skipped), 1 some file failed, 2 usage error,\n"
               "130 interrupted by Ctrl+C (SIGINT), 143 by SIGTERM.\n")
        .arg(cores);
}
