// The popup's Edit button on a desktop with xdg-utils: the editor opens inside the running
// program, and nothing is handed to the desktop to come back (a stand-in xdg-open writes down any
// call).

#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/dock/HoverServiceInterface.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeHotKeys.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QFile>
#include <QTemporaryDir>

class TestPopupEdit : public QObject {
    Q_OBJECT
    QTemporaryDir m_bin;

    QString recordPath() const { return m_bin.filePath("opened.txt"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_bin.isValid());
        // Any opener the desktop would use is one that records, first on the PATH.
        for (const char *name : {"xdg-open", "gio", "kde-open", "kde-open5", "exo-open", "gvfs-open"}) {
            const QString path = m_bin.filePath(QString::fromLatin1(name));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\necho \"$0 $*\" >> '" + recordPath().toUtf8() + "'\n");
            file.close();
            QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        }
        qputenv("PATH", m_bin.path().toUtf8() + ':' + qgetenv("PATH"));
        qunsetenv("BROWSER");
    }

    void theEditButtonOpensTheEditorInsideTheProgram()
    {
        FakeDockPlatform fakes;
        HotKeys::install(std::make_unique<FakeHotKeys>());
        // A user past the onboarding, as one who has groups in the Dock is.
        UserDefaults::standard().setValue(AppSettings::didCompleteOnboardingKey, true);
        ServiceFactories factories = ServiceFactories::standard();
        factories.configureAnalytics = [] {};
        factories.signal = [](const QString &, const QMap<QString, QString> &) {};
        KestrowanApp app(std::move(factories));
        AppGroup group = app.groupManager().createGroup();
        group.name = QStringLiteral("Work");
        app.groupManager().updateGroup(group);
        app.launch();
        app.bootstrapRuntime();
        QVERIFY(app.hoverService());

        app.hoverService()->showPopupForGroup(group, QRectF(400, 300, 80, 60));
        PopupHeader *header = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (window->isVisible() && (header = window->findChild<PopupHeader *>()))
                    return true;
            }
            return false;
        }(), 10000);
        QAbstractButton *edit = header->editButton();
        QTRY_VERIFY_WITH_TIMEOUT(edit->isVisible(), 10000);
        QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());

        QTRY_COMPARE_WITH_TIMEOUT(app.navigation().selectedPage(), std::optional<DetailPage>(DetailPage::group(group.id)), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(app.mainWindow() && app.mainWindow()->isVisible(), 10000);
        // Given time to have started one, no opener ran.
        QTest::qWait(1000);
        QFile record(recordPath());
        QVERIFY2(!record.exists(), record.open(QIODevice::ReadOnly) ? record.readAll().constData() : "");
    }
};

KESTROWAN_TEST_MAIN(TestPopupEdit)
#include "tst_popupedit_xvfb.moc"
