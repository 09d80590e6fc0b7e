#include "tests/support/Corpus.h"

#include <QDir>
#include <QFileInfo>

namespace TestSupport {

QString corpusDir() {
    QString dir = qEnvironmentVariable("VORNASK_CORPUS");
#ifdef VORNASK_CORPUS
    if (dir.isEmpty()) {
        dir = QStringLiteral(VORNASK_CORPUS);
    }
#endif
    if (dir.isEmpty() || !QFileInfo(dir + QStringLiteral("/conformance")).isDir()) {
        return QString();
    }
    return QDir(dir).absolutePath();
}

QString corpusPath(const QString& relative) {
    const QString dir = corpusDir();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + relative;
}

}  // namespace TestSupport
