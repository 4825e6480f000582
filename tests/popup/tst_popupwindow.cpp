// The popup as users meet it, driven offscreen through its controller with keys and clicks: the
// panel's size and place, the grace after a show, a show racing a fade, Escape and the name field,
// the global monitors, typing to search, arrows, Return and clicks that open through a fake
// workspace, and the empty and no-results views.
#include "Kestrowan/icons/PictureView.h"
#include "Kestrowan/popup/GridAppCard.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/ListAppRow.h"
#include "Kestrowan/popup/PopupAppearEffect.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupEmptyState.h"
#include "Kestrowan/popup/PopupFooter.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "Kestrowan/groups/GroupShortcut.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupSearchBar.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/popup/PopupTopIconButton.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/DecodedIcons.h"
#include "Platform/fake/FakeGlobalEventMonitor.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "Platform/linux/DesktopWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/MainThreadFileLooks.h"
#include "tests/support/SettledIcons.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <unistd.h>

namespace {

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

using namespace PopupTest;
using Style = AppGroup::DisplayStyle;

class PopupWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeWorkspaceOpener *m_opener = nullptr;
    QPointer<FakeGlobalEventMonitor> m_monitor;
    SignalRecorder m_signals;
    RecordingItemStates m_states;
    std::unique_ptr<PopupWindowController> m_controller;
    qint64 m_now = 0;
    QPointF m_pointer; // bottom-left space
    QList<QUuid> m_edited;

    // The visible frame: a 1440 by 900 screen with a 70-point Dock band at the bottom.
    static QRectF visibleFrame() { return QRectF(0, 70, 1440, 805); }

    AppGroup appGroup(int count, Style style)
    {
        static const QList<QColor> colors{QColor(0x2D6CDF), QColor(0xE8553E), QColor(0x34A853), QColor(0x9B51E0),
                                          QColor(0xF2A93B), QColor(0x1AA3A3)};
        QList<AppItem> items;
        for (int i = 0; i < count; ++i)
            items.append(desktopApplication(m_dir.path(), QStringLiteral("App %1").arg(i + 1), colors.at(i % colors.size())));
        return group(QStringLiteral("Studio"), items, style);
    }
    PopupContentView *content() const
    {
        return m_controller->panel() ? qobject_cast<PopupContentView *>(m_controller->panel()->content()) : nullptr;
    }
    void show(const AppGroup &group)
    {
        m_controller->showPopup(group, [this](const QUuid &id) { m_edited.append(id); }, QRectF(700, 4, 60, 60));
        QVERIFY(m_controller->panel());
        QVERIFY(QTest::qWaitForWindowExposed(m_controller->panel()));
    }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(m_controller->panel(), c.toLatin1());
    }

