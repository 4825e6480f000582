// Every word the popup shows reads at 4.5:1 or more against what it is drawn on, in the light and
// the dark look, in the grid and the list style: the title, the edit key, the search prompt and the
// typed search, the names and key badges of the cells at rest and focused, the footer's button, keys
// and hints, the no-results line, the empty group's texts and the line saying an item did not open.
// Each is read from the popup's own picture.
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupEmptyState.h"
#include "Kestrowan/popup/PopupFooter.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/popup/PopupItemCell.h"
#include "Kestrowan/popup/PopupSearchBar.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/VirtualKeys.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/SettledIcons.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace PopupTest;
using Style = AppGroup::DisplayStyle;

namespace {

QString lookName(bool dark)
{
    return dark ? QStringLiteral("dark") : QStringLiteral("light");
}

int advance(const QFont &font, const QString &text)
{
    return qCeil(QFontMetricsF(font).horizontalAdvance(text));
}

} // namespace

class PopupWordsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeWorkspaceOpener *m_opener = nullptr;
    RecordingItemStates m_states;
    std::unique_ptr<PopupWindowController> m_controller;
    AppGroup m_studio;
    QList<GroupShortcut> m_shortcuts;
    // Every reading, "what (look): ratio", and those below 4.5:1.
    QStringList m_readings;
    QStringList m_low;

    AppGroup studio(Style style) const
    {
        AppGroup group = m_studio;
        group.displayStyle = style;
        return group;
    }

    InteractivePopupPanel *show(const AppGroup &group, bool dark)
    {
        QApplication::setPalette(dark ? Appearance::darkPalette() : Appearance::lightPalette());
        InteractivePopupPanel *panel = showGrownIn(*m_controller, group);
        if (!panel)
            return nullptr;
        settleDecodedIcons(panel);
        return panel;
    }

    static PopupContentView *content(InteractivePopupPanel *panel)
    {
        return qobject_cast<PopupContentView *>(panel->content());
    }

    void read(const QString &what, bool dark, QWidget *widget, const QRect &area)
    {
        const double ratio = drawnTextContrast(widget, area);
        const QString reading = QStringLiteral("%1 (%2): %3").arg(what, lookName(dark)).arg(ratio, 0, 'f', 2);
        m_readings.append(reading);
        if (ratio < 4.5)
            m_low.append(reading);
    }

    void read(const QString &what, bool dark, QWidget *widget, int inset = 0)
    {
        read(what, dark, widget, widget->rect().adjusted(inset, inset, -inset, -inset));
    }

    // The header, the search bar at rest and the footer.
    void readChrome(InteractivePopupPanel *panel, bool dark, const QString &style)
    {
        PopupContentView *view = content(panel);
        read(style + QStringLiteral(" title"), dark, view->header()->title());
        // The edit button's key, beside its symbol.
        QAbstractButton *edit = view->header()->editButton();
        const int symbol = qCeil(PopupStyle::symbolSize(QStringLiteral("slider.horizontal.3"), 12).width());
        read(style + QStringLiteral(" edit key"), dark, edit, QRect(9 + symbol + 4, 2, edit->width() - 9 - symbol - 4, edit->height() - 4));
        read(style + QStringLiteral(" search prompt"), dark, view->searchBar(), 4);

        PopupFooter *footer = view->footer();
        QAbstractButton *launchAll = footer->launchAllButton();
        const QFont keysFont = PopupStyle::font(10, QFont::DemiBold, true);
        const int keys = advance(keysFont, KeyNotation::text(VirtualKeys::commandFlag, QStringLiteral("A")));
        const int title = advance(PopupStyle::font(12, QFont::Medium), launchAll->text());
        const int keysLeft = launchAll->width() - 10 - keys - 1;
        read(style + QStringLiteral(" launch all"), dark, launchAll, QRect(keysLeft - 4 - title, 0, title, launchAll->height()));
        read(style + QStringLiteral(" launch all key"), dark, launchAll, QRect(keysLeft, 0, keys + 2, launchAll->height()));
        QVERIFY(footer->shortcutLabel());
        read(style + QStringLiteral(" summon hint"), dark, footer->shortcutLabel());

        const QFont capFont = PopupStyle::font(10, QFont::DemiBold);
        const QList<std::pair<QString, QString>> hints{{footer->navigationKeys(), localized(QStringLiteral("popup.hint.navigate"))},
                                                       {QStringLiteral("↵"), localized(QStringLiteral("popup.hint.open"))}};
        for (const auto &[keysText, label] : hints) {
            QWidget *hint = nullptr;
            for (QWidget *child : footer->findChildren<QWidget *>()) {
                if (child->accessibleName() == label && !qobject_cast<QLabel *>(child))
                    hint = child;
            }
            QVERIFY2(hint, qPrintable(label));
            const int cap = advance(capFont, keysText) + 10;
            read(style + QStringLiteral(" key cap ") + keysText, dark, hint, QRect(0, 0, cap, hint->height()));
            read(style + QStringLiteral(" hint ") + label, dark, hint, QRect(cap + 4, 0, hint->width() - cap - 4, hint->height()));
        }
    }

    // The names and key badges of the first cells; `which` says how they are shown.
    void readCells(InteractivePopupPanel *panel, bool dark, const QString &which, int count = 3)
    {
        const QList<PopupItemCell *> cells = content(panel)->builtCells();
        QVERIFY(cells.size() >= count);
        for (int i = 0; i < count; ++i) {
            PopupItemCell *cell = cells.at(i);
            const QString name = which + u' ' + cell->inputs().app.name;
            read(name + QStringLiteral(" name"), dark, cell, cell->nameRect().toAlignedRect());
            QVERIFY(!cell->badgeRect().isEmpty());
            read(name + QStringLiteral(" key badge"), dark, cell, cell->badgeRect().toAlignedRect().adjusted(1, 1, -1, -1));
        }
    }

    void readFocusedCell(InteractivePopupPanel *panel, bool dark, const QString &style, Qt::Key key)
    {
        QTest::keyClick(panel, key);
        PopupItemCell *focused = nullptr;
        QTRY_VERIFY((focused = [panel] {
            for (PopupItemCell *cell : content(panel)->builtCells()) {
                if (cell->inputs().isFocused)
                    return cell;
            }
            return static_cast<PopupItemCell *>(nullptr);
        }()));
        const QString name = style + QStringLiteral(" focused ") + focused->inputs().app.name;
        read(name + QStringLiteral(" name"), dark, focused, focused->nameRect().toAlignedRect());
        read(name + QStringLiteral(" key badge"), dark, focused, focused->badgeRect().toAlignedRect().adjusted(1, 1, -1, -1));
    }

    void typeInto(InteractivePopupPanel *panel, const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(panel, c.toLatin1());
    }

    void verifyNoneLow()
    {
        QVERIFY2(m_low.isEmpty(), qPrintable(QStringLiteral("below 4.5:1: ") + m_low.join(QStringLiteral("; "))));
    }

