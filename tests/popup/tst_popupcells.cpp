// The item cells and the small controls: command numbers, the opener badge rule, focus and hover
// looks, names that do not fit, the opened dot, the close button's hover, and the icon tint with its
// cache and its fallback.
#include "Kestrowan/popup/GridAppCard.h"
#include "Kestrowan/popup/IconAccentColor.h"
#include "Kestrowan/popup/ListAppRow.h"
#include "Kestrowan/popup/OpenedIndicator.h"
#include "Kestrowan/popup/PopupLayout.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupLauncher.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/popup/PopupTopIconButton.h"
#include "Kestrowan/icons/PictureView.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Platform/fake/CountingThumbnailRenderer.h"
#include "Platform/fake/FakeWorkspace.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QTemporaryDir>

using namespace PopupTest;
using Style = AppGroup::DisplayStyle;

namespace {

QImage filled(const QColor &color, int side = 32)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

} // namespace

class PopupCellsTest : public QObject {
    Q_OBJECT

    FakeWorkspace *m_workspace = nullptr;
    FakeWorkspaceOpener m_opener;
    RecordingItemStates m_states;

    std::unique_ptr<PopupContentView> view(const AppGroup &group)
    {
        PopupContentModel::Inputs inputs;
        inputs.group = group;
        auto launcher = std::make_unique<PopupLauncher>(&m_states, [](const QString &, const QMap<QString, QString> &) {},
                                                        &m_opener);
        auto content = std::make_unique<PopupContentView>(inputs, std::move(launcher), &m_states);
        content->resize(PopupLayout::popupSize(group).toSize());
        // Laid out as on screen: cells are built for the rows in view.
        content->show();
        if (!QTest::qWaitForWindowExposed(content.get()))
            return nullptr;
        // Grown in, so that what is painted is where the widgets are.
        if (!QTest::qWaitFor([&content] { return !content->graphicsEffect(); }, 20000))
            return nullptr;
        return content;
    }

private slots:
    void init()
    {
        auto workspace = std::make_unique<FakeWorkspace>();
        m_workspace = workspace.get();
        Workspace::install(std::move(workspace));
    }

    void commandNumbersFollowTheList()
    {
        auto content = view(numberedGroup(11, Style::List));
        QCOMPARE(content->cellCount(), 11);
        QCOMPARE(content->cellAt(0)->commandBadgeText(), QStringLiteral("Super+1"));
        QCOMPARE(content->cellAt(8)->commandBadgeText(), QStringLiteral("Super+9"));
        // The tenth comes into view with the keyboard's focus.
        for (int i = 0; i < 10; ++i)
            content->model().handleKey(125, 0, {});
        QVERIFY(content->cellAt(9));
        QCOMPARE(content->cellAt(9)->inputs().app.name, QStringLiteral("App 10"));
        QCOMPARE(content->cellAt(9)->commandBadgeText(), QString());
        content->model().handleKey(19, 0, QStringLiteral("1")); // App 1, App 10, App 11
        QCOMPARE(content->cellCount(), 3);
        QCOMPARE(content->cellAt(2)->inputs().app.name, QStringLiteral("App 11"));
        QCOMPARE(content->cellAt(2)->commandBadgeText(), QStringLiteral("Super+3"));
    }

    void openerBadges()
    {
        const AppItem app = application(QStringLiteral("Editor"));
        const AppItem notes = document(QStringLiteral("Notes"), QStringLiteral("/docs/notes.txt"));
        const AppItem sheet = document(QStringLiteral("Sheet"), QStringLiteral("/docs/sheet.ods"));
        AppGroup group = PopupTest::group(QStringLiteral("Docs"), {app, notes, sheet}, Style::List);
        group.openerRules = OpenerRules{{{QStringLiteral("txt"), QStringLiteral("/apps/viewer.desktop")}},
                                        {{app.id.toString(QUuid::WithoutBraces).toUpper(), QStringLiteral("/apps/viewer.desktop")}},
                                        std::nullopt};
        m_workspace->fileIcons.insert(QStringLiteral("/apps/viewer.desktop"), QIcon(QPixmap::fromImage(filled(Qt::red))));
        auto content = view(group);
        QVERIFY(!content->cellAt(0)->showsOpenerBadge()); // an application never has one
        QVERIFY(content->cellAt(1)->showsOpenerBadge());
        QVERIFY(!content->cellAt(2)->showsOpenerBadge()); // no rule for its extension
        // Even when given an icon, an application shows none.
        PopupCellInputs inputs{app, 1, QIcon(QPixmap::fromImage(filled(Qt::red))), false, false, false, {}};
        ListAppRow row(inputs);
        QVERIFY(!row.showsOpenerBadge());
    }

