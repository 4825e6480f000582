#include "tests/app/FakeShellServices.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/mainwindow/SettingsModel.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/SettingsReset.h"
#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/LaunchAtLogin.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/EffectiveAppearance.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/NVLXMenu.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeDockPreferences.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/PermissionOverride.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/TestMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

namespace {

using Sent = QList<QPair<QString, QMap<QString, QString>>>;

QMap<QString, QString> change(const QString &setting, const QString &value)
{
    return {{"setting", setting}, {"value", value}};
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private:
    ShellJournal m_journal;
    std::unique_ptr<GroupManager> m_groups;
    std::unique_ptr<AppUpdater> m_updater;
    std::unique_ptr<JournalPermissionManager> m_permission;
    FakeApplicationActivation *m_activation = nullptr;
    FakeDockPreferences *m_dock = nullptr;
    FakeProcessRunner *m_runner = nullptr;
    std::unique_ptr<SettingsPanel> m_panel;
    Sent m_sent;
    UserDefaults &defaults() { return UserDefaults::standard(); }

    SettingsPanel &panel(bool withUpdater = false)
    {
        if (withUpdater)
            m_updater = std::make_unique<AppUpdater>(AppUpdateConfiguration::fromInfoDictionary(
                {{"SUFeedURL", "https://example.com/feed"}, {"SUPublicEDKey", "key"}, {"CFBundleShortVersionString", "3.1"}}));
        AppEnvironment environment;
        environment.groupManager = m_groups.get();
        environment.appUpdater = m_updater.get();
        environment.permissionManager = m_permission.get();
        m_panel = std::make_unique<SettingsPanel>(environment, [] {});
        m_panel->model().setSignalSender([this](const QString &name, const QMap<QString, QString> &parameters) {
            m_sent.append({name, parameters});
        });
        m_panel->model().setProgramPath("/opt/kestrowan/Kestrowan");
        m_panel->resize(620, 540);
        m_panel->show();
        return *m_panel;
    }

    template <typename Widget = QWidget>
    Widget *find(const QString &name)
    {
        Widget *widget = m_panel->findChild<Widget *>(name);
        if (!widget)
            qWarning("no widget named %s", qPrintable(name));
        return widget;
    }

    void click(const QString &name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }

    // A stored group with its mirror folder and, when `inDock`, its folder tile.
    AppGroup addGroup(const QString &name, bool inDock)
    {
        AppGroup group = m_groups->createGroup();
        group.name = name;
        m_groups->updateGroup(group);
        const QString folder = makeFolder(groupsDirectoryURL() + u'/' + name);
        writeBytes(folder + "/.group_id", group.id.toString(QUuid::WithoutBraces).toUpper().toUtf8());
        if (inDock) {
            QVariantList others = m_dock->values.value("persistent-others").toList();
            others.append(DockService::folderTile(QUrl::fromLocalFile(folder), name, AppGroup::DisplayStyle::Grid));
            m_dock->values.insert("persistent-others", others);
        }
        return group;
    }

    QStringList sectionTitles() const
    {
        QStringList texts;
        for (TokenLabel *label : m_panel->findChildren<TokenLabel *>("sectionTitle"))
            texts << label->text();
        return texts;
    }

    int tileCount() const { return int(m_dock->values.value("persistent-others").toList().size()); }

private slots:
    void init()
    {
        UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
        LanguageManager::resetSharedForTesting();
        auto activation = std::make_unique<FakeApplicationActivation>();
        m_activation = activation.get();
        ApplicationActivation::install(std::move(activation));
        auto dock = std::make_unique<FakeDockPreferences>();
        m_dock = dock.get();
        DockPreferences::install(std::move(dock));
        m_runner = installSucceedingProcessRunner();
        DockService::clearSyncBlock();
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(LaunchAtLogin::autostartEntryPath());
        m_groups = startedManager("/opt/kestrowan/Kestrowan");
        m_updater = std::make_unique<AppUpdater>(AppUpdateConfiguration::fromInfoDictionary({{"CFBundleShortVersionString", "2.4.1"}}));
        m_permission = std::make_unique<JournalPermissionManager>(m_journal);
        m_journal.entries.clear();
        m_sent.clear();
    }

    void cleanup()
    {
        m_panel.reset();
        m_groups.reset();
    }

    void aFreshUserSeesTheDefaults()
    {
        panel();
        SettingsModel &model = m_panel->model();
        QVERIFY(!model.launchAtLogin());
        QVERIFY(!find<SettingsSwitch>("launchAtLogin")->isChecked());
        QVERIFY(!find<SettingsSwitch>("showInDock")->isChecked());
        QCOMPARE(find<SegmentedChoice>("appearance")->selected(), QString("system"));
        QCOMPARE(find<QComboBox>("language")->currentText(), localized("settings.language.system"));
        QVERIFY(find<QAbstractButton>("clickMode")->isVisible());
        QVERIFY(!find<SettingsSwitch>("autoSync")->isChecked());
        QVERIFY(find<SettingsSwitch>("autoRefreshDockLabel")->isChecked());
        QVERIFY(!find<SettingsSwitch>("autoUpdate")->isChecked());
        QCOMPARE(find<QLabel>("version")->text(), QString("2.4.1"));
        QCOMPARE(find<QLabel>("dockPosition")->text(), localized("settings.dockPosition.bottom"));
        QCOMPARE(find<QLabel>("dockAutoHide")->text(), localized("settings.no"));
        // Without an updater there is no check button; nothing was written or reported by opening.
        QVERIFY(!m_panel->findChild<QAbstractButton *>("checkForUpdates"));
        QVERIFY(defaults().keys().isEmpty() || !defaults().contains("showInDock"));
        QVERIFY(m_sent.isEmpty());
    }

    void generalSwitchesWriteTheirPlacesAndReport()
    {
        panel();
        click("launchAtLogin");
        QVERIFY(LaunchAtLogin::isEnabled());
        click("launchAtLogin");
        QVERIFY(!LaunchAtLogin::isEnabled());
        click("showInDock");
        QVERIFY(defaults().boolean("showInDock"));
        // The page sets the Dock icon at once, whatever the window.
        QCOMPARE(m_activation->policy, ApplicationActivation::Policy::Regular);
        click("showInDock");
        QCOMPARE(defaults().value("showInDock"), QVariant(false));
        QCOMPARE(m_activation->policy, ApplicationActivation::Policy::Accessory);
        QCOMPARE(m_sent, (Sent{{"settings.changed", change("launch_at_login", "true")},
                               {"settings.changed", change("launch_at_login", "false")},
                               {"settings.changed", change("show_in_dock", "true")},
                               {"settings.changed", change("show_in_dock", "false")}}));
    }

    // The autostart folder goes with the entry only when switching the setting on made it, by the
    // program's own record: one the user had, one the user put a file in, and one the user made
    // anew in its place all stay.
    void theAutostartFolderGoesOnlyWhenTheProgramMadeIt()
    {
        const QString folder = QFileInfo(LaunchAtLogin::autostartEntryPath()).absolutePath();
        QDir(folder).removeRecursively();
        panel();
        click("launchAtLogin");
        QVERIFY(QFileInfo(folder).isDir());
        click("launchAtLogin");
        QVERIFY(!LaunchAtLogin::isEnabled());
        QVERIFY(!QFileInfo::exists(folder));

        // The user's own folder stays.
        QVERIFY(QDir().mkpath(folder));
        click("launchAtLogin");
        click("launchAtLogin");
        QVERIFY(!LaunchAtLogin::isEnabled());
        QVERIFY(QFileInfo(folder).isDir());

        // Made by the program, then given a file of the user's: it stays, with the file.
        QVERIFY(QDir(folder).removeRecursively());
        click("launchAtLogin");
        writeBytes(folder + QStringLiteral("/other.desktop"), "[Desktop Entry]\n");
        click("launchAtLogin");
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/other.desktop")));

        // Made by the program, then removed and made again by the user (the new one may even get
        // the old one's inode number): not the one it made.
        QVERIFY(QDir(folder).removeRecursively());
        click("launchAtLogin");
        QVERIFY(LaunchAtLogin::isEnabled());
        const QByteArray entry = readBytes(LaunchAtLogin::autostartEntryPath());
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QDir().mkpath(folder));
        writeBytes(LaunchAtLogin::autostartEntryPath(), entry);
        click("launchAtLogin");
        QVERIFY(!LaunchAtLogin::isEnabled());
        QVERIFY(QFileInfo(folder).isDir());
        QDir(folder).removeRecursively();
    }