private slots:
    void initTestCase()
    {
        m_opener = installFakePlatform();
        const QString folder = m_dir.path();
        QList<AppItem> items = colouredApplications(folder);
        items.append(document(QStringLiteral("Quarterly plan.txt"), folder + QStringLiteral("/Quarterly plan.txt")));
        items.append(link(QStringLiteral("Team wiki"), QStringLiteral("https://wiki.example.org/team")));
        m_studio = group(QStringLiteral("Studio"), items, Style::Grid);
        m_shortcuts = {{m_studio.id, 18, GroupShortcut::controlModifier}};
    }
    void init()
    {
        m_readings.clear();
        m_low.clear();
        m_controller = makeController(&m_states, [this] { return m_shortcuts; });
    }
    void cleanup()
    {
        m_controller.reset();
        QApplication::setPalette(Appearance::lightPalette());
        qInfo().noquote() << m_readings.join(u'\n');
    }

    void everyWordReadsInBothLooks_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void everyWordReadsInBothLooks()
    {
        QFETCH(bool, dark);
        for (const Style style : {Style::Grid, Style::List}) {
            const bool grid = style == Style::Grid;
            const QString name = grid ? QStringLiteral("grid") : QStringLiteral("list");
            InteractivePopupPanel *panel = show(studio(style), dark);
            QVERIFY(panel);
            readChrome(panel, dark, name);
            readCells(panel, dark, name);
            readFocusedCell(panel, dark, name, grid ? Qt::Key_Right : Qt::Key_Down);

            // Searching: the prompt while the field waits for typing, the typed words, no results.
            PopupSearchBar *bar = content(panel)->searchBar();
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() / 2));
            QTRY_COMPARE(bar->shownText(), localized(QStringLiteral("popup.search.typing")));
            read(name + QStringLiteral(" search prompt while active"), dark, bar, 4);
            typeInto(panel, QStringLiteral("ma"));
            QTRY_COMPARE(bar->shownText(), QStringLiteral("ma"));
            read(name + QStringLiteral(" typed search"), dark, bar, bar->rect().adjusted(4, 4, -bar->clearButton()->width() - 8, -4));
            typeInto(panel, QStringLiteral("zebra"));
            QTRY_VERIFY(content(panel)->emptyState() && content(panel)->emptyState()->isVisible());
            for (QLabel *label : content(panel)->emptyState()->findChildren<QLabel *>())
                read(name + QStringLiteral(" no results"), dark, label);
            m_controller->closePopupImmediately();
        }

        // A group without items.
        InteractivePopupPanel *panel = show(group(QStringLiteral("New group"), {}, Style::Grid), dark);
        QVERIFY(panel);
        const QList<QLabel *> empty = content(panel)->emptyState()->findChildren<QLabel *>();
        QCOMPARE(empty.size(), 2);
        for (QLabel *label : empty)
            read(QStringLiteral("empty group ") + label->text().left(24), dark, label);
        m_controller->closePopupImmediately();

        // An item that did not open.
        const AppItem plan = m_studio.apps.at(5);
        m_opener->failing.insert(plan.itemURL(), QStringLiteral("No such file"));
        const auto healed = qScopeGuard([this] { m_opener->failing.clear(); });
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Quarterly plan")));
        panel = show(studio(Style::Grid), dark);
        QVERIFY(panel);
        QTest::mouseClick(content(panel)->cellAt(5), Qt::LeftButton);
        QTRY_VERIFY(content(panel)->openFailureLine()->isVisible());
        read(QStringLiteral("open failure"), dark, content(panel)->openFailureLine());
        m_controller->closePopupImmediately();

        verifyNoneLow();
    }

    // A popup left open while the look switches reads as well in the new look as soon as it has
    // taken it, every time.
    void wordsReadRightAfterEachLookSwitch()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        Appearance::shared().apply(false);
        for (const Style style : {Style::Grid, Style::List}) {
            const QString name = style == Style::Grid ? QStringLiteral("grid") : QStringLiteral("list");
            InteractivePopupPanel *panel = show(studio(style), false);
            QVERIFY(panel);
            for (int round = 0; round < 6; ++round) {
                const bool dark = round % 2 == 0;
                Appearance::shared().apply(dark);
                QTRY_COMPARE(effectiveAppearance(panel) == EffectiveAppearance::Dark, dark);
                readChrome(panel, dark, name + QStringLiteral(" switched"));
                readCells(panel, dark, name + QStringLiteral(" switched"), 2);
            }
            m_controller->closePopupImmediately();
        }
        verifyNoneLow();
    }
};

KESTROWAN_TEST_MAIN(PopupWordsTest)
#include "tst_popupwords.moc"
