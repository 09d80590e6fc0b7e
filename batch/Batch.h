#pragma once

#include "batch/BatchHost.h"

#include <QLocale>
#include <QString>
#include <functional>

// The batch run over a folder, the per-file step shared with the single-file
// conversion, and the folder listings. Everything reaches the main window
// through BatchHost; the library calls run on worker threads, the later files'
// ahead of their turns (AheadScheduler.h), while the window stays responsive.
namespace Batch {

// What ProcessFiles does with each matching file.
enum Operation : int { ListInput = 0, ListOutput = 1, ConvertBatch = 2, ConvertSingle = 3 };

// "Convert files": checks the batch settings, runs the batch and finishes its viewer page.
void cmdConvertFiles_Click(BatchHost& host);
// "Stop": asks the running operation to end after the current file.
void cmdStop_Click(BatchHost& host);
// "List" of the input (index 0) or output (index 1) folder.
void cmdList_Click(BatchHost& host, int index);

// Walks the folder of `intOperation` and hands each matching file to ProcessFile.
void ProcessFiles(BatchHost& host, int intOperation);

// Lists or converts one file of the input folder. `intResult` becomes 1 (done), 0 (not
// converted) or -1 (end the whole run). Throws RunTimeError for a file length that cannot be
// read, a missing library or a library result beyond 16 bits.
void ProcessFile(BatchHost& host, int intOperation, const QString& strFilename, bool blnSingleFileOperation,
                 const QString& strQualitySuffix, int& intResult);

// Creates the viewer page in the folder of `inputPath` and writes its header; false (viewing
// off) when no page could be created.
bool OpenViewerFile(BatchHost& host, const QString& inputPath);
// Ends the open viewer page: reports it when it got entries, deletes it otherwise.
void CloseViewerFile(BatchHost& host);
// End of a conversion run: closes the page opened during it and opens it in the
// browser when it holds a converted image. Quiet when the program is ending.
void FinishViewerPage(BatchHost& host);

// True while an operation runs; the main window ignores the buttons that start one.
bool OperationRunning(BatchHost& host);

// Marks an operation as running for its lifetime (the single-file conversion uses it too).
class OperationScope {
public:
    explicit OperationScope(BatchHost& host);
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

private:
    RunState& m_state;
};

// A file size as the report shows it: "123,456 bytes", grouped with the locale's separator
// ("," where the locale has none).
QString SizeText(qint64 bytes, const QLocale& locale = QLocale::system());

// The library call: input path, output path, JPG quality, error kind out; returns the message.
using Converter = std::function<QString(const QString&, const QString&, qint16, int&)>;
// Replaces the library call (tests); an empty function restores the real one. Returns the previous one.
Converter SetConverter(Converter converter);
// Forces how many conversions run at once (1: every file at its turn, one after the other, as
// tests compare); 0 restores the machine's own number. Returns the previous setting.
int SetConversionSlots(int count);

}  // namespace Batch
