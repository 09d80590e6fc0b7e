#pragma once

#include "batch/BatchHost.h"

#include <QStringList>

class frmConvertSingleFile;

// What the single-file conversion needs of the main window beyond the batch's view of it.
class SingleFileHost : public BatchHost {
public:
    // The format codes "BMP", "PNG", "JPG", "GIF" in the order of the format lists.
    virtual QStringList fileFormats() const = 0;
    virtual void setFolderText(int index, const QString& text) = 0;
    // Selects an item of a format list as the user would; false when there is no such item.
    virtual bool setFormatIndex(int index, int item) = 0;
    // The range stored by the single-file dialog (step negative for a downward range).
    virtual void qualityRange(qint16& from, qint16& to, qint16& step) const = 0;
    // The single-file dialog, created on first use and kept.
    virtual frmConvertSingleFile& convertSingleFileDialog() = 0;
    virtual void FocusNextStep() = 0;
};

namespace SingleFile {

// "Convert single file": asks for one image, then converts it as ConvertChosenFile does.
void cmdConvertSingleFile_Click(SingleFileHost& host);

// The single-file conversion of a file already chosen (by the Open dialog, on the command line
// or by a drop): asks which formats and JPG qualities it is to be converted to, converts it next
// to itself and shows the results. Ends with the focus step; does nothing while another
// operation runs.
void ConvertChosenFile(SingleFileHost& host, const QString& chosenPath);

// The Open dialog's filter for the images the program converts; a JPEG is often named .jpeg.
inline const QString kImageFilter = QStringLiteral("BMP, GIF, JPG and PNG|*.bmp;*.gif;*.jpg;*.jpeg;*.png");

}  // namespace SingleFile
