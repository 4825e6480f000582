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
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int margin = 8;

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
    FloatingPanel::useTranslucencyOrShape(this, [](const QSize &size) {
        return ContinuousShape::roundedRect(QRectF(QPointF(0, 0), QSizeF(size)).adjusted(margin, margin, -margin, -margin), 12);
    });
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
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(content);
}

void QuickAddPopover::popup()
{
    adjustSize();
    const QRect anchor(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
    QPoint at(anchor.center().x() - width() / 2, anchor.bottom() + 1);
    // Inside the window where it fits, so that it reads as the card's; then inside the screen.
    const QRect window = m_anchor->window()->frameGeometry();
    if (window.width() >= width())
        at.setX(std::clamp(at.x(), window.left(), window.right() + 1 - width()));
    if (const QScreen *screen = m_anchor->screen()) {
        const QRect available = screen->availableGeometry();
        if (at.y() + height() > available.bottom())
            at.setY(anchor.top() - height());
        at.setX(std::clamp(at.x(), available.left(), std::max(available.left(), available.right() - width())));
    }
    move(at);
    show();
}

void QuickAddPopover::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const QRectF panel = QRectF(rect()).adjusted(margin - 0.5, margin - 0.5, -margin + 0.5, -margin + 0.5);
    for (int i = 1; i <= 4; ++i) {
        QColor shade = AppColors::shadowLg.resolve(appearance);
        shade.setAlphaF(shade.alphaF() / 5);
        painter.fillPath(ContinuousShape::roundedRect(panel.adjusted(-i, -i + 2, i, i + 2), 12 + i), shade);
    }
    const QPainterPath shape = ContinuousShape::roundedRect(panel, 12);
    painter.fillPath(shape, AppColors::surfaceElevated.resolve(appearance));
    painter.setPen(QPen(AppColors::borderStrong.resolve(appearance), 1));
    painter.drawPath(shape);
}

void QuickAddPopover::closeEvent(QCloseEvent *event)
{
    emit closed();
    QWidget::closeEvent(event);
}
