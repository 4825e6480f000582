#pragma once

#include <QApplication>
#include <QString>
#include <QTest>

// Gives the test process a home of its own before anything reads a location: HOME and the XDG
// folders point into a fresh temporary directory, and the standard user defaults are an in-memory
// fake. Returns the temporary home's path. The folder is removed when the process exits normally.
QString prepareIsolatedTestEnvironment(const char *testName);

// Runs the test object's functions as QTest::qExec does. When KESTROWAN_TEST_REPORTS names a folder
// and the arguments name no output, each function's time goes to <folder>/<program>.xml (JUnit XML)
// beside the usual text on standard output, so a whole run's slowest functions can be listed.
int runTestObject(QObject *testObject, int argc, char *argv[]);

// Use instead of QTEST_MAIN.
#define KESTROWAN_TEST_MAIN(TestObject)                                      \
    int main(int argc, char *argv[])                                         \
    {                                                                        \
        prepareIsolatedTestEnvironment(#TestObject);                         \
        QApplication app(argc, argv);                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                             \
        TestObject tc;                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                           \
        return runTestObject(&tc, argc, argv);                               \
    }
