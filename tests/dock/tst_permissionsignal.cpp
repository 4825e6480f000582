// The permission manager inside the program's start-up: a change of the Accessibility grant is
// reported once, a grant with its usage signal, and the interaction mode follows.

#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/dock/HoverServiceInterface.h"
#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "Platform/fake/FakeHotKeys.h"
#include "tests/support/TestMain.h"

class TestPermissionSignal : public QObject {
    Q_OBJECT

private slots:
    void aGrantIsReportedOnceWithItsSignal()
    {
        FakeDockPlatform fakes;
        HotKeys::install(std::make_unique<FakeHotKeys>());
        fakes.accessibility->trusted = false;
        UserDefaults::standard().setValue(QStringLiteral("interactionMode"), QStringLiteral("hover"));
        QStringList sent;
        ServiceFactories factories = ServiceFactories::standard();
        factories.configureAnalytics = [] {};
        factories.signal = [&](const QString &name, const QMap<QString, QString> &) { sent.append(name); };
        KestrowanApp app(std::move(factories));
        app.bootstrapRuntime();
        QVERIFY(!app.permissionManager().isAccessibilityGranted());
        QCOMPARE(app.hoverService()->mode(), InteractionMode::None);

        fakes.accessibility->trusted = true;
        app.permissionManager().refreshAccessibilityStatus();
        app.permissionManager().refreshAccessibilityStatus();
        QCOMPARE(sent.count(QStringLiteral("permission.accessibility_granted")), 1);
        QTRY_COMPARE(app.hoverService()->mode(), InteractionMode::Hover);

        // Taken back, and seen by the poll: no signal, and tracking stops.
        fakes.accessibility->trusted = false;
        QTRY_COMPARE_WITH_TIMEOUT(app.hoverService()->mode(), InteractionMode::None, 10000);
        QCOMPARE(sent.count(QStringLiteral("permission.accessibility_granted")), 1);
        HotKeys::install(nullptr);
    }
};

KESTROWAN_TEST_MAIN(TestPermissionSignal)
#include "tst_permissionsignal.moc"
