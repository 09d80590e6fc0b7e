// main() for every test program: GoogleTest inside a running QApplication.
#include "tests/support/TestHelpers.h"

#include <gtest/gtest.h>
#include <QApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool runningUnderWine() {
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
