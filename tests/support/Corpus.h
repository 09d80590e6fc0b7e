#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace TestSupport {

// Folder of the public image corpus (environment VORNASK_CORPUS, else the configured one),
// or an empty text when it is not on this machine.
inline QString corpusDir() {
    const QString dir = qEnvironmentVariableIsEmpty("VORNASK_CORPUS") ? QStringLiteral(VORNASK_CORPUS)
                                                                      : qEnvironmentVariable("VORNASK_CORPUS");
    return dir.isEmpty() || !QFileInfo(dir + "/conformance").isDir() ? QString() : QDir(dir).absolutePath();
}

// A path inside the corpus; empty when the corpus is absent.
inline QString corpusPath(const QString& relative) {
    return corpusDir().isEmpty() ? QString() : corpusDir() + '/' + relative;
}

}  // namespace TestSupport

// Skips the current test when the corpus is not on this machine.
#define REQUIRE_CORPUS()                                                                    \
    do {                                                                                    \
        if (TestSupport::corpusDir().isEmpty()) GTEST_SKIP() << "image corpus not present"; \
    } while (0)
