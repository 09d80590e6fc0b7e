#pragma once

#include <QString>

namespace TestSupport {

// Folder of the public image corpus (environment VORNASK_CORPUS, else the
// configured one), or an empty text when it is not on this machine.
QString corpusDir();

// A path inside the corpus; empty when the corpus is absent.
QString corpusPath(const QString& relative);

}  // namespace TestSupport

// Skips the current test when the corpus is not on this machine.
#define REQUIRE_CORPUS()                                                        \
    do {                                                                        \
        if (TestSupport::corpusDir().isEmpty()) GTEST_SKIP() << "image corpus not present"; \
    } while (0)
