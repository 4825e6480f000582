#include "Kestrowan/dock/HoverTuning.h"

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Platform/UserDefaults.h"

#include <algorithm>

HoverTuning HoverTuning::compute(DockPosition position, bool autohide, const QString &sensitivity, const QString &closeDelay)
{
    HoverTuning tuning;
    const bool vertical = position != DockPosition::Bottom;
    tuning.graceDelay = autohide ? 0.36 : 0.30;
    tuning.edgeMargin = autohide ? 6 : 8;
    tuning.interiorMargin = vertical ? (autohide ? 30 : 12) : (autohide ? 28 : 10);

    if (sensitivity == QLatin1String("fast")) {
        tuning.edgeMargin += 6;
        tuning.interiorMargin += 12;
    } else if (sensitivity == QLatin1String("steady")) {
        tuning.edgeMargin = std::max<qreal>(tuning.edgeMargin - 2, 6);
        tuning.interiorMargin = std::max<qreal>(tuning.interiorMargin - 8, 14);
        tuning.graceDelay *= 1.15;
    }

    if (closeDelay == QLatin1String("short"))
        tuning.graceDelay = std::max(tuning.graceDelay * 0.72, 0.08);
    else if (closeDelay == QLatin1String("long"))
        tuning.graceDelay *= 1.4;
    return tuning;
}

HoverTuning HoverTuning::current()
{
    UserDefaults &defaults = UserDefaults::standard();
    return compute(DockPositionResolver::currentDockPosition(), DockPositionResolver::dockAutohides(),
                   defaults.string(QStringLiteral("hoverSensitivity")), defaults.string(QStringLiteral("closeDelay")));
}

QRectF HoverTuning::dockZoneRect(const QRectF &f, DockPosition position, qreal edge, qreal interior)
{
    switch (position) {
    case DockPosition::Left:
        return QRectF(f.x() - edge, f.y() - 18, f.width() + edge + interior, f.height() + 36);
    case DockPosition::Right:
        return QRectF(f.x() - interior, f.y() - 18, f.width() + edge + interior, f.height() + 36);
    case DockPosition::Bottom:
        break;
    }
    return QRectF(f.x() - 18, f.y() - edge, f.width() + 36, f.height() + edge + interior);
}