    void aFailedLoginItemShowsTheRealStateAndWhy()
    {
        const QString folder = QFileInfo(LaunchAtLogin::autostartEntryPath()).absolutePath();
        QDir(folder).removeRecursively();
        writeBytes(folder, "not a folder");
        panel();
        QVERIFY(find<TokenLabel>("launchAtLoginFailure")->isHidden());
        LogCapture log;
        click("launchAtLogin");
        QCOMPARE(log.count("^Launch at login toggle failed"), 1);
        // Nothing was registered: the switch goes back, and the page says why.
        QVERIFY(!find<SettingsSwitch>("launchAtLogin")->isChecked());
        QVERIFY(!LaunchAtLogin::isEnabled());
        TokenLabel *failure = find<TokenLabel>("launchAtLoginFailure");
        QVERIFY(failure->isVisible());
        QVERIFY(failure->text().startsWith(localized("settings.launchAtLogin.failed").section("%@", 0, 0)));
        QVERIFY(failure->text().contains(folder));
        QCOMPARE(m_sent.size(), 1);
        QFile::remove(folder);

        // Once the folder can be made, the next flip registers and the reason goes.
        click("launchAtLogin");
        QVERIFY(LaunchAtLogin::isEnabled());
        QVERIFY(find<SettingsSwitch>("launchAtLogin")->isChecked());
        QVERIFY(failure->isHidden());

        // An entry that cannot be removed keeps the switch on.
        {
            const WithoutPermissionOverride asAnyUser;
            QVERIFY(setFolderWritable(folder, false));
            click("launchAtLogin");
            QVERIFY(setFolderWritable(folder, true));
        }
        QVERIFY(LaunchAtLogin::isEnabled());
        QVERIFY(find<SettingsSwitch>("launchAtLogin")->isChecked());
        QVERIFY(failure->isVisible());
        QCOMPARE(log.count("^Launch at login toggle failed"), 2);
        // Built again, the page shows what the entry says.
        panel();
        QVERIFY(find<SettingsSwitch>("launchAtLogin")->isChecked());
        QVERIFY(find<TokenLabel>("launchAtLoginFailure")->isHidden());
    }

