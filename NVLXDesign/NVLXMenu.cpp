#include "NVLXDesign/NVLXMenu.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/EffectiveAppearance.h"
#include "NVLXDesign/RaisedPanel.h"

#include <QApplication>
#include "NVLXDesign/SystemFont.h"

#include <QAction>
#include <QEvent>
#include <QPainter>
#include <QPaintEvent>

namespace {

NVLXMenu::RoundedWindowShaper &roundedWindowShaper()
{
    static NVLXMenu::RoundedWindowShaper shaper;
    return shaper;
}

constexpr int panelPadding = 6;
constexpr int rowHorizontalPadding = 12;
constexpr int checkColumn = 18;

} // namespace

void NVLXMenu::setRoundedWindowShaper(RoundedWindowShaper shaper)
{
    roundedWindowShaper() = std::move(shaper);
}

void NVLXMenu::shapeRoundedWindow(QWidget *window, qreal radius)
{
    window->setWindowFlag(Qt::FramelessWindowHint);
    window->setWindowFlag(Qt::NoDropShadowWindowHint);
    auto shape = [radius](const QSize &size) { return ContinuousShape::roundedRect(QRectF(QPointF(0, 0), QSizeF(size)), radius); };
    if (roundedWindowShaper())
        roundedWindowShaper()(window, shape);
    else
        window->setAttribute(Qt::WA_TranslucentBackground);
}

NVLXMenu::NVLXMenu(QWidget *parent) : QMenu(parent)
{
    shapeRoundedWindow(this, cornerRadius);
    setFont(SystemFont::font(DS::fsSm));
    applyMetrics();
}

void NVLXMenu::applyMetrics()
{
    // The sheet only sizes the rows; the menu draws them itself.
    setStyleSheet(QStringLiteral("QMenu { background: transparent; border: none; padding: %1px; }"
                                 "QMenu::item { padding: 6px %2px 6px %3px; border: none; background: transparent; }"
                                 "QMenu::separator { height: 9px; }"
                                 "QMenu::indicator { width: 0px; }")
                      .arg(panelPadding)
                      .arg(rowHorizontalPadding + 8)
                      .arg(rowHorizontalPadding + checkColumn));
}

void NVLXMenu::showEvent(QShowEvent *event)
{
    QMenu::showEvent(event);
    update();
}

void NVLXMenu::changeEvent(QEvent *event)
{
    QMenu::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        update();
}

void NVLXMenu::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A menu is a window of its own: it takes the application's look, as every window does. Not
    // its own palette: the sheet's transparent background makes that read as dark.
    const EffectiveAppearance appearance = effectiveAppearance(QApplication::palette());
    paintRaisedPanel(painter, rect(), QRectF(rect()), cornerRadius, appearance);

    const QFontMetricsF metrics(font());
    for (QAction *action : actions()) {
        if (!action->isVisible())
            continue;
        const QRectF row = QRectF(actionGeometry(action));
        if (action->isSeparator()) {
            const qreal y = row.center().y();
            painter.fillRect(QRectF(row.left() + 8, y, row.width() - 16, 1), DS::divider.resolve(appearance));
            continue;
        }
        const bool destructive = action->property("destructive").toBool();
        const bool active = action == activeAction() && action->isEnabled();
        if (active)
            painter.fillPath(ContinuousShape::roundedRect(row, DS::rSm),
                             (destructive ? DS::dangerSubtle : DS::accentSubtle).resolve(appearance));
        QColor ink = (destructive ? DS::danger : DS::text1).resolve(appearance);
        if (!action->isEnabled())
            ink = DS::disabledText.resolve(appearance);
        if (action->isChecked()) {
            const QRectF mark(row.left() + rowHorizontalPadding - 2, row.center().y() - 6, 12, 12);
            QPainterPath tick;
            tick.moveTo(mark.left() + 1.5, mark.center().y() + 0.5);
            tick.lineTo(mark.left() + 4.5, mark.bottom() - 2);
            tick.lineTo(mark.right() - 1, mark.top() + 2);
            painter.setPen(QPen(DS::accent.resolve(appearance), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(tick);
        }
        painter.setPen(ink);
        painter.setFont(action->font().resolveMask() ? action->font() : font());
        const QRectF textBox = row.adjusted(rowHorizontalPadding + checkColumn, 0, -rowHorizontalPadding, 0);
        painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic,
                         metrics.elidedText(action->text(), Qt::ElideRight, textBox.width()));
    }
}
