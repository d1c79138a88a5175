#pragma once

// Entry point for test suites that need the program's own application object (its exception
// handling, ownership list and title) rather than a plain QApplication. Run by hand as under
// CTest, the update check goes to a closed local port, never to the built-in site name. Like
// every suite, these get the guard against unanswered modal boxes (support/ModalGuard.h).
//
//     LSS_TEST_MAIN(TestLauncher)
//     #include "test_launcher.moc"

#include "app/Application.h"
#include "platform/Appearance.h"

#include <QtTest>

#define LSS_TEST_MAIN(TestClass)                                                                                       \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        if (!qEnvironmentVariableIsSet("LSS_SITE_BASE"))                                                               \
            qputenv("LSS_SITE_BASE", "http://127.0.0.1:9");                                                            \
        Application app(argc, argv);                                                                                   \
        app.setTitle(QStringLiteral("青穹阁信息查询系统V1.0"));                                                        \
        installAppearance();                                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        TestClass tc;                                                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
