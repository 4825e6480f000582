#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/PictureView.h"

#include <optional>

// Frames the views of items are shown in by the windows (points).
namespace ItemThumbnailFrame {
inline constexpr qreal popupGridSide = 50, popupGridRadius = 10;
inline constexpr qreal popupListSide = 34, popupListRadius = 7;
inline constexpr qreal editorSide = 48, editorRowRadius = 10, editorCellRadius = 12;
inline constexpr qreal cardStripSide = 28, cardStripRadius = 10;
// Items a group card shows before "+N".
inline constexpr int cardStripCount = 5;
} // namespace ItemThumbnailFrame

// One item as a picture filling its frame. An application shows its icon, whole. Any other item
// shows its drawn preview at once and, for the documents the thumbnail cache handles, upgrades to
// the system thumbnail when the cache has one (fetched off the main thread, at 128 points and the
// screen's scale, again when the item or the scale changes). A late answer for an item the view
// no longer shows is dropped.
class ItemThumbnail : public PictureView {
    Q_OBJECT
public:
    static constexpr qreal requestSide = 128;

    explicit ItemThumbnail(const AppItem &app = AppItem(), QWidget *parent = nullptr);

    AppItem app() const { return m_app; }
    void setApp(const AppItem &app);

    // The system thumbnail shown, when one arrived for the current item.
    bool showsRenderedImage() const { return !m_renderedImage.isNull(); }
    // "<path>|<scale>" of the running fetch; empty for items that need none.
    QString taskKey() const { return m_taskKey; }
    qsizetype keptPictureBytes() const override;

protected:
    QImage picture() override;
    Scaling scaling() const override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void releasePictures() override;

private:
    void restartTaskIfNeeded();

    AppItem m_app;
    QImage m_renderedImage;
    std::optional<QImage> m_drawnPreview;
    std::optional<QImage> m_appIcon;
    int m_appIconPixels = 0;
    QString m_taskKey;
    quint64 m_generation = 0;
};

// Has the files of the items other than applications among `items`, and `alsoFiles` (their
// openers, say), looked at beside the main thread, kept or not, and the pictures of their
// previews asked for there: the views that draw them later find them at hand and look at no file,
// and those that drew a file that changed since are told. Returns at once.
void prefetchItemPreviews(const QList<AppItem> &items, const QStringList &alsoFiles = {});

// The cheap variant for dense strips: always the drawn preview (applications included), no fetch.
class CompactItemThumbnail : public PictureView {
    Q_OBJECT
public:
    explicit CompactItemThumbnail(const AppItem &app = AppItem(), QWidget *parent = nullptr);

    AppItem app() const { return m_app; }
    void setApp(const AppItem &app);

protected:
    QImage picture() override;
    Scaling scaling() const override { return Scaling::Fill; }

private:
    // The preview is kept at the size the strip draws it (a drawn preview is 256 pixels square,
    // a strip tile a few dozen), made again when the frame or its pixel ratio changes.
    std::optional<QImage> m_drawnPreview;
    QSize m_drawnFrame;
    qreal m_drawnRatio = 0;
    AppItem m_app;
};
