#include "batch/ViewerPage.h"

#include "platform/RunTimeError.h"

#include <QStringList>
#include <QUrl>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString percentEncoded(const QString& segment) {
    return QString::fromLatin1(QUrl::toPercentEncoding(segment));
}

QString encodedSegments(const QStringList& segments) {
    QStringList encoded;
    encoded.reserve(segments.size());
    for (const QString& segment : segments) {
        encoded << percentEncoded(segment);
    }
    return encoded.join(QLatin1Char('/'));
}

}  // namespace

QString ViewerPage::create(const QString& path) {
    m_path = path;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return m_file.errorString();
    }
    try {
        writeItem(QStringLiteral("<HTML><HEAD><TITLE>"));
        writeItem(escapeHtml(path));
        writeItem(QStringLiteral("</TITLE></HEAD>") + kCrLf);
        writeItem(QStringLiteral("<BODY BGCOLOR=\"#000000\" TEXT=\"#FFFFFF\"><CENTER>") + kCrLf);
    } catch (const RunTimeError& error) {
        m_file.close();
        return error.description();
    }
    return QString();
}

void ViewerPage::writeSourceEntry(const QString& inputPath, const QString& inputSizeText, const QString& inputName) {
    writeItem(escapeHtml(inputPath) + QStringLiteral(", ") + escapeHtml(inputSizeText) + QStringLiteral("<BR>"));
    writeItem(QStringLiteral("<IMG SRC=\"") + escapeHtml(relativeUrl(inputName)) +
              QStringLiteral("\" BORDER=\"1\"><P>") + kCrLf);
}

void ViewerPage::writeResultEntry(const QString& outputPath, const QString& outputSizeText, const QString& inputName) {
    writeItem(escapeHtml(outputPath) + QStringLiteral(", ") + escapeHtml(outputSizeText) + QStringLiteral(" (from ") +
              escapeHtml(inputName) + QStringLiteral(")<BR>"));
    writeItem(QStringLiteral("<IMG SRC=\"") + escapeHtml(fileUrl(outputPath)) + QStringLiteral("\" BORDER=\"1\"><P>") +
              kCrLf);
}

void ViewerPage::close() {
    if (!m_file.isOpen()) {
        return;
    }
    // The run is over; a footer that cannot be written leaves a page that browsers still show.
    m_file.write((QStringLiteral("</CENTER></BODY></HTML>") + kCrLf + kCrLf).toLocal8Bit());
    m_file.close();
}

void ViewerPage::writeItem(const QString& item) {
    const QByteArray bytes = (item + kCrLf).toLocal8Bit();
    // Flushed item by item so that a full disk shows up at the entry that hit it.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        throw RunTimeError(m_file.errorString());
    }
}

QString ViewerPage::escapeHtml(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
            case '&':
                out += QStringLiteral("&amp;");
                continue;
            case '<':
                out += QStringLiteral("&lt;");
                continue;
            case '>':
                out += QStringLiteral("&gt;");
                continue;
            case '"':
                out += QStringLiteral("&quot;");
                continue;
            default:
                break;
        }
        if (c.unicode() < 0x80) {
            out += c;
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        }
        out += QStringLiteral("&#%1;").arg(static_cast<uint>(code));
    }
    return out;
}

QString ViewerPage::relativeUrl(const QString& fileName) {
    return percentEncoded(fileName);
}

QString ViewerPage::fileUrl(const QString& absolutePath, PathStyle style) {
    if (!style.isWindows()) {
        // The path starts with "/", which completes the address after the host.
        return QStringLiteral("file://localhost") + encodedSegments(absolutePath.split(QLatin1Char('/')));
    }
    QString path = absolutePath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1String("//"))) {
        // A network path names its own host.
        return QStringLiteral("file:") + encodedSegments(path.split(QLatin1Char('/')));
    }
    QStringList segments = path.split(QLatin1Char('/'));
    QString drive;
    if (!segments.isEmpty() && segments.first().size() == 2 && segments.first().at(1) == QLatin1Char(':')) {
        drive = segments.takeFirst();
    }
    QString url = QStringLiteral("file://localhost/") + drive;
    if (!segments.isEmpty()) {
        url += (drive.isEmpty() ? QString() : QStringLiteral("/")) + encodedSegments(segments);
    }
    return url;
}
