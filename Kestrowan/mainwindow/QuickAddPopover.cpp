#include "Kestrowan/mainwindow/QuickAddPopover.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/FloatingPanel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int margin = 8;
constexpr int arrowHeight = 8;
// Between the arrow's tip and the button it points at.
constexpr int gap = 2;

// Until the program's own menu is plugged in: the four rows as plain titled buttons.
QWidget *plainMenu(const AddToGroupMenuActions &actions)
{
    auto *menu = new QWidget;
    auto *layout = new QVBoxLayout(menu);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(2);
    const std::pair<const char *, std::function<void()>> rows[] = {{"menu.dockApps", actions.onDockApps},
                                                                   {"menu.apps", actions.onApps},
                                                                   {"menu.files", actions.onFiles},
                                                                   {"menu.folders", actions.onFolders}};
    for (const auto &[key, action] : rows) {
        auto *button = new PointerPlainButton(menu);
        auto *label = new QLabel(localized(QLatin1String(key)));
        label->setFont(SystemFont::font(13, QFont::Medium));
        label->setContentsMargins(12, 10, 12, 10);
        button->setContent(label);
        QObject::connect(button, &QAbstractButton::clicked, menu, action);
        layout->addWidget(button);
    }
    menu->setFixedWidth(220);
    return menu;
}

} // namespace

QuickAddPopover::QuickAddPopover(const AddToGroupMenuActions &given, QWidget *anchor)
    : QWidget(anchor->window(), Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
    , m_anchor(anchor)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // The click that closes the panel is not handed on: a click on the card then opens nothing.
    setAttribute(Qt::WA_NoMouseReplay);
    // Every row closes the panel before it acts; the action may open a modal panel of its own.
    QPointer<QuickAddPopover> self(this);
    const auto closingFirst = [self](const std::function<void()> &action) {
        return [self, action] {
            if (self)
                self->close();
            if (action)
                action();
        };
    };
    const AddToGroupMenuActions actions{closingFirst(given.onDockApps), closingFirst(given.onApps),
                                        closingFirst(given.onFiles), closingFirst(given.onFolders)};
    const auto &factory = MainViewFactories::shared().addToGroupMenu;
    QWidget *content = factory ? factory(actions) : plainMenu(actions);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin + arrowHeight);
    layout->addWidget(content);
}

QRectF QuickAddPopover::panelRect() const
{
    const QRectF all(rect());
    return m_arrowOnBottom ? all.adjusted(margin, margin, -margin, -margin - arrowHeight)
                           : all.adjusted(margin, margin + arrowHeight, -margin, -margin);
}

QPainterPath QuickAddPopover::outline() const
{
    const QRectF panel = panelRect();
    QPainterPath path = ContinuousShape::roundedRect(panel, 12);
    // The arrow stays clear of the rounded corners when the panel is pushed aside by a screen edge.
    const qreal x = std::clamp<qreal>(m_arrowX, panel.left() + 12 + arrowHeight, panel.right() - 12 - arrowHeight);
    QPainterPath arrow;
    if (m_arrowOnBottom) {
        arrow.moveTo(x - arrowHeight, panel.bottom() - 1);
        arrow.lineTo(x, panel.bottom() + arrowHeight);
        arrow.lineTo(x + arrowHeight, panel.bottom() - 1);
    } else {
        arrow.moveTo(x - arrowHeight, panel.top() + 1);
        arrow.lineTo(x, panel.top() - arrowHeight);
        arrow.lineTo(x + arrowHeight, panel.top() + 1);
    }
    arrow.closeSubpath();
    return path.united(arrow).simplified();
}

void QuickAddPopover::popup()
{
    adjustSize();
    const QRect anchor(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
    // Above the button, its arrow on the bottom edge pointing down at it: the card's caption under
    // the button stays in sight. Below it only where the screen has no room above.
    QPoint at(anchor.center().x() - width() / 2, anchor.top() - gap - (height() - margin));
    // Inside the window where it fits, so that it reads as the card's; then inside the screen.
    const QRect window = m_anchor->window()->frameGeometry();
    if (window.width() >= width())
        at.setX(std::clamp(at.x(), window.left(), window.right() + 1 - width()));
    if (const QScreen *screen = m_anchor->screen()) {
        const QRect available = screen->availableGeometry();
        if (at.y() + margin < available.top()) {
            m_arrowOnBottom = false;
            // Under what the button keeps in sight below it (the card's caption), not over it.
            at.setY(anchor.bottom() + 1 + m_clearanceBelow + gap - margin);
            if (auto *box = qobject_cast<QVBoxLayout *>(layout()))
                box->setContentsMargins(margin, margin + arrowHeight, margin, margin);
        }
        at.setX(std::clamp(at.x(), available.left(), std::max(available.left(), available.right() - width())));
    }
    m_arrowX = anchor.center().x() - at.x();
    QPointer<QuickAddPopover> self(this);
    FloatingPanel::useTranslucencyOrShape(this, [self](const QSize &) { return self ? self->outline() : QPainterPath(); });
    move(at);
    show();
}

void QuickAddPopover::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const QPainterPath shape = outline();
    for (int i = 1; i <= 4; ++i) {
        QColor shade = AppColors::shadowLg.resolve(appearance);
        shade.setAlphaF(shade.alphaF() / 5);
        QPainterPathStroker spread;
        spread.setWidth(2 * i);
        spread.setJoinStyle(Qt::RoundJoin);
        painter.fillPath(spread.createStroke(shape.translated(0, 2)).united(shape.translated(0, 2)), shade);
    }
    painter.fillPath(shape, AppColors::surfaceElevated.resolve(appearance));
    painter.setPen(QPen(AppColors::borderStrong.resolve(appearance), 1));
    painter.drawPath(shape);
}

void QuickAddPopover::closeEvent(QCloseEvent *event)
{
    emit closed();
    QWidget::closeEvent(event);
}
