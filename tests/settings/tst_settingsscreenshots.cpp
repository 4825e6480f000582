// Draws the settings page scrolled to each of its sections, in light and dark and once in Japanese,
// and the add-to-group menu, saving each picture under screenshots/ in the build folder.
#include "tests/app/FakeShellServices.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/QuickAddPopover.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/InterfaceFont.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/LaunchAtLogin.h"
#include "Platform/fake/FakeDockPreferences.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/support/TestMain.h"
#include "tests/support/SettledIcons.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTest>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>

class TestSettingsScreenshots : public QObject {
    Q_OBJECT
private:
    ShellJournal m_journal;

    void save(const QImage &picture, const QString &name)
    {
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }

    // `prepare` acts on the page before it is drawn; `variant` then goes into the pictures' names.
    void shootPanel(bool dark, const QString &language, const QStringList &sections,
                    const std::function<void(SettingsPanel &)> &prepare = {}, const QString &variant = {})
    {
        Appearance::shared().apply(dark);
        LanguageManager::shared().setCurrentLanguage(language);
        GroupManager groups;
        AppUpdater updater(AppUpdateConfiguration::fromInfoDictionary(
            {{"CFBundleShortVersionString", "1.0.0"}, {"SUFeedURL", "https://example.com/feed"}, {"SUPublicEDKey", "k"}}));
        JournalPermissionManager permission(m_journal);
        AppEnvironment environment;
        environment.groupManager = &groups;
        environment.appUpdater = &updater;
        environment.permissionManager = &permission;
        SettingsPanel panel(environment, [] {});
        panel.resize(620, 540);
        panel.show();
        QCoreApplication::processEvents();
        if (prepare)
            prepare(panel);
        const QStringList anchors{"launchAtLogin", "clickMode", "autoSync", "version", "resetAll"};
        const QStringList names{"general", "interaction", "dock", "about", "reset"};
        for (int i = 0; i < names.size(); ++i) {
            if (!sections.contains(names.at(i)))
                continue;
            QWidget *anchor = panel.findChild<QWidget *>(anchors.at(i));
            QVERIFY(anchor);
            // The section's header at the top of the view. The last sections lie within the page's
            // final screenful, where the scroll stops short of them: the window is made shorter by
            // what is missing, so each picture still opens on its own section.
            QWidget *sectionBox = anchor;
            while (sectionBox->parentWidget() && sectionBox->parentWidget() != panel.scrollArea()->widget())
                sectionBox = sectionBox->parentWidget();
            panel.resize(620, 540);
            QCoreApplication::processEvents();
            QScrollBar *scroll = panel.scrollArea()->verticalScrollBar();
            // A question over the page is shown over the whole window, the page scrolled to its end.
            const bool asking = panel.confirmation() != nullptr;
            const int top = asking ? scroll->maximum() : sectionBox->y() - 12;
            if (top > scroll->maximum()) {
                panel.resize(620, 540 - (top - scroll->maximum()));
                QCoreApplication::processEvents();
            }
            scroll->setValue(top);
            QCoreApplication::processEvents();
            QCOMPARE(scroll->value(), top);
            QString name = QStringLiteral("settings-") + names.at(i) + variant + (dark ? QStringLiteral("-dark") : QStringLiteral("-light"));
            if (language == QStringLiteral("ja"))
                name += QStringLiteral("-ja");
            settleDecodedIcons(&panel);
            QImage picture = panel.grab().toImage();
            // An open menu is a window of its own: drawn onto the picture where it stands.
            if (QWidget *menu = QApplication::activePopupWidget()) {
                QPainter painter(&picture);
                painter.drawImage(panel.mapFromGlobal(menu->pos()), menu->grab().toImage());
            }
            // So is the question before a reset.
            if (ConfirmationAlert *alert = panel.confirmation()) {
                QVERIFY(QTest::qWaitForWindowExposed(alert));
                QPainter painter(&picture);
                painter.drawImage(panel.mapFromGlobal(alert->pos()), alert->grab().toImage());
            }
            save(picture, name);
        }
    }

private slots:
    void initTestCase()
    {
        SystemAppearance::install(std::make_unique<FakeSystemAppearance>());
        auto dock = std::make_unique<FakeDockPreferences>();
        dock->values.insert("orientation", "bottom");
        DockPreferences::install(std::move(dock));
        installInterfaceFont();
    }

    void everySectionLightAndDark()
    {
        const QStringList all{"general", "interaction", "dock", "about", "reset"};
        shootPanel(false, "en", all);
        shootPanel(true, "en", all);
    }

