#include "Kestrowan/icons/ItemThumbnail.h"

#include "Kestrowan/icons/ApplicationIcon.h"

#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/ThumbnailCache.h"

#include "Platform/SeenPaths.h"
#include "Platform/Workspace.h"

#include <QIcon>

namespace {

// A scale as a decimal number that always shows its fraction: 2 gives "2.0", 1.25 gives "1.25".
QString scaleText(qreal scale)
{
    QString text = QString::number(scale, 'g', 15);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

} // namespace

namespace {

// Runs `redraw` whenever the picture of the document at the path that `path` gives arrives.
void followPictures(QObject *view, std::function<QString()> path, std::function<void()> redraw)
{
    if (PreviewPictures *pictures = PreviewPictures::shared())
        QObject::connect(pictures, &PreviewPictures::pictureArrived, view, [path, redraw](const QString &arrived) {
            if (arrived == path())
                redraw();
        });
}

} // namespace

ItemThumbnail::ItemThumbnail(const AppItem &app, QWidget *parent) : PictureView(parent), m_app(app)
{
    followPictures(this, [this] { return m_app.path; }, [this] {
        m_drawnPreview.reset();
        if (m_renderedImage.isNull())
            pictureChanged();
    });
}

void ItemThumbnail::setApp(const AppItem &app)
{
    if (app == m_app)
        return;
    m_app = app;
    m_drawnPreview.reset();
    m_appIcon.reset();
    m_renderedImage = QImage();
    m_taskKey.clear();
    ++m_generation; // whatever is still on its way belongs to the previous item
    pictureChanged();
    if (isVisible())
        restartTaskIfNeeded();
}

PictureView::Scaling ItemThumbnail::scaling() const
{
    return m_app.isApplication() ? Scaling::Fit : Scaling::Fill;
}

QImage ItemThumbnail::picture()
{
    if (m_app.isApplication()) {
        // At the pixels the frame has on this screen: icons are kept at the sizes drawn.
        const int pixels = qMax(1, qRound(qMax(width(), height()) * devicePixelRatioF()));
        if (!m_appIcon || m_appIconPixels != pixels) {
            const ApplicationIcon::Picture icon = ApplicationIcon::of(m_app, pixels);
            m_appIcon = icon.image;
            m_appIconPixels = pixels;
            if (icon.pendingFile) {
                ApplicationIcon::awaitArrival(this, *icon.pendingFile, [this] {
                    m_appIcon.reset();
                    pictureChanged();
                });
            }
        }
        return *m_appIcon;
    }
    if (!m_renderedImage.isNull())
        return m_renderedImage;
    if (!m_drawnPreview) {
        // From what is kept of the file: the main thread looks at none of a popup's documents.
        const KeptItemThumbnail kept = keptItemThumbnail(m_app);
        m_drawnPreview = kept.image;
        if (kept.followFile) {
            ApplicationIcon::awaitArrival(this, *kept.followFile, [this] {
                m_drawnPreview.reset();
                if (m_renderedImage.isNull())
                    pictureChanged();
            });
        }
    }
    return *m_drawnPreview;
}

void ItemThumbnail::releasePictures()
{
    // Made again from the preview caches when next drawn. The system thumbnail stays: it is the
    // thumbnail cache's own picture (shared, not copied), and fetching it again would show the
    // badge for a moment at every show.
    m_drawnPreview.reset();
    m_appIcon.reset();
}

qsizetype ItemThumbnail::keptPictureBytes() const
{
    return PictureView::keptPictureBytes() + (m_drawnPreview ? m_drawnPreview->sizeInBytes() : 0)
        + (m_appIcon ? m_appIcon->sizeInBytes() : 0);
}

void ItemThumbnail::showEvent(QShowEvent *event)
{
    PictureView::showEvent(event);
    restartTaskIfNeeded();
}

void ItemThumbnail::paintEvent(QPaintEvent *event)
{
    // A move to a screen of another scale shows up here first.
    restartTaskIfNeeded();
    PictureView::paintEvent(event);
}

void ItemThumbnail::restartTaskIfNeeded()
{
    if (m_app.isApplication()) {
        m_taskKey.clear();
        return;
    }
    const qreal scale = devicePixelRatioF();
    const QString key = m_app.path + QLatin1Char('|') + scaleText(scale);
    if (key == m_taskKey)
        return;
    m_taskKey = key;
    const quint64 generation = ++m_generation;
    if (!m_renderedImage.isNull()) {
        m_renderedImage = QImage(); // the drawn preview shows while the new one is fetched
        pictureChanged();
    }
    const QUrl url = m_app.itemURL();
    if (!ThumbnailCache::handles(url))
        return;
    ThumbnailCache::shared().thumbnail(url, QSizeF(requestSide, requestSide), scale, this,
                                       [this, generation](const QImage &image) {
                                           if (generation != m_generation)
                                               return; // a late answer for what this view showed before
                                           m_renderedImage = image;
                                           pictureChanged();
                                       });
}

CompactItemThumbnail::CompactItemThumbnail(const AppItem &app, QWidget *parent) : PictureView(parent), m_app(app)
{
    followPictures(this, [this] { return m_app.path; }, [this] {
        m_drawnPreview.reset();
        pictureChanged();
    });
}

void CompactItemThumbnail::setApp(const AppItem &app)
{
    if (app == m_app)
        return;
    m_app = app;
    m_drawnPreview.reset();
    pictureChanged();
}

QImage CompactItemThumbnail::picture()
{
    if (!m_drawnPreview || m_drawnFrame != size() || m_drawnRatio != devicePixelRatioF()) {
        const std::optional<QString> pendingFile =
            m_app.isApplication() ? Workspace::shared().pendingIconFile(m_app.path, ItemPreview::appIconPixels()) : std::nullopt;
        if (pendingFile) {
            ApplicationIcon::awaitArrival(this, *pendingFile, [this] {
                m_drawnPreview.reset();
                pictureChanged();
            });
        }
        m_drawnPreview = drawnPicture(itemThumbnail(m_app));
        m_drawnFrame = size();
        m_drawnRatio = devicePixelRatioF();
    }
    return *m_drawnPreview;
}

void prefetchItemPreviews(const QList<AppItem> &items, const QStringList &alsoFiles)
{
    QStringList paths;
    for (const AppItem &item : items) {
        if (!item.isApplication() && item.itemURL().isLocalFile())
            paths.append(item.path);
    }
    paths += alsoFiles;
    paths.removeDuplicates();
    // Made here, on the main thread, for the thread beside to find.
    if (paths.isEmpty() || !PreviewPictures::shared())
        return;
    SeenPaths::prepare(paths, [](const QString &path, const SeenPaths::Seen &seen) {
        const std::optional<PreviewPictures::Kind> kind = PreviewPictures::kindForExtension(ItemPreview::pathExtension(path));
        if (PreviewPictures *pictures = PreviewPictures::shared(); kind && seen.isFile && pictures)
            pictures->lookupSeen(*kind, path, seen.stamp, true);
    });
}
