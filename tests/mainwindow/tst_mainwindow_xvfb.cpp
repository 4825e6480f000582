// The running program's main window on a real X server beside the stand-in Dock: the grid of two
// groups, a folder added through the quick-add menu and the open panel, and sync all placing both
// groups' tiles in the Dock. The test talks to the program only as a user would (pointer, keys)
// and reads what it leaves behind (the groups file, the Dock's Accessibility tree, the screen).
#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/mainwindow/InstalledAppsCache.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/DockSocketAccessibility.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/standin/DockPreferencesWriter.h"
#include "tests/standin/XTestPointer.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int deadline = 20000;

// Runs a tool and gives its output, trimmed; nothing when it failed.
std::optional<QString> run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(deadline) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString output(const QString &program, const QStringList &arguments)
{
    return run(program, arguments).value_or(QString());
}

void startChild(QProcess &process, const QString &program)
{
    process.setProgram(program);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // Left running after a crash, a child would keep CTest waiting on this test's output.
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.start();
}

void stopChild(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(deadline)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace

class TestMainWindowXvfb : public QObject {
    Q_OBJECT

private:
    QString m_home;
    QString m_groupsFile;
    QString m_addedFolder;
    QProcess m_keeper;
    QProcess m_program;
    XTestPointer m_pointer;
    DockSocketAccessibility m_accessibility;
    QRect m_window;

    QList<AppGroup> storedGroups() const
    {
        QFile file(m_groupsFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return AppGroup::listFromJson(QJsonDocument::fromJson(file.readAll()).array()).value_or(QList<AppGroup>());
    }

    QSet<QString> dockFolderTiles()
    {
        QSet<QString> tiles;
        const qint64 pid = m_accessibility.dockProcessIdentifier().value_or(0);
        QVariant children;
        if (pid <= 0 || m_accessibility.copyAttributeValue(m_accessibility.createApplication(pid), QStringLiteral("AXChildren"), &children) != AXError::Success)
            return tiles;
        const auto lists = children.value<QList<AXUIElement>>();
        if (lists.size() != 1 || m_accessibility.copyAttributeValue(lists.first(), QStringLiteral("AXChildren"), &children) != AXError::Success)
            return tiles;
        for (const AXUIElement &tile : children.value<QList<AXUIElement>>()) {
            QVariant subrole, title;
            m_accessibility.copyAttributeValue(tile, QStringLiteral("AXSubrole"), &subrole);
            m_accessibility.copyAttributeValue(tile, QStringLiteral("AXTitle"), &title);
            if (subrole.toString() == QLatin1String("AXFolderDockItem"))
                tiles.insert(title.toString());
        }
        return tiles;
    }

    // The program's main window on screen: its frame in screen coordinates.
    QRect findMainWindow()
    {
        const QString id = output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                           QStringLiteral("--name"), QStringLiteral("^Kestrowan$")})
                               .section(u'\n', 0, 0);
        if (id.isEmpty())
            return {};
        const QString shell = output(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        QMap<QString, int> values;
        for (const QString &line : shell.split(u'\n'))
            values.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
        return QRect(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")), values.value(QStringLiteral("WIDTH")),
                     values.value(QStringLiteral("HEIGHT")));
    }

    QImage screen() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

    // Whether the card surface colour fills the middle of a grid cell (column, row) of the window.
    bool cardAt(const QImage &shot, int column, int row) const
    {
        const int width = (m_window.width() - 2 * 14 - 10) / 2;
        const QPoint probe = m_window.topLeft() + QPoint(14 + column * (width + 10) + width / 2 + 40, 14 + row * 130 + 112);
        return shot.pixelColor(probe) == AppColors::surface.light();
    }

    // The bottom-right run of accent pixels: the sync-all button's label.
    QRect syncAllLabel(const QImage &shot) const
    {
        // The label's words, in the accent's text shade.
        const QColor accent = AppColors::accentInk.light();
        QRect found;
        for (int y = m_window.bottom() - 70; y < m_window.bottom(); ++y) {
            for (int x = m_window.center().x(); x < m_window.right(); ++x) {
                if (shot.pixelColor(x, y) == accent)
                    found |= QRect(x, y, 1, 1);
            }
        }
        return found;
    }

    bool panelIsOpen() const
    {
        const QString title = QStringLiteral("^") + QRegularExpression::escape(localized(QStringLiteral("editor.openPanel.foldersTitle"))) + u'$';
        return !output(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title}).isEmpty();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid(), "needs an X server");
        m_home = QDir::homePath();
        m_groupsFile = m_home + QStringLiteral("/.local/share/Kestrowan/groups.json");
        const QString work = makeFolder(m_home + QStringLiteral("/Work"));
        const QString music = makeFolder(m_home + QStringLiteral("/Music"));
        m_addedFolder = makeFolder(m_home + QStringLiteral("/Projects"));

        // Two groups from an earlier run, the first run over.
        AppGroup first = makeGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("file:") + work, QStringLiteral("Work"), work)});
        AppGroup second = makeGroup(QStringLiteral("Listening"), {makeItem(QStringLiteral("file:") + music, QStringLiteral("Music"), music)});
        QDir().mkpath(QFileInfo(m_groupsFile).absolutePath());
        writeBytes(m_groupsFile, QJsonDocument(AppGroup::listToJson({first, second})).toJson());
        SettingsFileUserDefaults defaults{QString()};
        defaults.setValue(MainView::didCompleteOnboardingKey, true);
        defaults.synchronize();

        writeDockPreferences(m_home + QStringLiteral("/Library/Preferences/com.apple.dock.plist"), QStringLiteral("bottom"), false, {}, {});
        QVERIFY(TrustStore::grant(TrustStore::executableOfThisProcess()));
        startChild(m_keeper, QStringLiteral(KESTROWAN_DOCK_KEEPER));
        QVERIFY(m_keeper.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.dockProcessIdentifier().value_or(0) > 0, deadline);

        startChild(m_program, QStringLiteral(KESTROWAN_PROGRAM));
        QVERIFY(m_program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(findMainWindow().width() >= 600, deadline);
        m_window = findMainWindow();
    }

    void cleanupTestCase()
    {
        stopChild(m_program);
        stopChild(m_keeper);
    }

    void theGridShowsBothGroups()
    {
        // The new-group card and the first group on the first row, the second group below.
        QTRY_VERIFY_WITH_TIMEOUT(cardAt(screen(), 0, 0) && cardAt(screen(), 1, 0) && cardAt(screen(), 0, 1), deadline);
        QVERIFY(!cardAt(screen(), 1, 1));
    }

    void theInstalledApplicationsAreScannedAndCached()
    {
        // The window's appearance started a scan of this machine's applications; its list lands in
        // the cache beside the groups file.
        const QString cache = QFileInfo(m_groupsFile).absolutePath() + QStringLiteral("/installed_apps_cache.json");
        QTRY_VERIFY_WITH_TIMEOUT(InstalledAppsCache::load(cache, nullptr).has_value(), deadline);
    }

    void aFolderAddedThroughTheOpenPanelIsSaved()
    {
        const int width = (m_window.width() - 2 * 14 - 10) / 2;
        // The first group's quick-add button: at the card's right, below its header.
        const QPoint plus = m_window.topLeft() + QPoint(14 + width + 10 + width - 14 - 14, 14 + 14 + 48 + 10 + 14);
        m_pointer.click(plus);
        const QString xdotool = QStringLiteral("xdotool");
        QTRY_VERIFY_WITH_TIMEOUT(output(xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"), QStringLiteral("Kestrowan")})
                                         .split(u'\n', Qt::SkipEmptyParts).size() >= 2,
                                 deadline);
        // The menu has the keyboard: its fourth row is the folders row.
        QVERIFY(run(xdotool, {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                              QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space")}));
        QTRY_VERIFY_WITH_TIMEOUT(panelIsOpen(), deadline);
        const auto added = [this] {
            const QList<AppGroup> groups = storedGroups();
            return groups.size() == 2 && groups[0].apps.size() == 2 && groups[0].apps[1].path == m_addedFolder;
        };
        // Typing into a panel that is still taking the keyboard can lose keys, and a completion
        // list may take a Return: the name is typed again until the panel takes it.
        // Keys go only to an open panel: a Return that reached the window would open a card.
        // The panel opens in the home folder, so the folder's own name is typed, as a user would:
        // a whole path walks the panel through the temporary folder, and keys lost on the way
        // left it there, so that the next Return chose that folder itself.
        QCOMPARE(QFileInfo(m_addedFolder).absolutePath(), m_home);
        const auto settled = [&] { return added() || !panelIsOpen(); };
        for (int attempt = 0; attempt < 4 && !settled(); ++attempt) {
            run(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+a")});
            run(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), QFileInfo(m_addedFolder).fileName()});
            run(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
            if (QTest::qWaitFor(settled, 5000))
                break;
            run(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
            if (QTest::qWaitFor(settled, 5000))
                break;
        }
        QTRY_VERIFY_WITH_TIMEOUT(added(), deadline);
        QCOMPARE(storedGroups()[1].apps.size(), 1);
    }

    void syncAllPlacesBothTilesInTheDock()
    {
        QVERIFY(dockFolderTiles().isEmpty());
        // The panel is gone and the window drawn again where it stood: the label is found twice in
        // the same place, at a button's size.
        QTRY_VERIFY_WITH_TIMEOUT(!panelIsOpen(), deadline);
        QRect label;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            const QRect first = syncAllLabel(screen());
            label = syncAllLabel(screen());
            return label == first && label.width() > 20 && label.width() < 160 && label.height() > 4 && label.height() < 30;
        }(), deadline);
        const QPoint button = label.center();
        m_pointer.click(button);
        QTRY_COMPARE_WITH_TIMEOUT(dockFolderTiles(), QSet<QString>({QStringLiteral("Work"), QStringLiteral("Listening")}), deadline);
        // The button shows its done mark: its label turns green.
        const QColor green = AppColors::successInk.light();
        QTRY_VERIFY_WITH_TIMEOUT(screen().pixelColor(button) == green || [&] {
            const QImage shot = screen();
            for (int dx = -40; dx <= 40; ++dx) {
                for (int dy = -8; dy <= 8; ++dy) {
                    if (shot.pixelColor(button + QPoint(dx, dy)) == green)
                        return true;
                }
            }
            return false;
        }(), deadline);
    }
};

KESTROWAN_TEST_MAIN(TestMainWindowXvfb)
#include "tst_mainwindow_xvfb.moc"
