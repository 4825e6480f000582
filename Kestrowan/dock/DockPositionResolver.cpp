#include "Kestrowan/dock/DockPositionResolver.h"

#include "Platform/DockPreferences.h"
#include "Platform/UserDefaults.h"

#include <cmath>

namespace DockPositionResolver {

namespace {

const QString titleAttribute = QStringLiteral("AXTitle");
const QString subroleAttribute = QStringLiteral("AXSubrole");
const QString urlAttribute = QStringLiteral("AXURL");
const QString positionAttribute = QStringLiteral("AXPosition");
const QString sizeAttribute = QStringLiteral("AXSize");
const QString childrenAttribute = QStringLiteral("AXChildren");

constexpr qreal hiddenDockThickness = 4;
constexpr qreal minimumDockThickness = 70;

std::optional<QList<AXUIElement>> readChildren(Accessibility &accessibility, const AXUIElement &element)
{
    QVariant value;
    if (accessibility.copyAttributeValue(element, childrenAttribute, &value) != AXError::Success)
        return std::nullopt;
    if (value.typeId() != qMetaTypeId<QList<AXUIElement>>())
        return std::nullopt;
    return value.value<QList<AXUIElement>>();
}

qreal squaredDistance(const QPointF &a, const QPointF &b)
{
    const QPointF d = a - b;
    return d.x() * d.x() + d.y() * d.y();
}

bool isFinite(const QPointF &point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

qreal flipBase(const ScreenSpace &space)
{
    return space.cgBounds.top() + space.screen.frame.top() + space.screen.frame.height();
}

// The height that flips a point that lies on no screen.
qreal fallbackHeight()
{
    Screens &screens = Screens::shared();
    if (const std::optional<ScreenDescription> main = screens.mainScreen())
        return main->frame.height();
    const QList<ScreenDescription> list = screens.screens();
    return list.isEmpty() ? 0 : list.first().frame.height();
}

} // namespace

std::optional<DockItemInfo> makeDockItemInfo(const AXUIElement &element)
{
    Accessibility &accessibility = Accessibility::shared();
    DockItemInfo item;
    QVariant value;
    if (accessibility.copyAttributeValue(element, titleAttribute, &value) == AXError::Success
        && value.typeId() == QMetaType::QString)
        item.title = value.toString();
    value = {};
    if (accessibility.copyAttributeValue(element, subroleAttribute, &value) == AXError::Success
        && value.typeId() == QMetaType::QString)
        item.subrole = value.toString();
    value = {};
    if (accessibility.copyAttributeValue(element, urlAttribute, &value) == AXError::Success
        && value.typeId() == QMetaType::QUrl)
        item.url = value.toUrl();

    value = {};
    if (accessibility.copyAttributeValue(element, positionAttribute, &value) != AXError::Success)
        return std::nullopt;
    QPointF position;
    if (value.typeId() == QMetaType::QPointF && isFinite(value.toPointF()))
        position = value.toPointF();
    value = {};
    if (accessibility.copyAttributeValue(element, sizeAttribute, &value) != AXError::Success)
        return std::nullopt;
    QSizeF size;
    if (value.typeId() == QMetaType::QSizeF && std::isfinite(value.toSizeF().width())
        && std::isfinite(value.toSizeF().height()))
        size = value.toSizeF();
    item.frame = QRectF(position, size);
    return item;
}

QList<DockItemInfo> readDockItems()
{
    QList<DockItemInfo> items;
    const std::optional<qint64> pid = dockProcessID();
    if (!pid)
        return items;
    Accessibility &accessibility = Accessibility::shared();
    // Every look for a tile under the pointer reads all tiles, some of them several times over;
    // where the platform tells of each change of the Dock's tree, the tiles read last stand until
    // the next one.
    struct ReadTiles {
        qint64 processIdentifier = 0;
        quint64 revision = 0;
        QList<DockItemInfo> items;
    };
    thread_local std::optional<ReadTiles> last;
    const std::optional<quint64> revision = accessibility.treeRevision(*pid);
    if (revision && last && last->processIdentifier == *pid && last->revision == *revision)
        return last->items;
    const std::optional<QList<AXUIElement>> children = readChildren(accessibility, accessibility.createApplication(*pid));
    if (!children)
        return items;
    for (const AXUIElement &child : *children) {
        const std::optional<QList<AXUIElement>> tiles = readChildren(accessibility, child);
        if (!tiles)
            continue;
        for (const AXUIElement &tile : *tiles) {
            if (std::optional<DockItemInfo> item = makeDockItemInfo(tile))
                items.append(std::move(*item));
        }
    }
    // Kept only when the tree did not change while it was read.
    if (revision && accessibility.treeRevision(*pid) == revision)
        last = ReadTiles{*pid, *revision, items};
    return items;
}

std::optional<DockItemInfo> dockItemAtPoint(const QPointF &quartzPoint, qreal tolerance)
{
    std::optional<DockItemInfo> nearest;
    qreal nearestDistance = 0;
    for (const DockItemInfo &item : readDockItems()) {
        if (!rectContainsPoint(item.frame.adjusted(-tolerance, -tolerance, tolerance, tolerance), quartzPoint))
            continue;
        const qreal distance = squaredDistance(item.frame.center(), quartzPoint);
        if (!nearest || distance < nearestDistance) {
            nearest = item;
            nearestDistance = distance;
        }
    }
    return nearest;
}

std::optional<DockItemInfo> dockItemUnderPoint(const QPointF &quartzPoint, qreal tolerance)
{
    const std::optional<qint64> pid = dockProcessID();
    if (!pid)
        return std::nullopt;
    Accessibility &accessibility = Accessibility::shared();
    AXUIElement element;
    if (accessibility.copyElementAtPosition(accessibility.createApplication(*pid), quartzPoint, &element) == AXError::Success) {
        if (std::optional<DockItemInfo> item = makeDockItemInfo(element))
            return item;
    }
    return dockItemAtPoint(quartzPoint, tolerance);
}

QRectF hitRect(const QRectF &frame)
{
    if (!(frame.width() > 0) || !(frame.height() > 0))
        return frame;
    const qreal dx = std::max(frame.width() * 0.08, 1.0);
    const qreal dy = std::max(frame.height() * 0.10, 1.0);
    const QRectF inset = frame.adjusted(dx, dy, -dx, -dy);
    if (!(inset.width() > 0) || !(inset.height() > 0))
        return frame;
    return inset;
}

std::optional<DockItemInfo> hitTestDockItem(const QList<DockItemInfo> &items, DockPosition position,
                                            const QPointF &quartzPoint)
{
    QList<const DockItemInfo *> hits;
    for (const DockItemInfo &item : items) {
        if (rectContainsPoint(hitRect(item.frame), quartzPoint))
            hits.append(&item);
    }
    if (hits.isEmpty())
        return std::nullopt;
    const DockItemInfo *best = nullptr;
    qreal bestScore = 0;
    for (const DockItemInfo *item : hits) {
        const QPointF offset = item->frame.center() - quartzPoint;
        const qreal along = position == DockPosition::Bottom ? offset.x() : offset.y();
        const qreal across = position == DockPosition::Bottom ? offset.y() : offset.x();
        const qreal score = across * across + 4 * along * along;
        if (!best || score < bestScore) {
            best = item;
            bestScore = score;
        }
    }
    return *best;
}

std::optional<qint64> dockProcessID()
{
    return Accessibility::shared().dockProcessIdentifier();
}

DockPosition dockPositionFromOrientation(const QString &orientation)
{
    const QString lowered = orientation.toLower();
    if (lowered == QLatin1String("left"))
        return DockPosition::Left;
    if (lowered == QLatin1String("right"))
        return DockPosition::Right;
    return DockPosition::Bottom;
}

DockPosition currentDockPosition()
{
    const QVariant orientation = DockPreferences::shared().value(QStringLiteral("orientation"));
    return dockPositionFromOrientation(orientation.typeId() == QMetaType::QString ? orientation.toString() : QString());
}

bool dockAutohides()
{
    return UserDefaults::booleanValue(DockPreferences::shared().value(QStringLiteral("autohide")));
}

std::optional<ScreenDescription> dockScreen()
{
    Screens &screens = Screens::shared();
    const QList<ScreenDescription> list = screens.screens();
    if (list.size() < 2) {
        if (std::optional<ScreenDescription> main = screens.mainScreen())
            return main;
        if (list.isEmpty())
            return std::nullopt;
        return list.first();
    }
    const DockPosition position = currentDockPosition();
    const ScreenDescription *pick = &list.first();
    for (const ScreenDescription &screen : list) {
        bool better = false;
        switch (position) {
        case DockPosition::Bottom:
            better = screen.frame.top() < pick->frame.top();
            break;
        case DockPosition::Left:
            better = screen.frame.left() < pick->frame.left();
            break;
        case DockPosition::Right:
            better = screen.frame.left() + screen.frame.width() > pick->frame.left() + pick->frame.width();
            break;
        }
        if (better)
            pick = &screen;
    }
    return *pick;
}

QRectF dockFrame(const std::optional<ScreenDescription> &screen)
{
    const std::optional<ScreenDescription> chosen = screen ? screen : dockScreen();
    if (!chosen)
        return {};
    const QRectF f = chosen->frame;
    const QRectF v = chosen->visibleFrame;
    const bool hidden = dockAutohides();
    const qreal fMaxX = f.left() + f.width();
    switch (currentDockPosition()) {
    case DockPosition::Left:
        return QRectF(f.left(), f.top(), hidden ? hiddenDockThickness : std::max(v.left() - f.left(), minimumDockThickness),
                      f.height());
    case DockPosition::Right:
        if (hidden)
            return QRectF(fMaxX - hiddenDockThickness, f.top(), hiddenDockThickness, f.height());
        return QRectF(v.left() + v.width(), f.top(), std::max(fMaxX - (v.left() + v.width()), minimumDockThickness),
                      f.height());
    case DockPosition::Bottom:
        break;
    }
    return QRectF(f.left(), f.top(), f.width(), hidden ? hiddenDockThickness : std::max(v.top() - f.top(), minimumDockThickness));
}

QList<ScreenSpace> screenSpaces()
{
    QList<ScreenSpace> spaces;
    for (const ScreenDescription &screen : Screens::shared().screens()) {
        if (!screen.displayIdentifier)
            continue;
        spaces.append({screen, screen.displayBounds});
    }
    return spaces;
}

QPointF convertAppKitPointToQuartz(const QPointF &point)
{
    for (const ScreenSpace &space : screenSpaces()) {
        if (rectContainsPoint(space.screen.frame, point))
            return QPointF(point.x(), flipBase(space) - point.y());
    }
    return QPointF(point.x(), fallbackHeight() - point.y());
}

QPointF convertQuartzPointToAppKit(const QPointF &point)
{
    for (const ScreenSpace &space : screenSpaces()) {
        if (rectContainsPoint(space.cgBounds, point))
            return QPointF(point.x(), flipBase(space) - point.y());
    }
    return QPointF(point.x(), fallbackHeight() - point.y());
}

QRectF convertQuartzRectToAppKit(const QRectF &rect)
{
    const QPointF centre = rect.center();
    for (const ScreenSpace &space : screenSpaces()) {
        if (rectContainsPoint(space.cgBounds, centre))
            return QRectF(rect.x(), flipBase(space) - rect.y() - rect.height(), rect.width(), rect.height());
    }
    return QRectF(rect.x(), fallbackHeight() - rect.y() - rect.height(), rect.width(), rect.height());
}

} // namespace DockPositionResolver