    void focusAndOpenedState()
    {
        m_states.active = {QStringLiteral("App 2")};
        auto content = view(numberedGroup(3, Style::Grid));
        QVERIFY(!content->cellAt(1)->isHighlighted());
        content->model().handleKey(124, 0, {});
        content->model().handleKey(124, 0, {});
        QVERIFY(content->cellAt(1)->isHighlighted());
        QVERIFY(!content->cellAt(0)->isHighlighted());
        // The grid's dot is laid over the card from outside, 4 points in from its top and right.
        QCOMPARE(content->cellAt(1)->parentWidget()->findChildren<OpenedIndicator *>().size(), 1);
        QCOMPARE(content->cellAt(0)->parentWidget()->findChildren<OpenedIndicator *>().size(), 0);
        // Pressed, the card with everything it draws dims to 0.85; the dot beside it does not.
        QTest::mousePress(content->cellAt(1), Qt::LeftButton);
        auto *dim = qobject_cast<QGraphicsOpacityEffect *>(content->cellAt(1)->graphicsEffect());
        QVERIFY(dim);
        QCOMPARE(dim->opacity(), 0.85);
        QVERIFY(!content->cellAt(1)->parentWidget()->findChild<OpenedIndicator *>()->graphicsEffect());
        QTest::mouseRelease(content->cellAt(1), Qt::LeftButton, {}, QPoint(-5, -5)); // released outside: no launch
        QVERIFY(!content->cellAt(1)->graphicsEffect());
        QVERIFY(m_opener.requests.isEmpty());
        // Focused, the grid's picture grows to 1.08.
        QCOMPARE(content->cellAt(1)->thumbnail()->width(), 54);
        QCOMPARE(content->cellAt(0)->thumbnail()->width(), 50);
        auto list = view(numberedGroup(3, Style::List));
        QVERIFY(list->cellAt(1)->inputs().isOpened);
        QVERIFY(!list->cellAt(2)->inputs().isOpened);
    }

