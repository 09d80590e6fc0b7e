#pragma once

#include "platform/PathStyle.h"

#include <QFile>
#include <QString>

// The HTML page of one run that shows each source image and each converted
// image with its path and size. Every item is written as one line ending in
// CR LF, in the system's 8-bit encoding.
class ViewerPage {
public:
    // Creates (or empties) the page at `path` and writes its header. Returns the
    // error description on failure, an empty text on success.
    QString create(const QString& path);

    // The source image: its path and size, and the image by its name relative to the page.
    void writeSourceEntry(const QString& inputPath, const QString& inputSizeText, const QString& inputName);
    // A converted image: its path, size and source name, and the image by its absolute address.
    void writeResultEntry(const QString& outputPath, const QString& outputSizeText, const QString& inputName);

    // Writes the footer and closes the page; failures are ignored.
    void close();

    const QString& path() const { return m_path; }

    // Text for HTML content and attribute values: & < > " escaped, and characters beyond
    // ASCII as character references, so the page reads the same in any encoding.
    static QString escapeHtml(const QString& text);
    // A file name as an address relative to the page.
    static QString relativeUrl(const QString& fileName);
    // An absolute path as a file://localhost address.
    static QString fileUrl(const QString& absolutePath, PathStyle style = PathStyle::native());

private:
    // Writes one item and its line end; throws RunTimeError when the file cannot take it.
    void writeItem(const QString& item);

    QFile m_file;
    QString m_path;
};
