#include "analytics/TallylineHost.h"

#include "Platform/UserDefaults.h"
#include "Tallyline/ApplicationActivity.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/SystemSignalPlatform.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QThread>

namespace {

// The program's defaults belong to the main thread; a client thread that reaches the suite waits
// for the main thread to do the access.
template <typename Work>
auto onMainThread(Work work) -> decltype(work())
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || QThread::currentThread() == application->thread())
        return work();
    decltype(work()) result{};
    QMetaObject::invokeMethod(application, [&] { result = work(); }, Qt::BlockingQueuedConnection);
    return result;
}

class UserDefaultsSuite final : public DefaultsSuite
{
public:
    explicit UserDefaultsSuite(const QString &name) : DefaultsSuite(name) {}

    QVariant value(const QString &key) const override
    {
        return onMainThread([&] { return UserDefaults::suite(name()).value(key); });
    }
    void setValue(const QString &key, const QVariant &value) override
    {
        onMainThread([&] {
            UserDefaults::suite(name()).setValue(key, value);
            return true;
        });
    }
    void remove(const QString &key) override
    {
        onMainThread([&] {
            UserDefaults::suite(name()).remove(key);
            return true;
        });
    }
};

QGuiApplication *guiApplication()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance());
}

// The client's session and duration bookkeeping leaves out the time in which the user is in
// another program: tell it when the program loses and regains the front.
void forwardActivation()
{
    QGuiApplication *application = guiApplication();
    static QPointer<QObject> forwarder;
    if (!application || forwarder)
        return;
    forwarder = new QObject(application);
    auto wasActive = std::make_shared<bool>(QGuiApplication::applicationState() == Qt::ApplicationActive);
    QObject::connect(application, &QGuiApplication::applicationStateChanged, forwarder,
                     [wasActive](Qt::ApplicationState state) {
                         const bool active = state == Qt::ApplicationActive;
                         if (active == *wasActive)
                             return;
                         *wasActive = active;
                         if (active)
                             ApplicationActivity::postWillBecomeActive();
                         else
                             ApplicationActivity::postDidResignActive();
                     });
}

} // namespace

void connectTallylineToHost()
{
    DefaultsSuite::installFactory([](const QString &name) { return std::make_unique<UserDefaultsSuite>(name); });

    SystemSignalPlatform::HostReaders readers;
    readers.mainScreen = []() -> std::optional<SignalPlatform::Screen> {
        QGuiApplication *application = guiApplication();
        QScreen *screen = application ? QGuiApplication::primaryScreen() : nullptr;
        if (!screen)
            return std::nullopt;
        const QRect frame = screen->geometry();
        return SignalPlatform::Screen{double(frame.width()), double(frame.height()), screen->devicePixelRatio()};
    };
    readers.colorScheme = []() -> QString {
        if (!guiApplication())
            return QStringLiteral("N/A");
        const QPalette palette = QGuiApplication::palette();
        return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness()
                   ? QStringLiteral("Dark")
                   : QStringLiteral("Light");
    };
    readers.layoutDirection = []() -> QString {
        if (!guiApplication())
            return QStringLiteral("N/A");
        return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rightToLeft")
                                                                     : QStringLiteral("leftToRight");
    };
    SystemSignalPlatform::setHostReaders(std::move(readers));
    forwardActivation();
}