    void longNames()
    {
        const QString longName = QStringLiteral("An application with a remarkably long and winding name");
        GridAppCard card(PopupCellInputs{application(longName), 1, {}, false, false, false, {}});
        const QStringList lines = card.nameLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().endsWith(QChar(0x2026)));
        GridAppCard shortCard(PopupCellInputs{application(QStringLiteral("Mail")), 1, {}, false, false, false, {}});
        QCOMPARE(shortCard.nameLines(), QStringList({"Mail"}));
        ListAppRow row(PopupCellInputs{application(longName), 1, {}, false, false, false, {}});
        row.resize(392, ListAppRow::rowHeight);
        QVERIFY(row.visibleName().endsWith(QChar(0x2026)));
        QVERIFY(row.visibleName().size() < longName.size());
    }

    // A name on two lines leaves its icon where the others of the row have theirs, on screen.
    void gridIconsOfARowStandOnOneLine()
    {
        const auto app = [this](const QString &name, const QColor &color) {
            const AppItem item = application(name);
            m_workspace->fileIcons.insert(item.path, QIcon(QPixmap::fromImage(filled(color, 64))));
            return item;
        };
        auto content = view(PopupTest::group(QStringLiteral("Row"),
                                             {app(QStringLiteral("Mail"), QColor(0x2D6CDF)),
                                              app(QStringLiteral("Photos Library Manager"), QColor(0x9B51E0)),
                                              app(QStringLiteral("Notes"), QColor(0xF2B63B)),
                                              app(QStringLiteral("Maps"), QColor(0x34A853))},
                                             Style::Grid));
        auto *wrapped = qobject_cast<GridAppCard *>(content->cellAt(1));
        QVERIFY(wrapped);
        QCOMPARE(wrapped->nameLines().size(), 2);
        QCOMPARE(qobject_cast<GridAppCard *>(content->cellAt(0))->nameLines().size(), 1);
        const auto iconTop = [&content](int index) {
            PopupItemCell *cell = content->cellAt(index);
            return cell->thumbnail()->mapTo(content.get(), QPoint(0, 0)).y();
        };
        for (int i = 1; i < 4; ++i)
            QCOMPARE(iconTop(i), iconTop(0));
        // Where the pictures are painted: the same rows of pixels hold each card's icon.
        const QImage frame = content->grab().toImage();
        const qreal ratio = frame.devicePixelRatio();
        int paintedTop = -1;
        for (int i = 0; i < 4; ++i) {
            PopupItemCell *cell = content->cellAt(i);
            const QRect box(cell->mapTo(content.get(), QPoint(0, 0)), cell->size());
            const QImage card = frame.copy(QRect(box.topLeft() * ratio, box.size() * ratio));
            const QColor surface = card.pixelColor(card.width() / 2, int(4 * ratio));
            // The first row from the top whose middle is not the card's surface is the icon's top.
            int top = -1;
            for (int y = int(6 * ratio); y < card.height() && top < 0; ++y) {
                const QColor c = card.pixelColor(card.width() / 2, y);
                if (qAbs(c.red() - surface.red()) + qAbs(c.green() - surface.green()) + qAbs(c.blue() - surface.blue()) > 60)
                    top = y;
            }
            QVERIFY(top > 0);
            QVERIFY2(top >= (iconTop(0) - box.top()) * ratio && top <= (iconTop(0) - box.top() + 2) * ratio,
                     qPrintable(QString::number(top)));
            if (paintedTop < 0)
                paintedTop = top;
            QCOMPARE(top, paintedTop);
        }
    }

    // Each cell lies on the card with a soft shadow just below it, as the card does on the desktop.
    void cellsCastASoftShadow()
    {
        QApplication::setPalette(Appearance::darkPalette());
        for (const Style style : {Style::Grid, Style::List}) {
            auto content = view(PopupTest::group(QStringLiteral("One"), {application(QStringLiteral("Mail"))}, style));
            PopupItemCell *cell = content->cellAt(0);
            QCoreApplication::processEvents();
            const QImage frame = content->grab().toImage();
            const qreal ratio = frame.devicePixelRatio();
            const QRect box(cell->mapTo(content.get(), QPoint(0, 0)), cell->size());
            const QColor below = frame.pixelColor(QPoint(box.center().x(), box.bottom() + 3) * ratio);
            const QColor away = frame.pixelColor(QPoint(box.center().x(), box.bottom() + 12) * ratio);
            QCOMPARE(away.rgb(), PopupStyle::surfaceRaised(content.get()).rgb());
            QVERIFY2(below.lightness() + 2 <= away.lightness(), qPrintable(below.name() + " " + away.name()));
            // Not beside the cell's top: the shadow falls downwards.
            const QColor above = frame.pixelColor(QPoint(box.center().x(), box.top() - 6) * ratio);
            QCOMPARE(above.rgb(), away.rgb());
        }
        QApplication::setPalette(Appearance::lightPalette());
    }

    void closeButtonGrowsOnlyOnHover()
    {
        PopupTopIconButton button(QStringLiteral("xmark"), 13, QFont::Bold);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &enter);
        QVERIFY(button.isHovering());
        QTRY_COMPARE_WITH_TIMEOUT(button.currentScale(), 1.05, 10000);
        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(button.currentScale(), 1.05);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QTRY_COMPARE_WITH_TIMEOUT(button.currentScale(), 1.0, 10000);
    }

    void documentThumbnails()
    {
        QTemporaryDir cacheDir;
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        renderer->color = QColor(10, 200, 90);
        ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(cacheDir.path(), renderer));
        QTemporaryDir docs;
        const QString planPath = docs.filePath(QStringLiteral("plan.odt"));
        QFile(planPath).open(QIODevice::WriteOnly);
        const AppItem plan = document(QStringLiteral("Plan"), planPath);
        const AppItem photo = document(QStringLiteral("Photo"), docs.filePath(QStringLiteral("photo.png")));
        auto content = view(PopupTest::group(QStringLiteral("Docs"), {photo, plan}, Style::List));
        // The system thumbnail replaces the drawn preview; a picture file never asks for one.
        content->show();
        QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<ItemThumbnail *>(content->cellAt(1)->thumbnail())->showsRenderedImage(), 20000);
        QCOMPARE(content->cellAt(1)->thumbnail()->currentPicture().pixelColor(4, 4), QColor(10, 200, 90));
        QVERIFY(!renderer->requests().contains(photo.path));
        QVERIFY(renderer->requests().contains(planPath));
        QVERIFY(!qobject_cast<ItemThumbnail *>(content->cellAt(0)->thumbnail())->showsRenderedImage());
        content.reset();
        ThumbnailCache::setShared(nullptr);
    }

    void accentColours()
    {
        const QColor fallback = systemAccentColor();
        // Opaque pixels give their mean, once per key.
        QCOMPARE(iconAccentColor(filled(QColor(200, 100, 50)), QStringLiteral("com.example.a")).rgb(), qRgb(200, 100, 50));
        QCOMPARE(iconAccentColor(filled(Qt::blue), QStringLiteral("com.example.a")).rgb(), qRgb(200, 100, 50));
        QCOMPARE(iconAccentColor(filled(Qt::blue), QStringLiteral("file:/docs/a")).rgb(), qRgb(0, 0, 255));
        // Nothing more than half opaque: the system accent, and nothing cached.
        QCOMPARE(iconAccentColor(filled(QColor(255, 0, 0, 128)), QStringLiteral("com.example.faint")), fallback);
        QCOMPARE(iconAccentColor(filled(Qt::green), QStringLiteral("com.example.faint")).rgb(), qRgb(0, 255, 0));
        QCOMPARE(iconAccentColor(QImage(), QStringLiteral("com.example.none")), fallback);
        QCOMPARE(iconAccentColor(QIcon(), QStringLiteral("com.example.none")), fallback);
        // Partly transparent pixels count with their premultiplied, darker values.
        const std::optional<QColor> soft = meanOpaqueColor(filled(QColor(255, 255, 255, 204)));
        QVERIFY(soft);
        QCOMPARE(soft->red(), 204);
        QCOMPARE(soft->alpha(), 255);
        // Only the opaque half of a half-transparent icon counts.
        QImage half = filled(Qt::transparent);
        QPainter(&half).fillRect(0, 0, 16, 32, QColor(10, 20, 30));
        QCOMPARE(meanOpaqueColor(half)->rgb(), qRgb(10, 20, 30));
    }
};

KESTROWAN_TEST_MAIN(PopupCellsTest)
#include "tst_popupcells.moc"
