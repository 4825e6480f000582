#include "Kestrowan/icons/GroupIconViews.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"

#include "Platform/FreedMemory.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>


namespace {

// A composition goes through canvases of a megabyte and more, freed again at once, and glibc's heap
// keeps their pages resident; a window of many cards composes many icons, a few per turn of the
// event loop. Once the compositions have settled, the pages go back in one walk of the heap for the
// whole batch (200 cards sit in 2 MiB less); a walk per turn cost as much again each time.
void returnFreedPages()
{
    static QPointer<QTimer> settled;
    if (!QCoreApplication::instance())
        return;
    if (!settled) {
        settled = new QTimer(QCoreApplication::instance());
        settled->setSingleShot(true);
        settled->setInterval(250);
        QObject::connect(settled, &QTimer::timeout, [] { FreedMemory::returnAll(); });
    }
    settled->start();
}

} // namespace

GroupIconView::GroupIconView(qreal side, QWidget *parent) : PictureView(parent), m_side(side)
{
    setCornerRadius(GroupIconFrame::cornerRadius(side));
    setFixedSize(sizeHint());
    // A tile shows its badge while its document's picture is decoded, and the picture once it is in.
    if (PreviewPictures *pictures = PreviewPictures::shared())
        connect(pictures, &PreviewPictures::pictureArrived, this, [this](const QString &path) {
            const QList<AppItem> items = drawnItems();
            const qsizetype tiles = std::min<qsizetype>(items.size(), 4);
            for (qsizetype i = 0; i < tiles; ++i) {
                if (items.at(i).path == path)
                    return inputsChanged();
            }
        });
}

void GroupIconView::setSide(qreal side)
{
    m_side = side;
    setCornerRadius(GroupIconFrame::cornerRadius(side));
    setFixedSize(sizeHint());
    pictureChanged();
}

QSize GroupIconView::sizeHint() const
{
    const int pixels = qRound(m_side);
    return QSize(pixels, pixels);
}

QImage GroupIconView::composedIcon()
{
    ++m_compositions;
    const QStringList pending = pendingPictures();
    m_standIns = QSet<QString>(pending.cbegin(), pending.cend());
    // Application icons and skin layers are decoded out of the program too: an icon drawn with a
    // stand-in for one is drawn again once it arrives. Only the views waiting for a file hear of
    // it: a window of a thousand cards took in each of a Sync All's pictures a thousand times.
    for (const QString &path : pending) {
        ApplicationIcon::awaitArrival(this, path, [this, path] {
            if (m_standIns.remove(path) && m_icon)
                inputsChanged();
        });
    }
    return compose();
}

QImage GroupIconView::keptIcon()
{
    if (!m_icon || m_iconFrame != size() || m_iconRatio != devicePixelRatioF()) {
        m_icon = drawnPicture(composedIcon());
        m_iconFrame = size();
        m_iconRatio = devicePixelRatioF();
        returnFreedPages();
    }
    return *m_icon;
}

QImage GroupIconView::picture()
{
    if (!m_composesLater || m_icon)
        return keptIcon();
    if (!m_compositionQueued) {
        m_compositionQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_compositionQueued = false;
            if (m_icon)
                return;
            keptIcon();
            m_previous = QImage();
            pictureChanged();
        });
    }
    return m_previous;
}

void GroupIconView::inputsChanged()
{
    if (m_composesLater && m_icon)
        m_previous = *m_icon;
    m_icon.reset();
    pictureChanged();
}

ComposedGroupIconView::ComposedGroupIconView(const AppGroup &group, qreal side, SkinManager *skinManager, QWidget *parent)
    : GroupIconView(side, parent), m_group(group), m_skinManager(skinManager)
{
    if (skinManager)
        connect(skinManager, &SkinManager::availableSkinsChanged, this, [this] {
            if (m_group.iconStyle == AppGroup::IconStyle::Skin)
                inputsChanged();
        });
}

void ComposedGroupIconView::setGroup(const AppGroup &group)
{
    // The picture is made of the items, the style and the skin; a new name alone does not make it again.
    const bool newPicture = group.apps != m_group.apps || group.iconStyle != m_group.iconStyle || group.skinId != m_group.skinId;
    m_group = group;
    if (newPicture)
        inputsChanged();
}

std::optional<SkinDefinition> ComposedGroupIconView::chosenSkin() const
{
    if (m_group.iconStyle != AppGroup::IconStyle::Skin || !m_group.skinId || !m_skinManager)
        return std::nullopt;
    return m_skinManager->skinWithID(*m_group.skinId);
}

QList<AppItem> ComposedGroupIconView::drawnItems() const
{
    return m_group.apps;
}

QStringList ComposedGroupIconView::pendingPictures() const
{
    return IconComposer::pendingPictureFiles(m_group.apps, m_group.iconStyle, chosenSkin(), m_skinManager.data());
}

QImage ComposedGroupIconView::compose() const
{
    // The style goes in as stored, retired ones included: mapping them is the store's business.
    return IconComposer::composeGroupIcon(m_group.apps, m_group.iconStyle, chosenSkin(), m_skinManager.data());
}

IconStylePreview::IconStylePreview(const QList<AppItem> &apps, AppGroup::IconStyle style, qreal side,
                                   const std::optional<SkinDefinition> &skin, SkinManager *skinManager, QWidget *parent)
    : GroupIconView(side, parent), m_apps(apps), m_style(style), m_skin(skin), m_skinManager(skinManager)
{
}

void IconStylePreview::setApps(const QList<AppItem> &apps)
{
    if (apps == m_apps)
        return;
    m_apps = apps;
    inputsChanged();
}

QList<AppItem> IconStylePreview::drawnItems() const
{
    return m_apps;
}

QStringList IconStylePreview::pendingPictures() const
{
    return IconComposer::pendingPictureFiles(m_apps, m_style, m_skin, m_skinManager.data());
}

QImage IconStylePreview::compose() const
{
    return IconComposer::composeGroupIcon(m_apps, m_style, m_skin, m_skinManager.data());
}
