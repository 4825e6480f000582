#include "Kestrowan/mainwindow/GroupGridPage.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "NVLXDesign/SurfaceShadowEffect.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

GroupGridPage::GroupGridPage(GroupManager &store, SkinManager *skinManager, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_scroll = new QScrollArea(this);
    // Tab goes to the controls inside; the scroll area itself is no stop (it would show nothing).
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A thin indicator in the window's own margin rather than the style's full scroll bar; a
    // neutral grey reads on both appearances.
    m_scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 9px; margin: 4px 2px 4px 0; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.45); border-radius: 3px; min-height: 32px; }"
        "QScrollBar::handle:vertical:hover { background: rgba(128, 128, 128, 0.7); }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    m_scroll->viewport()->setAutoFillBackground(false);
    m_grid = new GroupGrid(store, skinManager);
    m_scroll->setWidget(m_grid);
    // The scroll area paints its content on the window colour; the cards sit on the window's own.
    m_grid->setAutoFillBackground(false);
    layout->addWidget(m_scroll, 1);

    // The bar floats on its own surface with a soft shadow, inset from the window's edges.
    auto *barHolder = new QWidget(this);
    auto *holderLayout = new QHBoxLayout(barHolder);
    holderLayout->setContentsMargins(18, 8, 18, 18);
    auto *bar = new SurfaceFrame([](EffectiveAppearance appearance) { return RoundedSurface::bar(30, appearance); }, barHolder);
    // Made once for the bar's size and look: the sync progress repaints the bar on every step.
    SurfaceShadowEffect::apply(bar, AppColors::shadowLg, 18, QPointF(0, 8));
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(18, 10, 18, 10);
    m_settings = new ToolbarButton(false, bar);
    m_syncAll = new ToolbarButton(true, bar);
    retitle();
    // A change of the interface language shows on this page at once, the cards' drawn texts too.
    connect(&LanguageManager::shared(), &LanguageManager::bundleChanged, this, [this] {
        retitle();
        m_grid->retitle();
    });
    barLayout->addWidget(m_settings, 0, Qt::AlignVCenter);
    barLayout->addStretch(1);
    barLayout->addWidget(m_syncAll, 0, Qt::AlignVCenter);
    holderLayout->addWidget(bar);
    layout->addWidget(barHolder);
    // With no group there is nothing to sync: the bar offers only the settings.
    const auto offerSyncAll = [this, &store] { m_syncAll->setVisible(!store.groups().isEmpty()); };
    connect(&store, &GroupManager::groupsChanged, this, offerSyncAll);
    offerSyncAll();

    // A large sync builds hundreds of folders a second: the count shown keeps a pace that reads
    // the same, and the bar (with the card beneath its shadow) is not drawn again for each.
    m_syncProgressPace.setSingleShot(true);
    m_syncProgressPace.setInterval(progressShownMs);
    connect(&m_syncProgressPace, &QTimer::timeout, this, [this] {
        if (m_syncRunning && m_syncProgress != m_syncProgressShown)
            showSyncAllProgress();
    });
}

void GroupGridPage::retitle()
{
    m_settings->setContent(QStringLiteral("gearshape"), localized(QStringLiteral("settings.title")), AppColors::text2);
    m_settings->setAccessibleName(localized(QStringLiteral("ax.openSettings")));
    m_syncAll->setAccessibleName(localized(QStringLiteral("ax.syncAll")));
    m_syncAll->setAccessibleDescription(localized(QStringLiteral("ax.syncAll.hint")));
    showSyncAllState();
}

void GroupGridPage::setSyncAllDone(bool done)
{
    m_syncDone = done;
    showSyncAllState();
}

void GroupGridPage::setSyncAllProgress(int done, int total)
{
    const bool starting = !m_syncRunning;
    m_syncRunning = true;
    m_syncAll->setEnabled(false);
    m_syncProgress = {done, total};
    if (starting || !m_syncProgressPace.isActive())
        showSyncAllProgress();
}

void GroupGridPage::showSyncAllProgress()
{
    const auto [done, total] = m_syncProgress;
    QString text = localized(QStringLiteral("editor.syncing"));
    if (total > 0)
        text += u' ' + QLocale().toString(done) + u'/' + QLocale().toString(total);
    m_syncAll->setContent(QStringLiteral("arrow.triangle.2.circlepath"), text, AppColors::accent);
    m_syncProgressShown = m_syncProgress;
    m_syncProgressPace.start();
}

void GroupGridPage::finishSyncAll()
{
    m_syncProgressPace.stop();
    m_syncRunning = false;
    m_syncAll->setEnabled(true);
    showSyncAllState();
}

void GroupGridPage::showSyncAllState()
{
    if (m_syncRunning)
        return;
    if (m_syncDone)
        m_syncAll->setContent(QStringLiteral("checkmark"), localized(QStringLiteral("editor.synced")), AppColors::success);
    else
        m_syncAll->setContent(QStringLiteral("arrow.triangle.2.circlepath"), localized(QStringLiteral("main.syncAll")), AppColors::accent);
}
