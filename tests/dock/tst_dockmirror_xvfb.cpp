// The program keeps the Dock's tiles from what the Dock sends: with a full Dock on a real X server,
// the groups changing and the selection poll in hover mode ask the Dock nothing, and tiles that the
// Dock adds or moves are seen, and hovered, without being read again.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/dock/HoverService.h"
#include "Kestrowan/dock/PermissionManager.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Platform/DockRestarter.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/linux/DockSocketLink.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "tests/dock/FakePopupPresenter.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>
#include <QFile>
#include <QRegularExpression>

namespace {

constexpr int timeout = 60000;
// As many as a 1440-point bar holds at the smallest tile size, with room for one running program.
constexpr int applicationTiles = 56;

// The group folders stand behind the Dock's applications.
QString groupsFolder()
{
    return QDir::homePath() + QStringLiteral("/.local/share/Kestrowan/Groups");
}

std::optional<DockItemInfo> tileTitled(const QString &title)
{
    for (const DockItemInfo &item : DockPositionResolver::readDockItems()) {
        if (item.title == title)
            return item;
    }
    return std::nullopt;
}

// The longest time the event loop of this thread went without turning, while it is watched.
class EventLoopGaps : public QObject {
public:
    EventLoopGaps()
    {
        m_tick.setInterval(5);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            m_longest = qMax(m_longest, m_sinceTick.restart());
        });
    }
    void start()
    {
        m_longest = 0;
        m_sinceTick.start();
        m_tick.start();
    }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_tick;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};


// Each wait for an answer of a Dock that does not give one stopped the program for one or two
// seconds at a time; what the program does on its own while waiting for nothing takes far less,
// even in a sanitizer build on a busy machine.
constexpr qint64 longestAllowedGap = 1500;

} // namespace

class TestDockMirrorXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    XTestPointer m_pointer;
    std::unique_ptr<GroupManager> m_store;
    PermissionManager m_permission;
    FakePopupPresenter *m_popup = nullptr;
    std::unique_ptr<HoverService> m_service;
    AppGroup m_work;

    // The requests for the Dock's tree or process the Dock has been sent so far, by every client.
    int treeRequests() const
    {
        QFile log(m_dock.requestLog);
        if (!log.open(QIODevice::ReadOnly))
            return -1;
        static const QRegularExpression request(QStringLiteral("Request (attr|hit|pid|mirror) "));
        return int(QString::fromUtf8(log.readAll()).count(request));
    }

    QString requestLogTail() const
    {
        QFile log(m_dock.requestLog);
        if (!log.open(QIODevice::ReadOnly))
            return QString();
        QMap<QString, int> counts;
        for (const QByteArray &line : log.readAll().split('\n'))
            if (line.contains("Request "))
                ++counts[QString::fromUtf8(line.mid(line.indexOf("Request ")))];
        QString text;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            text += QStringLiteral("%1 x %2\n").arg(it.value()).arg(it.key());
        return text;
    }

    AppGroup addGroup(const QString &name)
    {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = name;
        QFile id(groupsFolder() + u'/' + name + QStringLiteral("/.group_id"));
        if (id.open(QIODevice::WriteOnly))
            id.write(group.id.toString(QUuid::WithoutBraces).toUpper().toUtf8());
        QList<AppGroup> groups = m_store->groups();
        groups.append(group);
        m_store->setGroups(groups);
        return group;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid(), "needs an X server");
        QStringList applications;
        for (int i = 0; i < applicationTiles; ++i)
            applications.append(m_dock.makeApplication(QStringLiteral("App%1").arg(i, 3, 10, QLatin1Char('0'))));
        const QString work = m_dock.makeFolder(QStringLiteral(".local/share/Kestrowan/Groups/Work"));
        const QString play = m_dock.makeFolder(QStringLiteral(".local/share/Kestrowan/Groups/Play"));
        m_dock.writePreferences(QStringLiteral("bottom"), false, applications, {work, play});
        m_dock.requestLog = m_dock.home + QStringLiteral("/dock-requests.log");
        QVERIFY(m_dock.start() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(DockPositionResolver::readDockItems().size(), applicationTiles + 2, timeout);

        m_store = std::make_unique<GroupManager>(m_dock.home + QStringLiteral("/storage"), groupsFolder());
        m_store->ensureStorageDirectories();
        m_work = addGroup(QStringLiteral("Work"));
        addGroup(QStringLiteral("Play"));
        auto popup = std::make_unique<FakePopupPresenter>(nullptr);
        m_popup = popup.get();
        m_service = std::make_unique<HoverService>(m_store.get(), &m_permission, nullptr, nullptr, std::move(popup));
        // As the shell does: every change of the groups reaches the hover service.
        connect(m_store.get(), &GroupManager::groupsChanged, m_service.get(), [this] { m_service->refreshTracking(); });
        m_pointer.move(QPoint(5, 5));
        m_service->setMode(InteractionMode::Hover);
        QTRY_VERIFY_WITH_TIMEOUT(m_service->isActive(), timeout);
        // Every watcher in place: both taps held, the selection's notification asked for (the
        // requests go out from the event loop).
        QTRY_VERIFY_WITH_TIMEOUT(m_service->mouseTracker().tapHandle.tap() && m_service->mouseTracker().tapHandle.tap()->isHeld()
                                     && m_service->eventInterceptor().tapHandle.tap()
                                     && m_service->eventInterceptor().tapHandle.tap()->isHeld()
                                     && requestLogTail().contains(QStringLiteral("Request observe")),
                                 timeout);
        QCOMPARE(m_service->trackedNames(), (QSet<QString>{QStringLiteral("Work"), QStringLiteral("Play")}));
    }

    void cleanupTestCase()
    {
        m_service.reset();
        m_store.reset();
    }

    // Typing in the editor stores each keystroke: a change that touches no group's name or folder
    // asks the Dock nothing, and neither does the selection poll while nothing happens.
    void typingAndIdlePollsAskTheDockNothing()
    {
        const int before = treeRequests();
        QVERIFY(before > 0);
        AppGroup work = m_work;
        const QString typed = QStringLiteral("https://example.org/notes");
        for (int i = 1; i <= typed.size(); ++i) {
            work.customOpenerPath = typed.left(i);
            m_store->updateGroup(work);
            QCoreApplication::processEvents();
        }
        // Nothing happens within a second of polls at rest.
        QTest::qWait(1000);
        QVERIFY(m_service->isActive());
        if (treeRequests() != before)
            qInfo().noquote() << "The Dock's requests:" << requestLogTail();
        QCOMPARE(treeRequests(), before);
    }

    // A running program's tile comes in before the group folders and moves them: the copy follows
    // what the Dock sends, and hovering the moved tile opens its group.
    void tilesTheDockAddsAreSeenAndHoveredWithoutAReread()
    {
        const std::optional<DockItemInfo> before = tileTitled(QStringLiteral("Work"));
        QVERIFY(before);
        const int requests = treeRequests();

        DockSocketLink running;
        QVERIFY(running.send(QCborMap{{QStringLiteral("op"), DockWire::Op::activationPolicy},
                                      {QStringLiteral("policy"), QStringLiteral("regular")},
                                      {QStringLiteral("name"), QStringLiteral("Newcomer")}}));
        QTRY_VERIFY_WITH_TIMEOUT(tileTitled(QStringLiteral("Newcomer")), timeout);
        std::optional<DockItemInfo> moved;
        QTRY_VERIFY_WITH_TIMEOUT((moved = tileTitled(QStringLiteral("Work"))) && moved->frame != before->frame, timeout);

        m_pointer.move(moved->frame.center().toPoint());
        QTRY_VERIFY_WITH_TIMEOUT(!m_popup->shown.isEmpty() && m_popup->shown.last().group == m_work.id, timeout);
        // The link of the running program asked for nothing either.
        QCOMPARE(treeRequests(), requests);
        m_pointer.move(QPoint(5, 5));
    }

    // After a restart, the new Dock does not answer (stopped): the selection poll, the watchdog and
    // the copy of the tree ask it and go on, so the program keeps turning; once it answers, hovering
    // works again.
    void aRestartedDockThatDoesNotAnswerStopsNothing()
    {
        QVERIFY(m_service->isActive());
        const qint64 stopped = m_dock.restartStopped();
        QVERIFY(stopped > 0);
        const auto resume = qScopeGuard([this] { m_dock.resume(); });
        const LogCapture log(LogCapture::PassOn::Yes);
        EventLoopGaps gaps;
        gaps.start();
        // The poll reads the selection a dozen times a second, the watchdog looks for the Dock every
        // two seconds, and the copy of the tree asks the new Dock, whose answer it waits for longest:
        // watched until the copy has given up on it twice. A Dock stopped before it listened is never
        // asked (nothing tells of it): then the program is watched for as long as two of those waits.
        QElapsedTimer watched;
        watched.start();
        QTRY_VERIFY_WITH_TIMEOUT(log.countText(QStringLiteral("The Dock did not answer within")) >= 2 || watched.elapsed() > 8000, timeout);
        QVERIFY2(gaps.longest() < longestAllowedGap, qPrintable(QStringLiteral("%1 ms without events").arg(gaps.longest())));
        // Nothing of the stopped Dock is known (the ended one may still be, as the last state).
        QVERIFY(Accessibility::shared().dockProcessIdentifier() != std::optional<qint64>(stopped));

        QVERIFY(m_dock.resume());
        QTRY_COMPARE_WITH_TIMEOUT(Accessibility::shared().dockProcessIdentifier(), std::optional<qint64>(stopped), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(tileTitled(QStringLiteral("Work")), timeout);
        const qsizetype shown = m_popup->shown.size();
        QTRY_VERIFY_WITH_TIMEOUT(m_service->isActive(), timeout);
        // The watchdog brings the watchers back on the Dock that now answers: the pointer is seen
        // over the group's tile again (where the new Dock has it now).
        const auto hover = [&] {
            const std::optional<DockItemInfo> work = tileTitled(QStringLiteral("Work"));
            if (!work)
                return false;
            m_pointer.move(QPoint(5, 5));
            m_pointer.move(work->frame.center().toPoint());
            return m_popup->shown.size() > shown && m_popup->shown.last().group == m_work.id;
        };
        QTRY_VERIFY_WITH_TIMEOUT(hover(), timeout);
        m_pointer.move(QPoint(5, 5));
    }

    // A restart asked for while the Dock does not answer waits for it without stopping the program,
    // and ends once the Dock answers.
    void aRestartOfAStoppedDockStopsNothing()
    {
        QVERIFY(m_dock.stop());
        const auto resume = qScopeGuard([this] { m_dock.resume(); });
        const LogCapture log(LogCapture::PassOn::Yes);
        EventLoopGaps gaps;
        gaps.start();
        std::optional<bool> restarted;
        DockRestarter::shared().restart([&restarted](bool done) { restarted = done; });
        // Watched until the restart has given up on the Dock's first answer, the longest it waits
        // for one, and has gone on asking for a new Dock.
        QTRY_VERIFY_WITH_TIMEOUT(log.countText(QStringLiteral("No Dock answers on")) >= 1, timeout);
        QVERIFY2(gaps.longest() < longestAllowedGap, qPrintable(QStringLiteral("%1 ms without events").arg(gaps.longest())));
        QVERIFY(!restarted.has_value());
        QVERIFY(m_dock.resume());
        QTRY_VERIFY_WITH_TIMEOUT(restarted.has_value(), timeout);
        QVERIFY(*restarted);
        QTRY_VERIFY_WITH_TIMEOUT(Accessibility::shared().dockProcessIdentifier().value_or(0) > 0, timeout);
    }
};

KESTROWAN_TEST_MAIN(TestDockMirrorXvfb)
#include "tst_dockmirror_xvfb.moc"