    // The language list open: the kit's rounded menu with the current language checked.
    void theLanguageMenu()
    {
        for (const auto &[dark, language] : {std::pair{false, QStringLiteral("en")}, std::pair{true, QStringLiteral("en")},
                                             std::pair{false, QStringLiteral("ja")}}) {
            shootPanel(dark, language, {"general"}, [](SettingsPanel &panel) {
                auto *languageButton = panel.findChild<SettingsPopUpButton *>(QStringLiteral("language"));
                QVERIFY(languageButton);
                languageButton->showPopup();
                QTRY_VERIFY(languageButton->openMenu() && languageButton->openMenu()->isVisible());
            }, QStringLiteral("-languagemenu"));
            if (QWidget *menu = QApplication::activePopupWidget())
                menu->close();
        }
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    // The question before a reset, over the page in both looks and in Japanese.
    void theResetQuestion()
    {
        const auto ask = [](SettingsPanel &panel) {
            QTest::mouseClick(panel.findChild<QAbstractButton *>(QStringLiteral("resetAll")), Qt::LeftButton);
            QTRY_VERIFY(panel.confirmation() && panel.confirmation()->isVisible());
        };
        for (const auto &[dark, language] : {std::pair{false, QStringLiteral("en")}, std::pair{true, QStringLiteral("en")},
                                             std::pair{false, QStringLiteral("ja")}})
            shootPanel(dark, language, {"reset"}, ask, QStringLiteral("confirm"));
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    void aFailedLaunchAtLoginSaysWhy()
    {
        // A file where the autostart folder should be: the entry cannot be written.
        const QString folder = QFileInfo(LaunchAtLogin::autostartEntryPath()).absolutePath();
        QDir(folder).removeRecursively();
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const auto flip = [](SettingsPanel &panel) {
            QTest::mouseClick(panel.findChild<QAbstractButton *>(QStringLiteral("launchAtLogin")), Qt::LeftButton);
            QVERIFY(panel.findChild<QWidget *>(QStringLiteral("launchAtLoginFailure"))->isVisible());
        };
        shootPanel(false, "en", {"general"}, flip, QStringLiteral("-launchfailure"));
        shootPanel(true, "en", {"general"}, flip, QStringLiteral("-launchfailure"));
        QFile::remove(folder);
    }

    void japanese()
    {
        shootPanel(false, "ja", {"general", "interaction", "dock", "about", "reset"});
        LanguageManager::shared().setCurrentLanguage("system");
    }

    void addToGroupMenu_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << false << QStringLiteral("en");
        QTest::newRow("dark") << true << QStringLiteral("en");
        QTest::newRow("light ja") << false << QStringLiteral("ja");
    }
    void addToGroupMenu()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        LanguageManager::shared().setCurrentLanguage(language);
        const auto restore = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage("system"); });
        Appearance::shared().apply(dark);
        // The menu as the user meets it: inside the panel a card's quick-add button opens, with the
        // pointer resting on its second row until that row's highlight has faded in.
        MainViewFactories::shared().addToGroupMenu = [](const AddToGroupMenuActions &actions) {
            return new AddToGroupMenu(actions.onDockApps, actions.onApps, actions.onFiles, actions.onFolders);
        };
        const auto unplug = qScopeGuard([] { MainViewFactories::shared().addToGroupMenu = nullptr; });
        QWidget host;
        host.resize(320, 60);
        auto *anchor = new QWidget(&host);
        anchor->setGeometry(140, 10, 28, 28);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QPointer<QuickAddPopover> popover = new QuickAddPopover({}, anchor);
        popover->popup();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        AddToGroupMenu *menu = popover->findChild<AddToGroupMenu *>();
        QVERIFY(menu);
        AddToGroupMenuRow *row = menu->rows().at(1);
        QTest::mouseMove(row, row->rect().center());
        QTRY_COMPARE_WITH_TIMEOUT(row->highlight(), 1.0, 10000);
        const QPixmap rendered = popover->grab();
        QImage picture(rendered.size() + QSize(32, 32), QImage::Format_ARGB32_Premultiplied);
        picture.fill(dark ? QColor(0x13, 0x12, 0x11) : QColor(0xFA, 0xF8, 0xF5));
        QPainter painter(&picture);
        painter.drawPixmap(16, 16, rendered);
        painter.end();
        popover->close();
        save(picture, QStringLiteral("main-addtogroup-menu-") + (dark ? QStringLiteral("dark") : QStringLiteral("light"))
                          + (language == QStringLiteral("ja") ? QStringLiteral("-ja") : QString()));
    }
};

KESTROWAN_TEST_MAIN(TestSettingsScreenshots)
#include "tst_settingsscreenshots.moc"