    void appearanceSegmentsStoreEveryPress()
    {
        panel();
        SegmentedChoice *appearance = find<SegmentedChoice>("appearance");
        QTest::mouseClick(appearance->segment("dark"), Qt::LeftButton);
        QCOMPARE(defaults().string("appearanceMode"), QString("dark"));
        QCOMPARE(appearance->selected(), QString("dark"));
        QTest::mouseClick(appearance->segment("dark"), Qt::LeftButton);
        QCOMPARE(m_sent, (Sent{{"settings.changed", change("appearance", "dark")}, {"settings.changed", change("appearance", "dark")}}));
        defaults().setValue("appearanceMode", "sepia");
        QCOMPARE(appearance->selected(), QString("sepia"));
        QVERIFY(!appearance->segment("system")->accessibleDescription().contains("selected"));
    }

    void theLanguageChoiceWritesAndRemovesItsKeys()
    {
        panel();
        QComboBox *language = find<QComboBox>("language");
        const int english = language->findData("en");
        QVERIFY(english > 0);
        language->setCurrentIndex(english);
        emit language->activated(english);
        QCOMPARE(defaults().string("appLanguage"), QString("en"));
        QCOMPARE(defaults().stringList("AppleLanguages"), QStringList{"en"});
        QCOMPARE(LanguageManager::shared().currentLanguage(), QString("en"));

        // The page reads in the new language at once: Japanese titles after choosing Japanese.
        language = find<QComboBox>("language");
        const int japanese = language->findData("ja");
        emit language->activated(japanese);
        QCOMPARE(defaults().stringList("AppleLanguages"), QStringList{"ja"});
        QTRY_VERIFY(m_panel->findChildren<TokenLabel *>("sectionTitle").size() == 5);
        QTRY_VERIFY2(sectionTitles().contains(localized("settings.general")), qPrintable(sectionTitles().join(", ")));
        QVERIFY(sectionTitles().contains("Dock"));
        QCOMPARE(find<QComboBox>("language")->currentText(), QString("日本語"));
        // The entry that follows the system reads in the interface's language, as do the others' own
        // names in theirs: no Chinese in a Japanese or English menu.
        QCOMPARE(find<QComboBox>("language")->itemText(0), QString::fromUtf8("システム"));
        emit find<QComboBox>("language")->activated(english);
        QTRY_COMPARE(find<QComboBox>("language")->itemText(0), QString("System"));

        emit find<QComboBox>("language")->activated(0);
        QCOMPARE(defaults().string("appLanguage"), QString("system"));
        QVERIFY(!defaults().contains("AppleLanguages"));
        // The language is not reported as a settings change.
        QVERIFY(m_sent.isEmpty());
    }

