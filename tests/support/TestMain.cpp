#include "tests/support/TestMain.h"

#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeUserDefaults.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

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
