#include "Kestrowan/editor/DockSyncBar.h"

#include "Kestrowan/editor/DockBarButton.h"
#include "Kestrowan/editor/DockStatusChip.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/RoundedSurface.h"

#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr qreal kCorner = 30;

} // namespace

DockSyncBar::DockSyncBar(EditorSyncController *controller, QWidget *parent) : QWidget(parent), m_controller(controller)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(18, 10, 18, 10);
    layout->setSpacing(8);
    m_chip = new DockStatusChip(false);
    m_cancel = new DockBarButton(localized(QStringLiteral("editor.cancelSync")), false);
    m_syncNow = new DockBarButton(localized(QStringLiteral("editor.syncNow")), true);
    m_revert = new DockBarButton(localized(QStringLiteral("editor.revert")), false);
    m_sync = new DockBarButton(QString(), true);
    layout->addWidget(m_chip);
    layout->addStretch(1);
    layout->addWidget(m_cancel);
    layout->addWidget(m_syncNow);
    layout->addWidget(m_revert);
    layout->addWidget(m_sync);

    connect(m_cancel, &QAbstractButton::clicked, controller, &EditorSyncController::cancelAutoSyncCountdown);
    connect(m_syncNow, &QAbstractButton::clicked, controller, [controller] {
        controller->cancelAutoSyncCountdown();
        controller->syncNow();
    });
    connect(m_revert, &QAbstractButton::clicked, controller, &EditorSyncController::revertToOriginal);
    connect(m_sync, &QAbstractButton::clicked, controller, &EditorSyncController::syncNow);
    connect(controller, &EditorSyncController::changed, this, &DockSyncBar::refresh);
    refresh();
}

bool DockSyncBar::isWanted() const
{
    return m_wanted;
}

void DockSyncBar::refresh()
{
    using Bar = EditorSyncController::Bar;
    const Bar bar = m_controller->bar();
    const bool counting = bar == Bar::UnsyncedChanges && m_controller->countdownRemaining() >= 1;
    if (counting)
        m_chip->display(QStringLiteral("%1s").arg(m_controller->countdownRemaining()), AppColors::info);
    else if (bar != Bar::None)
        m_chip->display(localized(m_controller->barChipKey()), AppColors::warning);
    m_cancel->setVisible(counting);
    m_syncNow->setVisible(counting);
    m_revert->setVisible(!counting && m_controller->barOffersRevert());
    m_sync->setVisible(!counting && bar != Bar::None);
    const QString syncKey = bar == Bar::NotInDock ? QStringLiteral("editor.addToDock") : bar == Bar::OutOfDate
                                                                                             ? QStringLiteral("editor.syncUpdate")
                                                                                             : m_controller->barSyncButtonKey();
    const QString syncText = localized(syncKey);
    if (m_sync->text() != syncText) {
        m_sync->setText(syncText);
        m_sync->setAccessibleName(syncText);
        m_sync->updateGeometry();
    }
    const bool wanted = bar != Bar::None;
    if (wanted != m_wanted) {
        m_wanted = wanted;
        emit wantedChanged();
    }
}

void DockSyncBar::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const RoundedSurface surface = RoundedSurface::bar(kCorner, effectiveAppearance(this));
    surface.paintFill(painter, QRectF(rect()));
    surface.paintOutline(painter, QRectF(rect()), event->region());
}