    // The reset section's words read at 4.5:1 or more against the page in both looks: the
    // description under the button and the button's own label on its tinted pill.
    void theResetSectionsWordsReadInBothLooks()
    {
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            panel().resize(620, 2400);
            QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
            TokenLabel *description = nullptr;
            for (TokenLabel *label : m_panel->findChildren<TokenLabel *>()) {
                if (label->text() == localized(QStringLiteral("settings.resetAll.description")))
                    description = label;
            }
            QVERIFY(description);
            QTRY_VERIFY(description->isVisible() && description->visibleRegion().boundingRect() == description->rect());
            const double ratio = drawnTextContrast(description);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("description (%1): %2").arg(dark ? "dark" : "light").arg(ratio)));
            QWidget *button = find<QWidget>(QStringLiteral("resetAll"));
            const double buttonRatio = drawnTextContrast(button, 3);
            QVERIFY2(buttonRatio >= 4.5, qPrintable(QStringLiteral("button (%1): %2").arg(dark ? "dark" : "light").arg(buttonRatio)));
        }
        Appearance::shared().apply(false);
    }

    // Choosing from the open list, as the user does: the list is the kit's rounded menu (not the
    // style's square list with its blue highlight), in both looks; the page is rebuilt in the new
    // language while the menu that was clicked is still finishing its own work, so it must outlive it.
    void choosingALanguageFromTheOpenListRebuildsThePage()
    {
        for (const bool dark : {true, false}) {
            Appearance::shared().apply(dark);
            panel();
            auto *language = qobject_cast<SettingsPopUpButton *>(find<QComboBox>("language"));
            QVERIFY(language);
            QTest::mouseClick(language, Qt::LeftButton);
            QTRY_VERIFY(language->openMenu() && language->openMenu()->isVisible());
            auto *menu = qobject_cast<NVLXMenu *>(language->openMenu());
            QVERIFY2(menu, "the language list is the kit's menu");
            QVERIFY(!language->view()->isVisible());
            QCOMPARE(QApplication::activePopupWidget(), menu);
            const QImage shot = menu->grab().toImage();
            // Rounded: the corner pixel shows through; the middle is the raised surface, not white
            // in the dark look.
            QCOMPARE(qAlpha(shot.pixel(0, 0)), 0);
            QCOMPARE(QColor(shot.pixel(shot.width() / 2, shot.height() - 3)).rgb(),
                     DS::surfaceElevated.resolve(dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).rgb());
            QAction *japanese = nullptr;
            for (QAction *action : menu->actions()) {
                if (action->text() == QString::fromUtf8("日本語"))
                    japanese = action;
                // The current language is the checked one.
                QCOMPARE(action->isChecked(), action->text() == language->currentText());
            }
            QVERIFY(japanese);
            // The hovered row is the kit's accent wash, not the platform's highlight.
            const QRect row = menu->actionGeometry(japanese);
            // (A menu takes the pointer only once it has moved away from where the menu opened.)
            QTest::mouseMove(menu->windowHandle(), QPoint(row.left() + 2, row.top() + 2));
            QTRY_VERIFY([&] {
                QTest::mouseMove(menu->windowHandle(), row.center());
                return menu->activeAction() == japanese;
            }());
            const QColor washed = menu->grab().toImage().pixelColor(row.left() + 3, row.center().y());
            QVERIFY2(washed.blue() <= washed.red(), qPrintable(washed.name()));
            QTest::mouseClick(menu, Qt::LeftButton, {}, row.center());
            QTRY_COMPARE_WITH_TIMEOUT(defaults().string("appLanguage"), QString("ja"), 10000);
            QTRY_VERIFY2(sectionTitles().contains(localized("settings.general")), qPrintable(sectionTitles().join(", ")));
            QCOMPARE(localized("settings.general"), QString::fromUtf8("一般"));
            QCOMPARE(find<QComboBox>("language")->currentText(), QString("日本語"));
            LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
        }
    }

    void hoverWithoutPermissionAsksForIt()
    {
        m_permission->granted = false;
        panel();
        QVERIFY(!find<QWidget>("clickBehaviorBlock")->isVisible());
        click("hoverMode");
        QCOMPARE(m_journal.count("requestAccessibility"), 1);
        QVERIFY(m_panel->model().pendingHoverAfterPermission());
        QVERIFY(!defaults().contains("interactionMode"));
        click("hoverMode");
        QCOMPARE(m_journal.count("requestAccessibility"), 2);
        // Access arrives while the page is shown: hover is stored once.
        m_permission->change(true);
        QCOMPARE(defaults().string("interactionMode"), QString("hover"));
        QVERIFY(!m_panel->model().pendingHoverAfterPermission());
        defaults().setValue("interactionMode", "click");
        m_permission->change(false);
        m_permission->change(true);
        QCOMPARE(defaults().string("interactionMode"), QString("click"));
        // Hover is never reported by the page.
        QVERIFY(m_sent.isEmpty());
    }

    void clickChoicesReportEveryPress()
    {
        panel();
        QVERIFY(find<QWidget>("clickBehaviorBlock")->isVisible());
        click("clickMode");
        click("clickMode");
        SegmentedChoice *behaviour = find<SegmentedChoice>("clickBehavior");
        QTest::mouseClick(behaviour->segment("native"), Qt::LeftButton);
        QCOMPARE(defaults().string("clickModeBehavior"), QString("native"));
        QCOMPARE(find<QLabel>("clickBehaviorDescription")->text(), localized("settings.interaction.clickDescNativeGranted"));
        QTest::mouseClick(behaviour->segment("enhanced"), Qt::LeftButton);
        QCOMPARE(find<QLabel>("clickBehaviorDescription")->text(), localized("settings.interaction.clickDescCustom"));
        QCOMPARE(m_sent, (Sent{{"settings.changed", change("interaction_mode", "click")},
                               {"settings.changed", change("interaction_mode", "click")},
                               {"settings.changed", change("click_behavior", "native")},
                               {"settings.changed", change("click_behavior", "enhanced")}}));
        // With access granted and hover chosen, hover is stored at once and the block goes away.
        click("hoverMode");
        QCOMPARE(defaults().string("interactionMode"), QString("hover"));
        QVERIFY(!find<QWidget>("clickBehaviorBlock")->isVisible());
    }

    // The chosen card is filled with the accent; every word on it stays readable in both looks.
    void theChosenInteractionCardIsReadableInBothLooks()
    {
        panel();
        for (const QPalette &palette : {Appearance::darkPalette(), Appearance::lightPalette()}) {
            m_panel->setPalette(palette);
            click("clickMode");
            QAbstractButton *card = find<QAbstractButton>("clickMode");
            const QImage picture = card->grab().toImage();
            const qreal scale = picture.devicePixelRatio();
            const QList<TokenLabel *> labels = card->findChildren<TokenLabel *>();
            QVERIFY(!labels.isEmpty());
            for (TokenLabel *label : labels) {
                if (label->text().isEmpty())
                    continue;
                const QRect box(label->mapTo(card, QPoint(0, 0)) * scale, label->size() * scale);
                const auto [fill, ink] = fillAndInk(picture.copy(box));
                QVERIFY2(fill.red() > 200 && fill.green() > 90, qPrintable(fill.name()));
                QVERIFY2(contrastRatio(fill, ink) >= 4.5,
                         qPrintable(QStringLiteral("%1 on %2: %3").arg(ink.name(), fill.name()).arg(contrastRatio(fill, ink))));
            }
        }
    }

    void dockSwitchesReportTheirStoredValues()
    {
        panel();
        click("autoSync");
        QCOMPARE(defaults().value("autoSyncEnabled"), QVariant(true));
        click("autoRefreshDockLabel");
        QCOMPARE(defaults().value("autoRefreshDockLabel"), QVariant(false));
        // Without an updater the automatic checks stay off and nothing is stored or reported.
        click("autoUpdate");
        QVERIFY(!find<SettingsSwitch>("autoUpdate")->isChecked());
        QVERIFY(!defaults().keys().contains("automaticallyChecksForUpdates"));
        QCOMPARE(m_sent, (Sent{{"settings.changed", change("auto_sync", "true")},
                               {"settings.changed", change("auto_refresh_dock_label", "false")}}));
    }

    void theUpdaterSwitchAndCheck()
    {
        panel(true);
        QVERIFY(find<SettingsSwitch>("autoUpdate")->isChecked());
        click("autoUpdate");
        QVERIFY(!m_updater->updaterController()->automaticallyChecksForUpdates());
        QCOMPARE(find<QLabel>("version")->text(), QString("3.1"));
        QSignalSpy checks(m_updater->updaterController(), &UpdaterController::checkStarted);
        click("checkForUpdates");
        QCOMPARE(checks.count(), 1);
        QCOMPARE(m_sent, (Sent{{"update.checked", {}}}));
    }

    void aboutReadsTheDockAfresh()
    {
        m_dock->values.insert("orientation", "left");
        m_dock->values.insert("autohide", true);
        panel();
        QCOMPARE(find<QLabel>("dockPosition")->text(), localized("settings.dockPosition.left"));
        QCOMPARE(find<QLabel>("dockAutoHide")->text(), localized("settings.yes"));
    }

    void resetRemovesTilesGroupsFoldersAndSettings()
    {
        const AppGroup first = addGroup("One", true);
        addGroup("Two", true);
        addGroup("Three", true);
        addGroup("Loose", false);
        defaults().setValue("showInDock", true);
        defaults().setValue("appLanguage", "ja");
        defaults().setValue("interactionMode", "hover");
        defaults().setValue("autoSyncEnabled", true);
        defaults().setValue("autoRefreshDockLabel", false);
        defaults().setValue("didCompleteOnboarding", true);
        panel();
        m_sent.clear();
        m_panel->requestResetAll();
        QVERIFY(m_panel->confirmation());
        // Cancelling changes nothing.
        // The kit's buttons, not the platform's grey push buttons.
        QVERIFY(m_panel->confirmation()->findChildren<QPushButton *>().isEmpty());
        QVERIFY(qobject_cast<NVLXButton *>(m_panel->confirmation()->findChild<QAbstractButton *>("cancel")));
        m_panel->confirmation()->findChild<QAbstractButton *>("cancel")->click();
        QTRY_VERIFY(!m_panel->confirmation());
        QCOMPARE(m_groups->groups().size(), 4);

        // Nothing brings the groups back: Return alone cancels, with the ring on Cancel.
        m_panel->requestResetAll();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel->confirmation()));
        QCOMPARE(m_panel->confirmation()->focusWidget(), m_panel->confirmation()->cancelButton());
        QTest::keyClick(m_panel->confirmation(), Qt::Key_Return);
        QTRY_VERIFY(!m_panel->confirmation());
        QVERIFY(!m_panel->model().reset().isRunning());
        QCOMPARE(m_groups->groups().size(), 4);

        // The destructive answer takes a deliberate key: Tab onto it, then Return.
        m_panel->requestResetAll();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel->confirmation()));
        QTest::keyClick(m_panel->confirmation()->focusWidget(), Qt::Key_Tab);
        QCOMPARE(m_panel->confirmation()->focusWidget(), m_panel->confirmation()->confirmButton());
        QTest::keyClick(m_panel->confirmation(), Qt::Key_Return);
        QVERIFY(m_panel->model().reset().isRunning());
        QVERIFY(!find<QAbstractButton>("resetAll")->isEnabled());
        QSignalSpy finished(&m_panel->model().reset(), &SettingsReset::finished);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(find<QAbstractButton>("resetAll")->isEnabled());
        QCOMPARE(tileCount(), 0);
        QCOMPARE(dockRestarts(), 3);
        QVERIFY(m_groups->groups().isEmpty());
        QVERIFY(QDir(groupsDirectoryURL()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        QTRY_VERIFY(GroupsJson::decode(readBytes(m_groups->storageURL())).value_or(QList<AppGroup>{AppGroup{}}).isEmpty());
        QCOMPARE(defaults().string("interactionMode"), QString("click"));
        QCOMPARE(defaults().string("clickModeBehavior"), QString("enhanced"));
        QCOMPARE(defaults().string("appearanceMode"), QString("system"));
        QCOMPARE(defaults().value("autoSyncEnabled"), QVariant(false));
        QCOMPARE(defaults().value("autoRefreshDockLabel"), QVariant(true));
        QCOMPARE(defaults().value("didCompleteOnboarding"), QVariant(false));
        QVERIFY(defaults().boolean("showInDock"));
        QCOMPARE(defaults().string("appLanguage"), QString("ja"));
        // The stored values' own reports, once each.
        QVERIFY(m_sent.contains({"settings.changed", change("auto_sync", "false")}));
        QVERIFY(m_sent.contains({"settings.changed", change("auto_refresh_dock_label", "true")}));
        QVERIFY(!m_panel->resetReport());
        Q_UNUSED(first);
    }

    void aResetThatCannotWriteTheDockKeepsEveryFolderAndSaysSo()
    {
        const AppGroup one = addGroup("One", true);
        const AppGroup two = addGroup("Two", true);
        m_dock->writeBehaviour = FakeDockPreferences::WriteBehaviour::DropSilently;
        panel();
        m_panel->requestResetAll();
        m_panel->confirmation()->findChild<QAbstractButton *>("confirm")->click();
        QSignalSpy finished(&m_panel->model().reset(), &SettingsReset::finished);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 2);
        QVERIFY(DockService::syncBlocked());
        QCOMPARE(tileCount(), 2);
        QCOMPARE(dockRestarts(), 0);
        // The groups whose tiles stay keep their folders, so no tile points at nothing.
        QCOMPARE(m_groups->groups().size(), 2);
        QVERIFY(m_groups->findMirrorFolder(one));
        QVERIFY(m_groups->findMirrorFolder(two));
        QTRY_VERIFY(m_panel->resetReport());
        QCOMPARE(m_panel->resetReport()->text(), localized("settings.resetAll.dockBlocked"));
        QCOMPARE(defaults().value("didCompleteOnboarding"), QVariant(false));
    }

    void aGroupMadeDuringTheResetStays()
    {
        addGroup("Old", true);
        panel();
        m_panel->model().reset().start();
        m_panel->model().reset().start(); // a second start while running does nothing
        const AppGroup fresh = m_groups->createGroup();
        QSignalSpy finished(&m_panel->model().reset(), &SettingsReset::finished);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(m_groups->groups().size(), 1);
        QCOMPARE(m_groups->groups().first().id, fresh.id);
        QCOMPARE(dockRestarts(), 1);
    }

    // A group's folder as an earlier version left it, without a record: what is exactly as the
    // program writes it for the group (its identity, its manifest, its item's link) goes with the
    // reset, and the user is not told of files of theirs that are not there.
    void resetTakesAnEarlierVersionsFolderWhole()
    {
        const QString notes = QDir::homePath() + "/Notes.txt";
        writeBytes(notes, "notes");
        AppGroup group = addGroup("Old", true);
        group.apps = {makeItem("file:notes", "Notes", notes)};
        m_groups->updateGroup(group);
        const QString folder = groupsDirectoryURL() + "/Old";
        writeBytes(folder + "/.hidden", "Icon\nIcon?\n");
        QVERIFY(QFile::link(notes, folder + "/Notes.txt"));
        panel();
        QSignalSpy finished(&m_panel->model().reset(), &SettingsReset::finished);
        m_panel->model().reset().start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(m_groups->takeFoldersKeptForUserFiles().isEmpty());
        QCOMPARE(readBytes(notes), QByteArray("notes"));
    }

    void resetWithNoGroupsStillResetsTheSettings()
    {
        // A deleted group's folder goes; one that names no group at all may be anyone's, and stays,
        // and so does one naming a group nobody knows that no record shows the program made.
        const QString leftover = makeFolder(groupsDirectoryURL() + "/Leftover");
        writeBytes(leftover + "/.group_id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toUtf8());
        recordAsMade(leftover, {".group_id"});
        makeFolder(groupsDirectoryURL() + "/Unknown");
        const QString foreign = makeFolder(groupsDirectoryURL() + "/Foreign");
        const QByteArray foreignID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toUtf8();
        writeBytes(foreign + "/.group_id", foreignID);
        defaults().setValue("appearanceMode", "dark");
        panel();
        QSignalSpy finished(&m_panel->model().reset(), &SettingsReset::finished);
        m_panel->model().reset().start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(dockRestarts(), 0);
        QVERIFY(!QFileInfo::exists(groupsDirectoryURL() + "/Leftover"));
        QVERIFY(QFileInfo::exists(groupsDirectoryURL() + "/Unknown"));
        QCOMPARE(readBytes(foreign + "/.group_id"), foreignID);
        QVERIFY(m_groups->takeFoldersKeptForUserFiles().isEmpty());
        QCOMPARE(defaults().string("appearanceMode"), QString("system"));
    }
};

KESTROWAN_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