private slots:
    void init()
    {
        auto opener = std::make_unique<FakeWorkspaceOpener>();
        m_opener = opener.get();
        WorkspaceOpener::install(std::move(opener));
        GlobalEventMonitor::installFactory([this] {
            auto monitor = std::make_unique<FakeGlobalEventMonitor>();
            m_monitor = monitor.get();
            return monitor;
        });
        m_signals.sent.clear();
        m_states.opened.clear();
        m_edited.clear();
        m_now = 0;
        m_controller = std::make_unique<PopupWindowController>();
        m_controller->setClock([this] { return m_now; });
        m_controller->setSignalSink(m_signals.sink());
        m_controller->setItemStates(&m_states);
        m_controller->dockPositionSource = [] { return DockPosition::Bottom; };
        m_controller->visibleFrameSource = [] { return visibleFrame(); };
        m_pointer = QPointF(5, 895); // far from every panel
        m_controller->pointerSource = [this] { return m_pointer; };
    }
    void cleanup()
    {
        m_controller.reset();
        GlobalEventMonitor::installFactory({});
        WorkspaceOpener::install(nullptr);
    }

    void showsBesideTheAnchor()
    {
        AppGroup studio = appGroup(5, Style::Grid);
        studio.apps.append(hiddenItem());
        show(studio);
        // 482 by 382, centred over the tile, 8 above it, in window space.
        const QRectF expected = QRectF(730 - 241, 72, 482, 382);
        const qreal primaryHeight = QGuiApplication::primaryScreen()->geometry().height();
        QCOMPARE(QRectF(m_controller->panel()->geometry()),
                 QRectF(expected.x(), primaryHeight - std::max<qreal>(expected.y(), 76) - 382, 482, 382));
        QVERIFY(m_controller->isShowing());
        QCOMPARE(m_signals.sent.first().first, QStringLiteral("popup.opened"));
        QCOMPARE(m_signals.sent.first().second,
                 (QMap<QString, QString>{{"app_count", "6"}, {"group_name", "Studio"}, {"display_style", "Grid"}}));
        QCOMPARE(content()->cellCount(), 5);
        QCOMPARE(m_controller->lastGroup()->id, studio.id);
        QVERIFY(m_monitor && m_monitor->running);
        // The card grows out of the Dock's side, and the effect goes away once it has.
        auto *effect = qobject_cast<PopupAppearEffect *>(content()->graphicsEffect());
        QVERIFY(effect);
        QVERIFY(effect->scale() < 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(!content()->graphicsEffect(), 20000);
        const QRectF card(0, 0, 420, 300);
        QCOMPARE(PopupAppearEffect::anchorPoint(card, DockPosition::Bottom), QPointF(210, 300));
        QCOMPARE(PopupAppearEffect::anchorPoint(card, DockPosition::Left), QPointF(0, 150));
        QCOMPARE(PopupAppearEffect::anchorPoint(card, DockPosition::Right), QPointF(420, 150));
    }

    void graceAfterShow()
    {
        QVERIFY(!m_controller->isMouseInsidePopup(QPointF(0, 0)));
        show(appGroup(2, Style::List));
        const QRectF frame = QRectF(m_controller->panel()->geometry());
        const qreal primaryHeight = QGuiApplication::primaryScreen()->geometry().height();
        const QPointF justOutside(frame.right() + 6, primaryHeight - frame.center().y());
        const QPointF farAway(5, 5);
        m_now = 499;
        QVERIFY(m_controller->isMouseInsidePopup(farAway));
        m_now = 500;
        QVERIFY(!m_controller->isMouseInsidePopup(farAway));
        QVERIFY(m_controller->isMouseInsidePopup(justOutside));
        QVERIFY(!m_controller->isMouseInsidePopup(justOutside + QPointF(4, 0)));
        // The Dock's band pushed the panel 12 points off the tile (the anchor's top is at 64, the
        // panel's lower edge at 76): the whole way up from the tile counts, beside it nothing does.
        for (const qreal y : {65.0, 66.0, 67.0, 70.0})
            QVERIFY2(m_controller->isMouseInsidePopup(QPointF(730, y)), qPrintable(QString::number(y)));
        QVERIFY(m_controller->isMouseInsidePopup(QPointF(702, 66)));
        QVERIFY(!m_controller->isMouseInsidePopup(QPointF(650, 66)));
        QVERIFY(!m_controller->isMouseInsidePopup(QPointF(800, 65)));
        m_controller->dismissPopup();
        QVERIFY(!m_controller->isMouseInsidePopup(justOutside));
    }

    void showWhileTheOldOneFades()
    {
        show(appGroup(2, Style::Grid));
        QPointer<InteractivePopupPanel> first = m_controller->panel();
        QPointer<QWidget> firstContent = content();
        m_controller->dismissPopup();
        QVERIFY(!m_controller->isShowing());
        QCOMPARE(m_controller->panel(), first.data()); // fading
        show(appGroup(3, Style::List));
        // The same window, refilled: the old content is gone from it, and the fade stopped.
        QPointer<InteractivePopupPanel> second = m_controller->panel();
        QCOMPARE(second.data(), first.data());
        QVERIFY(content() != firstContent.data());
        QVERIFY(!firstContent || !firstContent->isVisible());
        QCOMPARE(content()->cellCount(), 3);
        QCOMPARE(second->windowOpacity(), 1.0);
        // The old fade's end (0.1 s) does not take the new show with it.
        QTRY_VERIFY_WITH_TIMEOUT(firstContent.isNull(), 20000);
        QTest::qWait(300);
        QCOMPARE(m_controller->panel(), second.data());
        QVERIFY(second->isVisible());
        QCOMPARE(second->windowOpacity(), 1.0);
        QVERIFY(m_controller->isShowing());
        QCOMPARE(m_controller->panelGeneration(), 2);
        // A fade of the current panel clears it; the window is kept hidden for the next show.
        QPointer<QWidget> secondContent = content();
        m_controller->dismissPopup();
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->panel(), 20000);
        QVERIFY(!second->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(secondContent.isNull(), 20000);
        show(appGroup(1, Style::Grid));
        QCOMPARE(m_controller->panel(), second.data());
        QVERIFY(second->isVisible());
    }

    void typeArrowsAndReturn()
    {
        QSignalSpy keys(&PopupNotifications::center(), &PopupNotifications::popupKeyDown);
        show(appGroup(12, Style::Grid));
        type(QStringLiteral("app 1"));
        QCOMPARE(content()->model().searchText(), QStringLiteral("app 1"));
        QCOMPARE(content()->cellCount(), 4); // App 1, App 10, App 11, App 12
        QCOMPARE(content()->searchBar()->shownText(), QStringLiteral("app 1"));
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QCOMPARE(content()->cellCount(), 12);
        // A letter of another layout types too.
        QTest::sendKeyEvent(QTest::Click, m_controller->panel(), Qt::Key_Eacute, QStringLiteral("é"), Qt::NoModifier);
        QCOMPARE(content()->model().searchText(), QStringLiteral("appé"));
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        // What an input method composes types as well.
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("アプ"));
        QApplication::sendEvent(m_controller->panel(), &composed);
        QCOMPARE(content()->model().searchText(), QStringLiteral("appアプ"));
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QTest::keyClick(m_controller->panel(), Qt::Key_Right);
        QCOMPARE(content()->model().focusedIndex(), std::optional<int>(4));
        QVERIFY(content()->cellAt(4)->isHighlighted());
        QVERIFY(!content()->cellAt(3)->isHighlighted());
        QVERIFY(keys.size() >= 9);
        QTest::keyClick(m_controller->panel(), Qt::Key_Return);
        QCOMPARE(m_opener->requests.size(), 1);
        QCOMPARE(m_opener->requests.first().url.toLocalFile(), content()->model().filteredItems().at(4).path);
        QCOMPARE(m_states.opened, QStringList({"App 5"}));
        QVERIFY(!m_controller->isShowing());
        QTRY_VERIFY_WITH_TIMEOUT(!m_controller->panel(), 20000);
    }

    void commandDigitAndClicks()
    {
        show(appGroup(3, Style::List));
        QTest::keyClick(m_controller->panel(), Qt::Key_2, Qt::MetaModifier);
        QCOMPARE(m_states.opened, QStringList({"App 2"}));
        QVERIFY(!m_controller->isShowing());
        show(appGroup(3, Style::List));
        QTest::mouseClick(content()->cellAt(2), Qt::LeftButton);
        QCOMPARE(m_states.opened, QStringList({"App 2", "App 3"}));
        QVERIFY(!m_controller->isShowing());
    }

    void escapeClosesAndEndsRenaming()
    {
        QStringList renamed;
        m_controller->onRenameGroup = [&renamed](const QUuid &, const QString &name) { renamed.append(name); };
        QSignalSpy keys(&PopupNotifications::center(), &PopupNotifications::popupKeyDown);
        show(appGroup(2, Style::Grid));
        PopupHeader *header = content()->header();
        QTest::mouseDClick(header->title(), Qt::LeftButton);
        QVERIFY(content()->model().isEditingName());
        QVERIFY(m_controller->isEditingTextField());
        header->renameField()->selectAll();
        QTest::keyClicks(header->renameField(), QStringLiteral("Work"));
        QCOMPARE(keys.size(), 0); // the field has the keys
        QCOMPARE(content()->model().searchText(), QString());
        QTest::keyClick(m_controller->panel(), Qt::Key_Escape);
        QVERIFY(m_controller->isShowing());
        QVERIFY(!content()->model().isEditingName());
        QCOMPARE(content()->model().displayName(), QStringLiteral("Work"));
        QCOMPARE(renamed, QStringList({"Work"}));
        QTest::keyClick(m_controller->panel(), Qt::Key_Escape);
        QVERIFY(!m_controller->isShowing());
    }

    // A live switch of the look, as the settings make it, recolours the title, the name field and
    // the empty group's texts of an open popup at once.
    void theHeaderFollowsALiveLookSwitch()
    {
        Appearance::shared().apply(false);
        show(appGroup(2, Style::Grid));
        PopupHeader *header = content()->header();
        const auto colours = [this](QWidget *widget) {
            const QRect box(widget->mapTo(content(), QPoint(0, 0)), widget->size());
            return fillAndInk(content()->grab(box).toImage());
        };
        // Light text on a dark field, or dark text on a light one.
        const auto reads = [&colours](QWidget *widget, bool dark) {
            const auto [fill, ink] = colours(widget);
            return contrastRatio(fill, ink) > 3
                && (dark ? fill.lightness() < 100 && ink.lightness() > fill.lightness()
                         : fill.lightness() > 160 && ink.lightness() < fill.lightness());
        };
        QVERIFY(reads(header->title(), false));
        Appearance::shared().apply(true);
        QTRY_VERIFY_WITH_TIMEOUT(reads(header->title(), true), 10000);

        QTest::mouseDClick(header->title(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(header->renameField()->isVisible(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(reads(header->renameField(), true), 10000);
        Appearance::shared().apply(false);
        QTRY_VERIFY_WITH_TIMEOUT(reads(header->renameField(), false), 10000);
        Appearance::shared().apply(true);
        QTRY_VERIFY_WITH_TIMEOUT(reads(header->renameField(), true), 10000);
        QTest::keyClick(header->renameField(), Qt::Key_Escape);

        // So do the texts of an empty group's popup.
        show(group(QStringLiteral("Hidden"), {hiddenItem()}, Style::List));
        QVERIFY(content()->emptyState());
        const QList<QLabel *> texts = content()->emptyState()->findChildren<QLabel *>();
        QCOMPARE(texts.size(), 2);
        for (QLabel *text : texts)
            QVERIFY(reads(text, true));
        Appearance::shared().apply(false);
        for (QLabel *text : texts)
            QTRY_VERIFY_WITH_TIMEOUT(reads(text, false), 10000);
    }

    void globalMonitors()
    {
        show(appGroup(2, Style::Grid));
        const QRect frame = m_controller->panel()->frameGeometry();
        m_monitor->press(frame.center(), Qt::RightButton);
        QVERIFY(m_controller->isShowing());
        m_controller->ignoresPressAt = [](const QPoint &point) { return point.y() > 880; };
        m_monitor->press(QPoint(10, 890));
        QVERIFY(m_controller->isShowing());
        m_monitor->press(QPoint(5, 5), Qt::RightButton);
        QVERIFY(!m_controller->isShowing());
        // Kept for the next show, but told to report nothing while no popup shows.
        QVERIFY(m_monitor && !m_monitor->running);
        const QPointer<FakeGlobalEventMonitor> kept = m_monitor;

        // Escape while the popup has the keyboard is its own key, not another program's.
        show(appGroup(2, Style::Grid));
        QCOMPARE(m_monitor, kept);
        QVERIFY(m_monitor->running);
        QTRY_VERIFY(QGuiApplication::focusWindow());
        m_monitor->pressEscape();
        QVERIFY(m_controller->isShowing());
        // The user has gone to another program: Escape there closes the popup.
        m_monitor->pressEscapeInAnotherProgram();
        QVERIFY(!m_controller->isShowing());
    }

    // On a small screen the panel keeps to the usable area, its items scrolling; wherever it shows,
    // the line that says what could not be opened gets room of its own, and gives it back.
    void fitsTheScreenAndMakesRoomForAFailure()
    {
        const QRectF small(0, 70, 800, 506); // 800 by 600 less a 24-point strip and the Dock's band
        m_controller->visibleFrameSource = [small] { return small; };
        const qreal primaryHeight = QGuiApplication::primaryScreen()->geometry().height();
        const auto bottomLeft = [&](const QRect &frame) {
            return QRectF(frame.x(), primaryHeight - frame.y() - frame.height(), frame.width(), frame.height());
        };
        for (const Style style : {Style::Grid, Style::List}) {
            show(appGroup(14, style));
            const QRectF frame = bottomLeft(m_controller->panel()->geometry());
            QVERIFY2(small.adjusted(6, 6, -6, -6).contains(frame), qPrintable(QString::number(frame.bottom())));
            QCOMPARE(frame.height(), small.height() - 12);
            QVERIFY(content()->scrollArea());
            QTRY_VERIFY(content()->footer() && content()->footer()->isVisible());
            // The items go on below the view: they scroll.
            QScrollBar *bar = content()->scrollArea()->verticalScrollBar();
            QVERIFY(bar->maximum() > 0);
        }

        m_controller->visibleFrameSource = [] { return visibleFrame(); };
        const AppItem report = document(QStringLiteral("Report"), m_dir.filePath(QStringLiteral("gone.pdf")));
        show(group(QStringLiteral("Work"), {report, application(QStringLiteral("Mail")), application(QStringLiteral("Maps"))},
                   Style::List));
        const QRect before = m_controller->panel()->geometry();
        QScrollArea *items = content()->scrollArea() ? content()->scrollArea() : content()->findChild<QScrollArea *>();
        QVERIFY(items);
        const int viewBefore = items->viewport()->height();
        m_opener->failing.insert(report.itemURL(), QStringLiteral("No such file"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Report")));
        QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QTest::keyClick(m_controller->panel(), Qt::Key_Return);
        QTRY_VERIFY(content()->openFailureLine()->isVisible());
        const QRect grown = m_controller->panel()->geometry();
        QVERIFY(grown.height() > before.height());
        QCOMPARE(grown.bottom(), before.bottom()); // the edge toward the Dock stays
        QTRY_COMPARE(items->viewport()->height(), viewBefore); // the rows keep their room
        QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QTRY_VERIFY(content()->openFailureLine()->isHidden());
        QTRY_COMPARE(m_controller->panel()->geometry(), before);
    }

    // While a search narrows the items the panel takes the size the narrowed group would get, its
    // edge toward the tile staying put: a search that finds nothing leaves no tall empty card, and
    // clearing it brings the full panel back. A pointer resting on the panel stays on it.
    void searchFitsThePanelToWhatItShows()
    {
        struct Case {
            Style style;
            int narrowedHeight; // "App 1" finds App 1 and App 10 to App 14
            int emptyHeight;
        };
        for (const Case &c : {Case{Style::Grid, 382, 262}, Case{Style::List, 522, 202}}) {
            show(appGroup(14, c.style));
            const QRect full = m_controller->panel()->geometry();
            QCOMPARE(full.height(), 580);
            type(QStringLiteral("App 1"));
            QTRY_COMPARE(m_controller->panel()->geometry().height(), c.narrowedHeight);
            QCOMPARE(m_controller->panel()->geometry().bottom(), full.bottom());
            QCOMPARE(content()->cellCount(), 6);
            type(QStringLiteral("zz"));
            QCOMPARE(content()->emptyState()->kind(), PopupEmptyState::Kind::NoResults);
            QTRY_COMPARE(m_controller->panel()->geometry().height(), c.emptyHeight);
            QCOMPARE(m_controller->panel()->geometry().bottom(), full.bottom());
            QCOMPARE(m_controller->panel()->geometry().left(), full.left());
            // What is left below the search row is the no-results line and its margins, no more
            // than an empty group's panel shows.
            QTRY_COMPARE(content()->height(), c.emptyHeight);
            QVERIFY2(content()->emptyState()->height() <= 180, qPrintable(QString::number(content()->emptyState()->height())));
            QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
            QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
            QTRY_COMPARE(m_controller->panel()->geometry().height(), c.narrowedHeight);
            QTest::mouseClick(content()->searchBar()->clearButton(), Qt::LeftButton);
            QTRY_COMPARE(m_controller->panel()->geometry(), full);
            QCOMPARE(content()->cellCount(), 14);
        }

        // The pointer rests near the header while the search narrows: the panel keeps the room
        // under it; once the search is cleared the whole panel is back, where it was.
        show(appGroup(14, Style::List));
        const QRect full = m_controller->panel()->geometry();
        const qreal primaryHeight = QGuiApplication::primaryScreen()->geometry().height();
        m_pointer = QPointF(full.center().x(), primaryHeight - full.top() - 20);
        type(QStringLiteral("zz"));
        QTRY_VERIFY(content()->emptyState());
        QCOMPARE(m_controller->panel()->geometry(), full.adjusted(0, 12, 0, 0));
        m_pointer = QPointF(full.center().x(), primaryHeight - full.bottom() + 300);
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QTRY_COMPARE(m_controller->panel()->geometry().height(), 300 + 8 + 1);
        QCOMPARE(m_controller->panel()->geometry().bottom(), full.bottom());
        QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QTRY_COMPARE(m_controller->panel()->geometry(), full);
    }

    void emptyAndNoResults()
    {
        show(group(QStringLiteral("Hidden"), {hiddenItem()}, Style::List));
        QVERIFY(!content()->searchBar());
        QVERIFY(!content()->footer());
        QVERIFY(content()->emptyState());
        QCOMPARE(content()->emptyState()->kind(), PopupEmptyState::Kind::EmptyGroup);
        QCOMPARE(m_controller->panel()->size(), QSize(420, 202));

        show(appGroup(3, Style::List));
        QVERIFY(!content()->scrollArea());
        type(QStringLiteral("zz"));
        QCOMPARE(content()->emptyState()->kind(), PopupEmptyState::Kind::NoResults);
        QVERIFY(!content()->footer());
        QTest::mouseClick(content()->searchBar()->clearButton(), Qt::LeftButton);
        QCOMPARE(content()->cellCount(), 3);
        QVERIFY(content()->footer());
        QVERIFY(!content()->model().isSearchActive());

        show(appGroup(6, Style::List));
        QVERIFY(content()->scrollArea());
        QCOMPARE(content()->footer()->navigationKeys(), QStringLiteral("↑↓"));
        show(appGroup(1, Style::Fan));
        QVERIFY(content()->scrollArea());
    }

    // The footer's "… to open" hint names the key that opens the group: with the longest
    // shortcut, in Spanish, in the list and the grid, it is shown whole (it wraps, or takes a line
    // of its own), the key never split or cut, every line inside the label's box and clear of the
    // buttons beside it.
    void footerHintShowsTheWholeKey()
    {
        constexpr quint64 everyModifier = GroupShortcut::controlModifier | GroupShortcut::optionModifier
                                      | GroupShortcut::shiftModifier | GroupShortcut::commandModifier;
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("es"));
        for (const Style style : {Style::List, Style::Grid}) {
            AppGroup shown = appGroup(3, style);
            m_controller->setShortcutsSource([id = shown.id] { return QList<GroupShortcut>{{id, 18, everyModifier}}; });
            show(shown);
            PopupFooter *footer = content()->footer();
            QVERIFY(footer);
            auto *hint = qobject_cast<TokenLabel *>(footer->shortcutLabel());
            QVERIFY(hint);
            QTRY_VERIFY(hint->isVisible() && hint->width() > 0);
            const QString whole = LineBreaking::visibleText(hint->text());
            QVERIFY2(whole.endsWith(QStringLiteral(" para abrir")), qPrintable(whole));
            const QString key = whole.chopped(QStringLiteral(" para abrir").size());
            QVERIFY2(key.count(u'+') >= 4, qPrintable(key));
            const QStringList lines = hint->shownLines();
            QVERIFY2(!lines.join(QString()).contains(QChar(0x2026)), qPrintable(lines.join(" / ")));
            QCOMPARE(QString(lines.join(QString())).remove(u' '), QString(whole).remove(u' '));
            QVERIFY2(std::any_of(lines.begin(), lines.end(), [&](const QString &line) { return line.contains(key); }),
                     qPrintable(QStringLiteral("the key is split: ") + lines.join(" / ")));
            const QFontMetricsF metrics(hint->font());
            for (const QString &line : lines)
                QVERIFY2(metrics.horizontalAdvance(line) <= hint->contentsRect().width() + 0.5,
                         qPrintable(QStringLiteral("%1 is %2 wide in %3").arg(line).arg(metrics.horizontalAdvance(line)).arg(hint->contentsRect().width())));
            QVERIFY(hint->height() >= int(lines.size() * metrics.lineSpacing()) - 1);
            QVERIFY(footer->rect().contains(hint->geometry()));
            QVERIFY(!hint->geometry().intersects(footer->launchAllButton()->geometry()));
            // The key hints at the end stay whole too.
            for (QWidget *child : footer->findChildren<QWidget *>()) {
                if (child != hint && child->parentWidget() == footer && child->isVisible()) {
                    QVERIFY(footer->rect().contains(child->geometry()));
                    QVERIFY(!hint->geometry().intersects(child->geometry()));
                }
            }
        }
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    // A popup left open while the language changes, again and again: every text it shows (the
    // footer's button, summon hint and key hints, the search row, the header's spoken names, an
    // empty view) follows, and the footer's button still launches.
    void anOpenPopupFollowsTheLanguage()
    {
        const auto restoreLanguage = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        AppGroup shown = appGroup(3, Style::List);
        m_controller->setShortcutsSource([id = shown.id] { return QList<GroupShortcut>{{id, 18, GroupShortcut::controlModifier}}; });
        show(shown);
        // As read: without the marks that hold a phrase or a key together.
        const auto plain = [](const QString &text) { return LineBreaking::visibleText(text).remove(LineBreaking::wordJoiner); };
        const auto texts = [this, plain] {
            QStringList found;
            PopupFooter *footer = content()->footer();
            found << footer->launchAllButton()->text() << plain(footer->shortcutLabel()->text());
            for (const QWidget *child : footer->findChildren<QWidget *>())
                found << child->accessibleName();
            found << content()->searchBar()->shownText() << content()->header()->editButton()->accessibleName()
                  << content()->header()->closeButton()->accessibleName();
            return found;
        };
        const auto expected = [plain] {
            QStringList wanted{localized(QStringLiteral("popup.launchAll")),
                               PopupStyle::formatted(QStringLiteral("popup.keyboardShortcut.summon"),
                                                     GroupShortcut{{}, 18, GroupShortcut::controlModifier}.displayString()),
                               localized(QStringLiteral("popup.hint.navigate")), localized(QStringLiteral("popup.hint.open")),
                               localized(QStringLiteral("popup.search.placeholder")), localized(QStringLiteral("ax.editGroup")),
                               localized(QStringLiteral("ax.closePopup"))};
            for (QString &text : wanted)
                text = plain(text);
            return wanted;
        };
        const QStringList english = expected();
        for (const char *language : {"ja", "es", "en", "zh-Hans", "pt-BR", "en"}) {
            LanguageManager::shared().setCurrentLanguage(QString::fromLatin1(language));
            const QStringList wanted = expected();
            if (qstrcmp(language, "en") != 0)
                QVERIFY2(wanted.first() != english.first(), qPrintable(language));
            const QStringList shownTexts = texts();
            for (const QString &text : wanted)
                QVERIFY2(shownTexts.contains(text), qPrintable(QString::fromLatin1(language) + QStringLiteral(": no ") + text + QStringLiteral(" in ")
                                                               + shownTexts.join(QStringLiteral(" | "))));
        }
        content()->footer()->launchAllButton()->click();
        QTRY_COMPARE(m_opener->requests.size(), 3);

        // An empty group's view, and a search that finds nothing, follow as well.
        show(group(QStringLiteral("Hidden"), {hiddenItem()}, Style::List));
        const auto emptyTexts = [this] {
            QStringList found;
            for (const QLabel *label : content()->emptyState()->findChildren<QLabel *>())
                found << LineBreaking::visibleText(label->text());
            return found;
        };
        for (const char *language : {"ja", "en"}) {
            LanguageManager::shared().setCurrentLanguage(QString::fromLatin1(language));
            QVERIFY(content()->emptyState());
            QCOMPARE(emptyTexts(), (QStringList{LineBreaking::visibleText(localized(QStringLiteral("popup.empty.title"))),
                                                LineBreaking::visibleText(localized(QStringLiteral("popup.empty.description")))}));
        }
        show(appGroup(3, Style::Grid));
        type(QStringLiteral("zz"));
        for (const char *language : {"es", "en"}) {
            LanguageManager::shared().setCurrentLanguage(QString::fromLatin1(language));
            QVERIFY(content()->emptyState() && !content()->footer());
            QCOMPARE(emptyTexts(), QStringList{LineBreaking::visibleText(localized(QStringLiteral("popup.search.noResults")))});
        }
        QTest::mouseClick(content()->searchBar()->clearButton(), Qt::LeftButton);
        QVERIFY(content()->footer() && !content()->emptyState());
    }

    void movableByItsBackground()
    {
        show(appGroup(2, Style::Grid));
        InteractivePopupPanel *panel = m_controller->panel();
        const QPoint before = panel->pos();
        // The footer's empty middle is background: dragging there moves the panel.
        QWidget *footer = content()->footer();
        const QPoint grip(footer->width() / 2, 2);
        QTest::mousePress(footer, Qt::LeftButton, {}, grip);
        QMouseEvent drag(QEvent::MouseMove, QPointF(grip + QPoint(30, -20)), footer->mapToGlobal(QPointF(grip + QPoint(30, -20))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &drag);
        QTest::mouseRelease(footer, Qt::LeftButton, {}, grip + QPoint(30, -20));
        QCOMPARE(panel->pos(), before + QPoint(30, -20));
        QVERIFY(m_controller->isShowing());
    }

    void searchShowsItsItemsInTheCellsItHas()
    {
        show(appGroup(120, Style::Grid));
        const QList<PopupItemCell *> built = content()->builtCells();
        QCOMPARE(content()->cellCount(), 120);
        // Cells only for the rows in or next to the view.
        QVERIFY2(built.size() <= 6 * 4, qPrintable(QString::number(built.size())));
        QVERIFY(content()->cellAt(0)->isVisible());
        QVERIFY(!content()->cellAt(119));
        const QPoint secondPlace = content()->cellAt(1)->parentWidget()->pos();
        type(QStringLiteral("app 1"));
        // App 1, App 10 to 19, App 100 to 120, in the places of the first ones, numbered by their place.
        QCOMPARE(content()->cellCount(), 32);
        QCOMPARE(content()->cellAt(1)->inputs().app.name, QStringLiteral("App 10"));
        QCOMPARE(content()->cellAt(1)->accessibleName(), QStringLiteral("App 10"));
        QCOMPARE(content()->cellAt(1)->commandBadgeText(), QStringLiteral("Super+2"));
        QVERIFY(content()->cellAt(1)->isVisible());
        QCOMPARE(content()->cellAt(1)->parentWidget()->pos(), secondPlace);
        QCOMPARE(content()->builtCells(), built); // no cell built for a search
        // Walking down to the last one brings it into view.
        for (int i = 0; i < 8; ++i)
            QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QCOMPARE(content()->model().focusedIndex(), std::optional<int>(31));
        const PopupItemCell *last = content()->cellAt(31);
        QVERIFY(last && last->isVisible() && last->isHighlighted());
        QCOMPARE(last->inputs().app.name, QStringLiteral("App 120"));
        QVERIFY(!content()->cellAt(0));
        const QRect inView = content()->scrollArea()->viewport()->rect();
        QVERIFY(inView.contains(QRect(last->mapTo(content()->scrollArea()->viewport(), QPoint(0, 0)), last->size())));
        // Back to everything, from the top.
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
        QCOMPARE(content()->cellCount(), 120);
        QCOMPARE(content()->cellAt(1)->inputs().app.name, QStringLiteral("App 2"));
        QCOMPARE(content()->cellAt(1)->commandBadgeText(), QStringLiteral("Super+2"));
        QVERIFY(content()->cellAt(0)->isVisible());
        QTest::mouseClick(content()->cellAt(2), Qt::LeftButton);
        QCOMPARE(m_states.opened, QStringList({"App 3"}));
    }

    // Typing in the search of a group of many applications, half with PNG icons and half with
    // vector ones, asks for no icon once the popup has shown: every key and every deletion finds the
    // pictures of what it shows at hand, and no icon helper starts while the user types. Searches
    // that bring items from far down the list into view, tried many times in a row.
    void typingInTheSearchStartsNoIconHelper()
    {
        QList<AppItem> items;
        // Names of their own: the other cases' applications have PNG icons only.
        for (int i = 0; i < 90; ++i) {
            const QString name = QStringLiteral("Tool %1").arg(i + 1);
            AppItem app = desktopApplication(m_dir.path(), name, QColor::fromHsv((i * 47) % 360, 180, 210));
            if (i % 2 == 1) {
                // The same application with a vector icon instead.
                const QString svg = m_dir.filePath(QStringLiteral("vector%1.svg").arg(i));
                QFile icon(svg);
                QVERIFY(icon.open(QIODevice::WriteOnly));
                icon.write(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" height=\"128\" viewBox=\"0 0 128 128\">"
                                          "<rect x=\"8\" y=\"8\" width=\"112\" height=\"112\" rx=\"26\" fill=\"%1\"/></svg>")
                               .arg(QColor::fromHsv((i * 47) % 360, 180, 210).name())
                               .toUtf8());
                icon.close();
                QFile entry(app.path);
                QVERIFY(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
                entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%2\n").arg(name, svg).toUtf8());
            }
            items.append(app);
        }
        show(group(QStringLiteral("Everything"), items, Style::Grid));
        DecodedIcons *icons = DecodedIcons::shared();
        QVERIFY(icons);
        settleDecodedIcons(m_controller->panel());
        QTRY_VERIFY_WITH_TIMEOUT(icons->isIdle(), 60000);
        const int asked = icons->requestCount();
        QVERIFY(asked > 0);
        for (int round = 0; round < 5; ++round) {
            for (const QString &search : {QStringLiteral("tool 8"), QStringLiteral("9"), QStringLiteral("tool 4"), QStringLiteral("7")}) {
                type(search);
                m_controller->panel()->grab();
                QCoreApplication::processEvents();
                QVERIFY2(icons->requestCount() == asked,
                         qPrintable(QStringLiteral("\"%1\" asked for %2 icons").arg(search).arg(icons->requestCount() - asked)));
                for (qsizetype i = 0; i < search.size(); ++i)
                    QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
                m_controller->panel()->grab();
                QCoreApplication::processEvents();
                QCOMPARE(icons->requestCount(), asked);
            }
        }
        QVERIFY(icons->isIdle());
    }

    // Opening a popup of many applications looks at none of their files on the main thread, on the
    // first open after start as on every later one, after an icon file and an entry changed too:
    // what its cells and its search will draw is fetched beside it, and the popup shows with what
    // is kept meanwhile. Each change still reaches the cell that shows it.
    void openingAPopupLooksAtNoFileOnTheMainThread()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QList<AppItem> items;
        for (int i = 0; i < 300; ++i)
            items.append(desktopApplication(folder.path(), QStringLiteral("Tool %1").arg(i + 1), QColor::fromHsv((i * 47) % 360, 180, 210)));
        items.first() = desktopApplication(folder.path(), QStringLiteral("Tool 1"), QColor(0xE03030));
        const AppGroup many = group(QStringLiteral("Many"), items, Style::Grid);
        const auto opened = [&](const QString &when) {
            MainThreadFileLooks::watch(QFile::decodeName(QFile::encodeName(folder.path())));
            show(many);
            m_controller->panel()->grab();
            QCoreApplication::processEvents();
            MainThreadFileLooks::stop();
            QVERIFY2(MainThreadFileLooks::count() == 0, qPrintable(MainThreadFileLooks::report(when)));
        };
        // The first cell's picture, where the panel shows it.
        const auto ink = [this] {
            PopupItemCell *first = content()->cellAt(0);
            const QRect picture(first->thumbnail()->mapTo(m_controller->panel(), QPoint(0, 0)), first->thumbnail()->size());
            const QImage frame = m_controller->panel()->grab().toImage();
            return frame.pixelColor(frame.devicePixelRatio() * (picture.topLeft() + QPoint(picture.width() / 5, picture.height() / 2)));
        };
        const auto isRed = [](const QColor &colour) { return colour.red() > 150 && colour.blue() < 120; };
        const auto isBlue = [](const QColor &colour) { return colour.blue() > 150 && colour.red() < 120; };

        opened(QStringLiteral("the first open"));
        QTRY_VERIFY2_WITH_TIMEOUT(isRed(ink()), qPrintable(ink().name()), 60000);
        settleDecodedIcons(m_controller->panel());
        for (int round = 0; round < 3; ++round) {
            m_controller->closePopupImmediately();
            opened(QStringLiteral("open %1").arg(round + 2));
            // Drawn from what is kept, once the popup has grown in.
            QTRY_VERIFY_WITH_TIMEOUT(!content()->graphicsEffect(), 20000);
            QVERIFY2(isRed(ink()), qPrintable(ink().name()));
        }

        // The first application's icon is drawn anew in blue: a later open shows it, looking at
        // nothing on the main thread still.
        m_controller->closePopupImmediately();
        const AppItem blue = desktopApplication(folder.path(), QStringLiteral("Tool 1"), QColor(0x2040E0));
        QCOMPARE(blue.path, items.first().path);
        opened(QStringLiteral("the open after the icon changed"));
        QTRY_VERIFY2_WITH_TIMEOUT(isBlue(ink()), qPrintable(ink().name()), 60000);

        // Its entry now names another picture, a red one.
        const QString redIcon = folder.filePath(QStringLiteral("another-red.png"));
        QImage red(128, 128, QImage::Format_ARGB32_Premultiplied);
        red.fill(QColor(0xE03030));
        QVERIFY(red.save(redIcon));
        QFile entry(blue.path);
        QVERIFY(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Tool 1\nExec=/bin/true\nIcon=%1\n").arg(redIcon).toUtf8());
        entry.close();
        m_controller->closePopupImmediately();
        opened(QStringLiteral("the open after the entry changed"));
        QTRY_VERIFY2_WITH_TIMEOUT(isRed(ink()), qPrintable(ink().name()), 60000);
        settleDecodedIcons(m_controller->panel());
    }

    // Opening a popup of documents, folders, a web link and items that are gone (one on a drive that
    // is not plugged in) looks at none of their files on the main thread either, in either style:
    // not their previews, their kinds, their pictures, their icons (for the tint of a hovered or
    // focused cell) nor their opener, nor when the first keys of a search bring items into view.
    // The pictures still come, and a document that changed shows as it is now at a later open.
    void openingAPopupOfDocumentsLooksAtNoFileOnTheMainThread_data()
    {
        QTest::addColumn<bool>("grid");
        QTest::newRow("grid") << true;
        QTest::newRow("list") << false;
    }

    void openingAPopupOfDocumentsLooksAtNoFileOnTheMainThread()
    {
        QFETCH(bool, grid);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const auto picture = [&](const QColor &colour) {
            QImage photo(160, 120, QImage::Format_RGB32);
            photo.fill(colour);
            return photo.save(folder.filePath(QStringLiteral("Photo.png")));
        };
        QVERIFY(picture(QColor(0xE03030)));
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile file(folder.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(write(QStringLiteral("Drawing.svg"), "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">"
                                                     "<circle cx=\"32\" cy=\"32\" r=\"28\" fill=\"#2D6CDF\"/></svg>"));
        QVERIFY(write(QStringLiteral("Notes.txt"), "Things to do\n"));
        QVERIFY(write(QStringLiteral("README"), "Read me first\n"));
        {
            QPdfWriter pdf(folder.filePath(QStringLiteral("Report.pdf")));
            QPainter painter(&pdf);
            painter.drawText(QPointF(100, 100), QStringLiteral("Quarterly report"));
        }
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("Projects")));
        QList<AppItem> items{
            document(QStringLiteral("Photo"), folder.filePath(QStringLiteral("Photo.png"))),
            document(QStringLiteral("Drawing"), folder.filePath(QStringLiteral("Drawing.svg"))),
            document(QStringLiteral("Report"), folder.filePath(QStringLiteral("Report.pdf"))),
            document(QStringLiteral("Notes"), folder.filePath(QStringLiteral("Notes.txt"))),
            document(QStringLiteral("Read me"), folder.filePath(QStringLiteral("README"))),
            document(QStringLiteral("Projects"), folder.filePath(QStringLiteral("Projects"))),
            link(QStringLiteral("Team wiki"), QStringLiteral("https://wiki.example.org/team.png")),
            document(QStringLiteral("Gone"), folder.filePath(QStringLiteral("Gone.pdf"))),
            document(QStringLiteral("On the drive"), folder.filePath(QStringLiteral("Unplugged Drive/Plan.odt"))),
            desktopApplication(folder.path(), QStringLiteral("Editor"), QColor(0x34A853)),
        };
        AppGroup documents = group(QStringLiteral("Documents"), items, grid ? Style::Grid : Style::List);
        // Everything but the applications opens with a tool that is not there any more.
        documents.customOpenerPath = folder.filePath(QStringLiteral("Tools/viewer"));
        const auto opened = [&](const QString &when) {
            MainThreadFileLooks::watch(QFile::decodeName(QFile::encodeName(folder.path())));
            show(documents);
            m_controller->panel()->grab();
            QCoreApplication::processEvents();
            // The pointer comes to rest on a cell (as on a popup a hot key opened around it), the
            // keyboard walks to the next, and a search begins and ends.
            QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
            QApplication::sendEvent(content()->cellAt(1), &enter);
            QTest::keyClick(m_controller->panel(), Qt::Key_Down);
            m_controller->panel()->grab();
            type(QStringLiteral("o"));
            m_controller->panel()->grab();
            QCoreApplication::processEvents();
            QTest::keyClick(m_controller->panel(), Qt::Key_Backspace);
            m_controller->panel()->grab();
            QCoreApplication::processEvents();
            MainThreadFileLooks::stop();
            QVERIFY2(MainThreadFileLooks::count() == 0, qPrintable(MainThreadFileLooks::report(when)));
        };
        // The middle of the photo's preview, as its cell shows it.
        const auto photo = [this] {
            PopupItemCell *cell = content()->cellAt(0);
            const QImage shown = cell->thumbnail()->currentPicture();
            return shown.pixelColor(shown.width() / 2, shown.height() * 3 / 5);
        };
        const auto isRed = [](const QColor &colour) { return colour.red() > 150 && colour.blue() < 120; };
        const auto isBlue = [](const QColor &colour) { return colour.blue() > 150 && colour.red() < 120; };

        opened(QStringLiteral("the first open"));
        QTRY_VERIFY2_WITH_TIMEOUT(isRed(photo()), qPrintable(photo().name()), 60000);
        settleDecodedIcons(m_controller->panel());
        for (int round = 0; round < 3; ++round) {
            m_controller->closePopupImmediately();
            opened(QStringLiteral("open %1").arg(round + 2));
            QTRY_VERIFY2_WITH_TIMEOUT(isRed(photo()), qPrintable(photo().name()), 60000);
        }
        // Every item in view still shows a picture.
        for (PopupItemCell *cell : content()->builtCells())
            QVERIFY2(!cell->thumbnail()->currentPicture().isNull(), qPrintable(cell->inputs().app.name));

        // The photo is drawn anew in blue: a later open shows it, still looking at nothing.
        m_controller->closePopupImmediately();
        QVERIFY(picture(QColor(0x2040E0)));
        opened(QStringLiteral("the open after the photo changed"));
        QTRY_VERIFY2_WITH_TIMEOUT(isBlue(photo()), qPrintable(photo().name()), 60000);
        m_controller->closePopupImmediately();
        opened(QStringLiteral("the open after that"));
        QTRY_VERIFY2_WITH_TIMEOUT(isBlue(photo()), qPrintable(photo().name()), 60000);
        settleDecodedIcons(m_controller->panel());
    }

    // A group of thousands opens with cells for the rows in view only; the keyboard still reaches the
    // last item, which then shows, highlighted and with its own picture.
    // One row a style. The list takes a key a row, so it holds fewer: five thousand keys took a
    // checked build on a busy machine a minute and a half.
    void aHugeGroupBuildsCellsForTheViewOnly_data()
    {
        QTest::addColumn<bool>("grid");
        QTest::addColumn<int>("count");
        QTest::newRow("grid") << true << 5000;
        QTest::newRow("list") << false << 2000;
    }

    void aHugeGroupBuildsCellsForTheViewOnly()
    {
        QFETCH(bool, grid);
        QFETCH(int, count);
        const Style style = grid ? Style::Grid : Style::List;
        const AppItem red = desktopApplication(m_dir.path(), QStringLiteral("Red"), QColor(0xE03030));
        const AppItem blue = desktopApplication(m_dir.path(), QStringLiteral("Blue"), QColor(0x2040E0));
        QList<AppItem> items;
        for (int i = 0; i < count - 1; ++i) {
            AppItem item = blue;
            item.id = QUuid::createUuid();
            item.name = QStringLiteral("Blue %1").arg(i + 1);
            items.append(item);
        }
        items.append(red);
        show(group(QStringLiteral("Everything"), items, style));
        QCOMPARE(content()->cellCount(), count);
        const int bound = style == Style::Grid ? 6 * 4 : 12;
        QVERIFY2(content()->builtCells().size() <= bound, qPrintable(QString::number(content()->builtCells().size())));
        QVERIFY(content()->findChildren<PopupItemCell *>().size() <= bound);
        const std::optional<int> lastIndex = count - 1;
        for (int i = 0; i < count && content()->model().focusedIndex() != lastIndex; ++i)
            QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QCOMPARE(content()->model().focusedIndex(), lastIndex);
        PopupItemCell *last = content()->cellAt(count - 1);
        QVERIFY(last);
        QVERIFY(last->isVisible() && last->isHighlighted());
        QCOMPARE(last->inputs().app.name, QStringLiteral("Red"));
        QVERIFY(content()->builtCells().size() <= bound);
        // It paints: its picture is red where the panel shows it.
        QWidget *viewport = content()->scrollArea()->viewport();
        const QRect inView = viewport->rect();
        QVERIFY(inView.contains(QRect(last->mapTo(viewport, QPoint(0, 0)), last->size())));
        QTRY_VERIFY_WITH_TIMEOUT(!content()->graphicsEffect(), 20000);
        // Its icon is decoded out of the program and drawn once it is in.
        const QRect picture(last->thumbnail()->mapTo(m_controller->panel(), QPoint(0, 0)), last->thumbnail()->size());
        const auto ink = [&] {
            const QImage frame = m_controller->panel()->grab().toImage();
            return frame.pixelColor(frame.devicePixelRatio() * (picture.topLeft() + QPoint(picture.width() / 5, picture.height() / 2)));
        };
        QTRY_VERIFY2_WITH_TIMEOUT(ink().red() > 150 && ink().blue() < 120, qPrintable(ink().name()), 60000);
        QTest::keyClick(m_controller->panel(), Qt::Key_Return);
        QCOMPARE(m_states.opened.last(), QStringLiteral("Red"));
    }

    // The pointer rests on a cell while typing narrows the grid: the highlight goes to whatever
    // cell is now under it, and no other cell keeps one; the panel stays under the pointer.
    void hoverFollowsCellsMovedUnderAStillPointer()
    {
        show(appGroup(12, Style::Grid));
        InteractivePopupPanel *panel = m_controller->panel();
        QTRY_VERIFY_WITH_TIMEOUT(!content()->graphicsEffect(), 20000);
        const auto hovered = [this] {
            QStringList names;
            for (PopupItemCell *cell : content()->builtCells()) {
                if (cell->isHovering() && cell->isVisible())
                    names.append(cell->inputs().app.name);
            }
            return names;
        };
        const auto underPointer = [this, panel] {
            QStringList names;
            const QPoint local = panel->mapFromGlobal(QCursor::pos());
            for (PopupItemCell *cell : content()->builtCells()) {
                if (cell->isVisible() && QRect(cell->mapTo(panel, QPoint(0, 0)), cell->size()).contains(local))
                    names.append(cell->inputs().app.name);
            }
            return names;
        };
        const qreal primaryHeight = QGuiApplication::primaryScreen()->geometry().height();
        const auto restOn = [this, panel, primaryHeight](PopupItemCell *cell) {
            const QPoint local = cell->mapTo(panel, cell->rect().center());
            const QPoint global = panel->mapToGlobal(local);
            QCursor::setPos(global);
            m_pointer = QPointF(global.x(), primaryHeight - global.y());
            QTest::mouseMove(panel, local);
        };
        const auto highlightsFollow = [&] {
            const QStringList under = underPointer();
            QVERIFY(under.size() <= 1);
            QCOMPARE(hovered(), under);
            for (int i = 0; i < content()->cellCount(); ++i) {
                if (PopupItemCell *cell = content()->cellAt(i))
                    QCOMPARE(cell->isHighlighted(), under.contains(cell->inputs().app.name));
            }
            QVERIFY(panel->geometry().contains(QCursor::pos()));
        };
        // The second cell of the first row: "App 2".
        restOn(content()->cellAt(1));
        QTRY_COMPARE_WITH_TIMEOUT(hovered(), QStringList({"App 2"}), 10000);
        // "App 1", "App 10", "App 11", "App 12".
        type(QStringLiteral("app 1"));
        highlightsFollow();
        // Back to all: "App 2" is under it again.
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(panel, Qt::Key_Backspace);
        QCOMPARE(hovered(), QStringList({"App 2"}));

        // On the last row ("App 10"), then a search that leaves one row: the panel shrinks toward
        // the tile below it, whatever cell comes under the pointer takes the highlight.
        restOn(content()->cellAt(9));
        QTRY_COMPARE_WITH_TIMEOUT(hovered(), QStringList({"App 10"}), 10000);
        type(QStringLiteral("app 1"));
        QCOMPARE(content()->cellCount(), 4);
        highlightsFollow();
    }

    // The pointer rests on one item while the arrows move the keyboard's highlight: only one item
    // looks chosen at every press, drawn as any other item where the pointer rests; a move of the
    // pointer takes the highlight with it, and Return opens what looks chosen.
    void oneItemLooksChosenWhenTheKeysMeetAStillPointer_data()
    {
        QTest::addColumn<bool>("grid");
        QTest::newRow("list") << false;
        QTest::newRow("grid") << true;
    }

    void oneItemLooksChosenWhenTheKeysMeetAStillPointer()
    {
        QFETCH(bool, grid);
        show(appGroup(8, grid ? Style::Grid : Style::List));
        InteractivePopupPanel *panel = m_controller->panel();
        QTRY_VERIFY_WITH_TIMEOUT(!content()->graphicsEffect(), 20000);
        const qreal primaryHeight = QGuiApplication::primaryScreen()->geometry().height();
        const auto pointAt = [&](PopupItemCell *cell) {
            const QPoint local = cell->mapTo(panel, cell->rect().center());
            const QPoint global = panel->mapToGlobal(local);
            QCursor::setPos(global);
            m_pointer = QPointF(global.x(), primaryHeight - global.y());
            QTest::mouseMove(panel, local);
        };
        const auto chosen = [this] {
            QStringList names;
            for (int i = 0; i < content()->cellCount(); ++i) {
                if (PopupItemCell *cell = content()->cellAt(i); cell && cell->isVisible() && cell->isHighlighted())
                    names.append(cell->inputs().app.name);
            }
            return names;
        };
        // The fill of a cell beside its left edge, where nothing is drawn over it.
        const auto fillOf = [panel](PopupItemCell *cell) {
            const QImage frame = panel->grab().toImage();
            const QPoint at = cell->mapTo(panel, QPoint(4, cell->height() / 2));
            return frame.pixelColor(at * frame.devicePixelRatio());
        };
        PopupItemCell *rested = content()->cellAt(grid ? 5 : 3);
        pointAt(rested);
        QTRY_VERIFY_WITH_TIMEOUT(rested->isHovering() && rested->isHighlighted(), 10000);
        const QString restedName = rested->inputs().app.name;

        // Pressed in a row: the keyboard's item is the one item that looks chosen, each time.
        for (int press = 1; press <= 3; ++press) {
            QTest::keyClick(panel, Qt::Key_Right);
            const int focused = content()->model().focusedIndex().value_or(-1);
            QCOMPARE(focused, press - 1);
            QCOMPARE(chosen(), QStringList{content()->cellAt(focused)->inputs().app.name});
            // Settled, the rested item is drawn as an item nobody chose.
            QTRY_COMPARE_WITH_TIMEOUT(fillOf(rested), fillOf(content()->cellAt(4)), 5000);
            QVERIFY(fillOf(content()->cellAt(focused)) != fillOf(rested));
        }

        // The pointer moves onto another item: the highlight goes with it, and Return opens it.
        PopupItemCell *other = content()->cellAt(6);
        pointAt(other);
        QTRY_COMPARE_WITH_TIMEOUT(content()->model().focusedIndex(), std::optional<int>(6), 10000);
        const QString otherName = other->inputs().app.name;
        QCOMPARE(chosen(), QStringList{otherName});
        QVERIFY(restedName != otherName);
        QTest::keyClick(panel, Qt::Key_Return);
        QCOMPARE(m_states.opened.last(), otherName);
    }

    void punctuationTypesIntoTheSearch()
    {
        AppGroup mail = appGroup(3, Style::List);
        mail.apps[1].name = QStringLiteral("E-mail");
        mail.apps[2].name = QStringLiteral("notes_v1.2");
        show(mail);
        type(QStringLiteral("e-m"));
        QCOMPARE(content()->model().searchText(), QStringLiteral("e-m"));
        QCOMPARE(content()->cellCount(), 1);
        QCOMPARE(content()->searchBar()->shownText(), QStringLiteral("e-m"));
        QTest::mouseClick(content()->searchBar()->clearButton(), Qt::LeftButton);
        type(QStringLiteral("_v1."));
        QCOMPARE(content()->model().searchText(), QStringLiteral("_v1."));
        QCOMPARE(content()->cellCount(), 1);
        // The popup's own keys still command it.
        QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QCOMPARE(content()->model().focusedIndex(), std::optional<int>(0));
        QTest::keyClick(m_controller->panel(), Qt::Key_Return);
        QCOMPARE(m_states.opened, QStringList({"notes_v1.2"}));
    }

    void otherWindowsKeepTheirKeysAndClicksClose()
    {
        QWidget window;
        auto *field = new QLineEdit(&window);
        window.resize(300, 80);
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        show(appGroup(3, Style::List));
        // Typed into the program's window while the popup shows: the field gets the keys.
        QTest::keyClicks(field, QStringLiteral("ab"));
        QCOMPARE(field->text(), QStringLiteral("ab"));
        QCOMPARE(content()->model().searchText(), QString());
        QVERIFY(m_controller->isShowing());
        // A click in that window closes the popup as an outside click does, and the keys go on there.
        QTest::mouseClick(field, Qt::LeftButton);
        QVERIFY(!m_controller->isShowing());
        QTest::keyClicks(field, QStringLiteral("c"));
        QCOMPARE(field->text(), QStringLiteral("abc"));
        // Nothing of the popup stays behind to catch a later press.
        show(appGroup(3, Style::List));
        QTest::mouseClick(content()->cellAt(0), Qt::LeftButton);
        QCOMPARE(m_states.opened, QStringList({"App 1"}));
    }

    void failedOpensAreTold()
    {
        // The desktop's own opener, on real files: a document deleted since it was added, and a
        // terminal program on a desktop without a terminal.
        WorkspaceOpener::install(std::make_unique<DesktopWorkspaceOpener>());
        const QString top = m_dir.filePath(QStringLiteral("top.desktop"));
        QFile entry(top);
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Top\nTerminal=true\nExec=/bin/true\n");
        entry.close();
        ScopedEnvironment environment;
        environment.set("TERMINAL", {});
        environment.set("PATH", m_dir.filePath(QStringLiteral("no-programs")).toUtf8());
        const AppItem report = document(QStringLiteral("Report"), m_dir.filePath(QStringLiteral("report.pdf")));
        const AppItem terminalApp{QUuid::createUuid(), QStringLiteral("top"), QStringLiteral("Top"), top};
        const AppItem chat = link(QStringLiteral("Chat"), QStringLiteral("nochat://team/room"));
        show(group(QStringLiteral("Work"), {report, terminalApp, chat}, Style::List));
        QVERIFY(content()->openFailureLine()->isHidden());

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Report: ")));
        QTest::mouseClick(content()->cellAt(0), Qt::LeftButton);
        QVERIFY(m_controller->isShowing());
        QVERIFY(m_states.opened.isEmpty());
        QVERIFY(m_signals.names().filter(QStringLiteral("app.launched")).isEmpty());
        QVERIFY(content()->openFailureLine()->isVisible());
        QCOMPARE(content()->openFailureLine()->text(), localizedFormat(QStringLiteral("popup.openFailed"), {"Report"}));
        // The user goes on: the line goes.
        QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QVERIFY(content()->openFailureLine()->isHidden());

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Top: ")));
        QTest::keyClick(m_controller->panel(), Qt::Key_Down);
        QTest::keyClick(m_controller->panel(), Qt::Key_Return);
        QVERIFY(m_controller->isShowing());
        QVERIFY(m_states.opened.isEmpty());
        QCOMPARE(content()->openFailureLine()->text(),
                 localizedFormat(QStringLiteral("popup.openFailed.noTerminal"), {"Top"}));
        QVERIFY(content()->openFailureLine()->isVisible());

        // A link no application of this desktop handles.
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Chat: ")));
        QTest::mouseClick(content()->cellAt(2), Qt::LeftButton);
        QVERIFY(m_controller->isShowing());
        QCOMPARE(content()->openFailureLine()->text(), localizedFormat(QStringLiteral("popup.openFailed"), {"Chat"}));
        QVERIFY(m_states.opened.isEmpty());
    }

    void foldersAndFilesOpenWithTheApplicationTheDesktopNames()
    {
        // Two recorders the user's list names: one for folders, one for plain text.
        const QString recorder = m_dir.filePath(QStringLiteral("recorder"));
        const QString record = m_dir.filePath(QStringLiteral("record"));
        QFile script(recorder);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(record).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        const QString applications = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/applications";
        QVERIFY(QDir().mkpath(applications));
        for (const QString &kind : {QStringLiteral("folders"), QStringLiteral("texts")}) {
            QFile entry(applications + "/recorder-" + kind + ".desktop");
            QVERIFY(entry.open(QIODevice::WriteOnly));
            entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Recorder\nExec=%1 %2 %f\n").arg(recorder, kind).toUtf8());
        }
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QVERIFY(QDir().mkpath(config));
        QFile list(config + "/mimeapps.list");
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("[Default Applications]\ninode/directory=recorder-folders.desktop;\ntext/plain=recorder-texts.desktop;\n");
        list.close();

        WorkspaceOpener::install(std::make_unique<DesktopWorkspaceOpener>());
        const QString folder = m_dir.filePath(QStringLiteral("Projects"));
        QVERIFY(QDir().mkpath(folder));
        const QString notes = m_dir.filePath(QStringLiteral("NOTES"));
        QFile text(notes);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Things to do\n- one\n- two\n");
        text.close();
        show(group(QStringLiteral("Work"), {document(QStringLiteral("Projects"), folder), document(QStringLiteral("Notes"), notes)},
                   Style::List));

        QTest::mouseClick(content()->cellAt(0), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(readLines(record), QStringList({"folders", folder}), 30000);
        QCOMPARE(m_states.opened, QStringList({"Projects"}));
        QTRY_VERIFY(!m_controller->isShowing());

        show(group(QStringLiteral("Work"), {document(QStringLiteral("Projects"), folder), document(QStringLiteral("Notes"), notes)},
                   Style::List));
        QTest::mouseClick(content()->cellAt(1), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(readLines(record), QStringList({"folders", folder, "texts", notes}), 30000);
        QCOMPARE(m_states.opened, QStringList({"Projects", "Notes"}));
        QFile::remove(config + "/mimeapps.list");
    }

    void whatNothingOpensKeepsThePopupAndSaysSo()
    {
        // The real xdg-open is there, on a desktop it does not know; nothing here handles the
        // link's scheme or a stream of bytes, so it starts and then fails.
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
            QSKIP("xdg-open is not installed (scripts/setup.sh installs it)");
        WorkspaceOpener::install(std::make_unique<DesktopWorkspaceOpener>());
        ScopedEnvironment environment;
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER"})
            environment.set(name, {});
        const QString blob = m_dir.filePath(QStringLiteral("blob"));
        QFile bytes(blob);
        QVERIFY(bytes.open(QIODevice::WriteOnly));
        bytes.write(QByteArray("\x01\x02\x03\xff\xfe\x00\x9c", 7).repeated(40));
        bytes.close();
        const AppItem chat = link(QStringLiteral("Chat"), QStringLiteral("nochat://team/room"));
        const AppItem data = document(QStringLiteral("Data"), blob);
        show(group(QStringLiteral("Work"), {chat, data}, Style::List));

        // What xdg-open says of its failure goes into the log with the failure, as one message;
        // nothing of it reaches this process's terminal.
        const LogCapture log(LogCapture::PassOn::Yes);
        QTemporaryFile terminal;
        QVERIFY(terminal.open());
        const int savedError = ::dup(STDERR_FILENO);
        QVERIFY(savedError >= 0);
        QVERIFY(::dup2(terminal.handle(), STDERR_FILENO) >= 0);
        auto restoreError = qScopeGuard([savedError] {
            ::dup2(savedError, STDERR_FILENO);
            ::close(savedError);
        });

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Chat: xdg-open could not open")));
        QTest::mouseClick(content()->cellAt(0), Qt::LeftButton);
        // The start of xdg-open opened nothing yet: the popup waits for its answer.
        QVERIFY(m_controller->isShowing());
        QTRY_VERIFY_WITH_TIMEOUT(content()->openFailureLine()->isVisible(), 30000);
        restoreError.dismiss();
        ::dup2(savedError, STDERR_FILENO);
        ::close(savedError);
        // The children wrote through the same open file: its offset is past what they wrote.
        QVERIFY(terminal.seek(0));
        const QByteArray raw = terminal.readAll();
        QVERIFY2(!raw.contains("xdg-open") && !raw.contains("not found"), raw.constData());
        const QStringList failures = log.lines().filter(QStringLiteral("Failed to open Chat"));
        QCOMPARE(failures.size(), 1);
        // xdg-open's words went to no stream of ours: its exit status tells that nothing here opens it.
        QVERIFY2(failures.first().contains(QStringLiteral("could not open nochat://team/room (exit status 3: nothing here can open it)")),
                 qPrintable(failures.first()));
        QCOMPARE(content()->openFailureLine()->text(), localizedFormat(QStringLiteral("popup.openFailed"), {"Chat"}));
        QVERIFY(m_controller->isShowing());
        QVERIFY(m_states.opened.isEmpty());
        QVERIFY(m_signals.names().filter(QStringLiteral("app.launched")).isEmpty());

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Data: xdg-open could not open")));
        QTest::mouseClick(content()->cellAt(1), Qt::LeftButton);
        QVERIFY(m_controller->isShowing());
        QTRY_COMPARE_WITH_TIMEOUT(content()->openFailureLine()->text(), localizedFormat(QStringLiteral("popup.openFailed"), {"Data"}), 30000);
        QVERIFY(content()->openFailureLine()->isVisible());
        QVERIFY(m_controller->isShowing());
        QVERIFY(m_states.opened.isEmpty());
    }

    void editButton()
    {
        AppGroup studio = appGroup(2, Style::Grid);
        show(studio);
        QTest::mouseClick(content()->header()->editButton(), Qt::LeftButton);
        QCOMPARE(m_edited, QList<QUuid>({studio.id}));
        QVERIFY(!m_controller->isShowing());
    }
};

KESTROWAN_TEST_MAIN(PopupWindowTest)
#include "tst_popupwindow.moc"
