#include "tests/support/TestMain.h"

#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeUserDefaults.h"

#include <QByteArrayList>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

QtMessageHandler testLogHandler = nullptr;

// QtTest's loggers keep what they are told in lists of their own without a lock, and the program
// logs from its worker threads: two messages at once would corrupt them. One message at a time.
void logOneAtATime(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static QRecursiveMutex oneAtATime;
    const QMutexLocker lock(&oneAtATime);
    testLogHandler(type, context, message);
}

} // namespace

QString prepareIsolatedTestEnvironment(const char *testName)
{
    // Kept for the whole process; destroyed (and removed) at exit.
    static std::unique_ptr<QTemporaryDir> home;
    home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrowan-%1-XXXXXX").arg(QString::fromLatin1(testName)));
    const QByteArray path = home->path().toUtf8();
    setenv("HOME", path.constData(), 1);
    setenv("XDG_DATA_HOME", (path + "/.local/share").constData(), 1);
    setenv("XDG_CONFIG_HOME", (path + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (path + "/.cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", path.constData(), 1);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QDir().mkpath(home->path() + QStringLiteral("/.local/share"));
    QDir().mkpath(home->path() + QStringLiteral("/.config"));
    QDir().mkpath(home->path() + QStringLiteral("/.cache"));
    UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
    return home->path();
}

int runTestObject(QObject *testObject, int argc, char *argv[])
{
    // Read once and dropped, so that a test program this one starts writes no report over its own.
    const QByteArray reports = qgetenv("KESTROWAN_TEST_REPORTS");
    unsetenv("KESTROWAN_TEST_REPORTS");
    QByteArrayList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    if (!reports.isEmpty() && argc > 0 && !arguments.contains("-o")) {
        QDir().mkpath(QString::fromLocal8Bit(reports));
        const QByteArray report = reports + '/' + QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toLocal8Bit();
        arguments << "-o" << report + ".xml,junitxml" << "-o" << "-,txt";
    }
    std::vector<char *> pointers;
    for (QByteArray &argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    // As QTest::qExec, with QtTest's own message handler, installed as it starts logging, wrapped.
    QTest::qInit(testObject, int(arguments.size()), pointers.data());
    testLogHandler = qInstallMessageHandler(logOneAtATime);
    const int failures = QTest::qRun();
    qInstallMessageHandler(testLogHandler);
    QTest::qCleanup();
    return failures;
}
