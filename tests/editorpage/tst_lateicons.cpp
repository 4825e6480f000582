// Application icons are decoded out of the program and arrive after the views that show them have
// drawn the generic stand-in: the first run's Welcome page, a group card and the editor's opener
// badge each draw the application's own icon once it is in, round after round, without any other
// change to bring them to draw again.
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "Kestrowan/onboarding/AppIconView.h"
#include "Kestrowan/onboarding/OnboardingView.h"
#include "Platform/DecodedIcons.h"
#include "Platform/UserDefaults.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/onboarding/OnboardingTestSupport.h"
#include "tests/support/DrawnBars.h"
#include "tests/support/HeldIconDecoder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QUuid>

namespace {

constexpr int timeout = 20000;
constexpr int rounds = 5;

struct LateApplication {
    AppItem item;
    QString iconFile;
    QColor color;
};

// An installed application whose icon is one colour of its own.
LateApplication lateApplication(int round)
{
    const QString folder = QDir::homePath() + QStringLiteral("/.local/share/applications");
    QDir().mkpath(folder);
    const QString name = QStringLiteral("Late%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    const QColor color = QColor::fromHsv((round * 67 + 20) % 360, 220, 220);
    const QString iconFile = folder + u'/' + name + QStringLiteral(".png");
    QImage icon(128, 128, QImage::Format_ARGB32_Premultiplied);
    icon.fill(color);
    icon.save(iconFile);
    const QString entry = folder + u'/' + name + QStringLiteral(".desktop");
    writeTestFile(entry, QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%2\n").arg(name, iconFile).toUtf8());
    return {AppItem{QUuid::createUuid(), QStringLiteral("org.example.") + name, name, entry}, iconFile, color};
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 12 && std::abs(a.green() - b.green()) <= 12 && std::abs(a.blue() - b.blue()) <= 12;
}

// The colour the window shows at the middle of `view`.
QColor shownMiddle(QWidget *view)
{
    const QImage shown = shownPixels(view->window());
    const QPoint at = (QPointF(view->mapTo(view->window(), view->rect().center())) * shown.devicePixelRatio()).toPoint();
    return shown.rect().contains(at) ? shown.pixelColor(at) : QColor();
}

// The decoded icons, able to say how many listeners each arrival calls.
class CountedIcons final : public DecodedIcons {
public:
    using DecodedIcons::DecodedIcons;
    int arrivalListeners() const { return receivers(SIGNAL(arrived(QString))); }
};

} // namespace

class TestLateIcons : public QObject {
    Q_OBJECT

    HeldIconDecoder *m_decoder = nullptr;
    CountedIcons *m_icons = nullptr;

    // The view drew its stand-in (its icon is asked for and held), then the icon arrives and the
    // window shows it in the view's middle.
    bool drawnOnceArrived(QWidget *view, const LateApplication &application, QString *fault)
    {
        if (!QTest::qWaitFor([&] { return m_decoder->holds(application.iconFile); }, timeout)) {
            *fault = QStringLiteral("the icon was never asked for");
            return false;
        }
        QCoreApplication::processEvents();
        if (near(shownMiddle(view), application.color)) {
            *fault = QStringLiteral("the icon showed before it arrived");
            return false;
        }
        m_decoder->answerAll();
        if (!QTest::qWaitFor([&] { return near(shownMiddle(view), application.color); }, timeout)) {
            *fault = QStringLiteral("still %1, not the icon's %2").arg(shownMiddle(view).name(), application.color.name());
            return false;
        }
        return true;
    }

    // The card's strip tile, then its group icon, show the application's icon once it arrived.
    bool cardShowsIcon(GroupCardView &card, QWidget *strip, const LateApplication &application, QString *fault)
    {
        if (!drawnOnceArrived(strip, application, fault)) {
            *fault = QStringLiteral("strip: ") + *fault;
            return false;
        }
        auto *icon = card.findChild<ComposedGroupIconView *>();
        if (!icon || !QTest::qWaitFor([&] { return near(shownMiddle(icon), application.color); }, timeout)) {
            *fault = QStringLiteral("group icon: ") + (icon ? shownMiddle(icon).name() : QStringLiteral("none"));
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        auto decoder = std::make_unique<HeldIconDecoder>();
        m_decoder = decoder.get();
        auto icons = std::make_unique<CountedIcons>(std::move(decoder));
        m_icons = icons.get();
        DecodedIcons::setShared(std::move(icons));
    }

    void cleanupTestCase() { DecodedIcons::setShared(nullptr); }

    void theWelcomePageShowsAnIconThatArrivesLate()
    {
        QTemporaryDir dir;
        const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
        SettablePermissions permissions;
        for (int round = 0; round < rounds; ++round) {
            const LateApplication application = lateApplication(round);
            bool started = false;
            OnboardingView view(OnboardingFlow::Services{store.get(), nullptr, &permissions}, [] {}, [] {});
            view.flow().setSignalSink([&started](const QString &name, const QMap<QString, QString> &) {
                if (name == QLatin1String("onboarding.started"))
                    started = true;
            });
            view.resize(640, 520);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            // The view reads the Dock when it comes on screen; the test's Dock comes after.
            QTRY_VERIFY_WITH_TIMEOUT(started, timeout);
            const AppItem &item = application.item;
            view.flow().setDockApps({DockReader::DockApp{item.bundleIdentifier, item.name, item.path}}, {});
            AppIconView *icon = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((icon = view.findChild<AppIconView *>()) && icon->isVisible(), timeout);
            QString fault;
            QVERIFY2(drawnOnceArrived(icon, application, &fault), qPrintable(QStringLiteral("round %1: %2").arg(round + 1).arg(fault)));
        }
    }

    // The card's strip of items and its group icon, for a group that gets a new application each
    // round while the card is on screen.
    void aGroupCardShowsIconsThatArriveLate()
    {
        QTemporaryDir dir;
        const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
        store->setGroups({});
        AppGroup group = store->createGroup();
        group.name = QStringLiteral("Late");
        store->updateGroup(group);
        GroupCardView card(group, *store, nullptr);
        card.resize(card.sizeHint());
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        for (int round = 0; round < rounds; ++round) {
            const LateApplication application = lateApplication(round);
            group.apps = {application.item};
            store->updateGroup(group);
            card.setGroup(group);
            CompactItemThumbnail *strip = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((strip = card.findChild<CompactItemThumbnail *>()) && strip->isVisible()
                                         && strip->app().path == application.item.path,
                                     timeout);
            QString fault;
            QVERIFY2(cardShowsIcon(card, strip, application, &fault), qPrintable(QStringLiteral("round %1, %2").arg(round + 1).arg(fault)));
        }
    }

    // A card made for a group that already holds the application, as a window of cards makes them.
    void aNewGroupCardShowsIconsThatArriveLate()
    {
        QTemporaryDir dir;
        const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
        store->setGroups({});
        for (int round = 0; round < rounds; ++round) {
            const LateApplication application = lateApplication(round);
            AppGroup group = store->createGroup();
            group.name = QStringLiteral("Late");
            group.apps = {application.item};
            store->updateGroup(group);
            GroupCardView card(group, *store, nullptr);
            card.resize(card.sizeHint());
            card.show();
            QVERIFY(QTest::qWaitForWindowExposed(&card));
            auto *strip = card.findChild<CompactItemThumbnail *>();
            QVERIFY(strip);
            QString fault;
            QVERIFY2(cardShowsIcon(card, strip, application, &fault), qPrintable(QStringLiteral("round %1, %2").arg(round + 1).arg(fault)));
        }
    }

    // The list of groups as the window shows it, a new group with a new application each round.
    void theGroupListsCardsShowIconsThatArriveLate()
    {
        QTemporaryDir dir;
        const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
        store->setGroups({});
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        AppNavigation navigation;
        FakeInstalledApps apps;
        MainView view(*store, apps, navigation, nullptr);
        view.resize(640, 720);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int round = 0; round < rounds; ++round) {
            const LateApplication application = lateApplication(round);
            AppGroup group = store->createGroup();
            group.name = QStringLiteral("Late %1").arg(round);
            group.apps = {application.item};
            store->updateGroup(group);
            GroupCardView *card = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((card = view.gridPage()->grid()->card(group.id)) && card->isVisible(), timeout);
            CompactItemThumbnail *strip = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((strip = card->findChild<CompactItemThumbnail *>()) && strip->isVisible(), timeout);
            QString fault;
            QVERIFY2(cardShowsIcon(*card, strip, application, &fault), qPrintable(QStringLiteral("round %1, %2").arg(round + 1).arg(fault)));
        }
    }

    // A window of many cards, every one waiting for its own application's icon: an arrival reaches
    // the cards that wait for that file, not every card (a Sync All of a thousand groups took in
    // each of its pictures a thousand times on the main thread). The waiting cards still show their
    // icons.
    void anArrivalIsToldOnlyToTheCardsWaitingForIt()
    {
        QTemporaryDir dir;
        const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
        store->setGroups({});
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        AppNavigation navigation;
        FakeInstalledApps apps;
        const int listenersBefore = m_icons->arrivalListeners();
        QList<LateApplication> applications;
        for (int index = 0; index < 120; ++index) {
            applications.append(lateApplication(index));
            AppGroup group = store->createGroup();
            group.name = QStringLiteral("Many %1").arg(index);
            group.apps = {applications.last().item};
            store->updateGroup(group);
        }
        MainView view(*store, apps, navigation, nullptr);
        view.resize(640, 720);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const AppGroup first = store->groups().first();
        GroupCardView *card = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((card = view.gridPage()->grid()->card(first.id)) && card->isVisible(), timeout);
        auto *icon = card->findChild<ComposedGroupIconView *>();
        QVERIFY(icon);
        QTRY_VERIFY_WITH_TIMEOUT(m_decoder->holds(applications.first().iconFile), timeout);
        QVERIFY2(m_icons->arrivalListeners() - listenersBefore < 20,
                 qPrintable(QStringLiteral("each arrival calls %1 listeners").arg(m_icons->arrivalListeners() - listenersBefore)));
        QList<int> waiting;
        for (int index = 0; index < applications.size(); ++index) {
            if (m_decoder->holds(applications.at(index).iconFile))
                waiting.append(index);
        }
        m_decoder->answerAll();
        QTRY_VERIFY_WITH_TIMEOUT(near(shownMiddle(icon), applications.first().color), timeout);
        // Every card that waited got its own icon.
        const QList<AppGroup> groups = store->groups();
        int seen = 0;
        for (const int index : std::as_const(waiting)) {
            GroupCardView *shown = view.gridPage()->grid()->card(groups.at(index).id);
            auto *composed = shown ? shown->findChild<ComposedGroupIconView *>() : nullptr;
            QVERIFY(composed);
            if (!composed->isVisible() || !composed->visibleRegion().boundingRect().contains(composed->rect().center()))
                continue;
            ++seen;
            QTRY_VERIFY2_WITH_TIMEOUT(near(shownMiddle(composed), applications.at(index).color),
                                      qPrintable(QStringLiteral("card %1 shows %2").arg(index).arg(shownMiddle(composed).name())), timeout);
        }
        QVERIFY2(seen >= 4, qPrintable(QStringLiteral("%1 cards on screen waited").arg(seen)));
    }

    // A text file's opener badge: the system's application for text first, then the group's own.
    void theOpenerBadgeShowsAnIconThatArrivesLate()
    {
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
        for (int round = 0; round < rounds; ++round) {
            QTemporaryDir dir;
            const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
            store->setGroups({});
            const LateApplication application = lateApplication(round);
            AppGroup group = store->createGroup();
            group.name = QStringLiteral("Notes");
            const QString text = dir.filePath(QStringLiteral("notes%1.txt").arg(round));
            writeTestFile(text, "notes");
            group.apps = {fileItem(text)};
            if (round == 0) {
                const QString config = QDir::homePath() + QStringLiteral("/.config");
                QDir().mkpath(config);
                writeTestFile(config + QStringLiteral("/mimeapps.list"),
                              QStringLiteral("[Default Applications]\ntext/plain=%1\n").arg(QFileInfo(application.item.path).fileName()).toUtf8());
            } else {
                group.customOpenerPath = application.item.path;
            }
            store->updateGroup(group);
            FakeDockSync dock;
            GroupEditorServices services;
            services.groupManager = store.get();
            services.dockSync = &dock;
            GroupEditorPage page(services, group, false, [] {});
            page.resize(620, 540);
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            EditorItemCell *cell = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT(!page.itemSection()->cells().isEmpty() && (cell = page.itemSection()->cells().first())
                                         && cell->openerApplication() == application.item.path,
                                     timeout);
            QAbstractButton *badge = nullptr;
            for (QAbstractButton *button : cell->findChildren<QAbstractButton *>()) {
                if (button->isVisible() && button->x() > cell->width() / 3 && button->y() > cell->height() / 3)
                    badge = button;
            }
            QVERIFY(badge);
            QString fault;
            QVERIFY2(drawnOnceArrived(badge, application, &fault), qPrintable(QStringLiteral("round %1: %2").arg(round + 1).arg(fault)));
        }
    }
};

KESTROWAN_TEST_MAIN(TestLateIcons)
#include "tst_lateicons.moc"
