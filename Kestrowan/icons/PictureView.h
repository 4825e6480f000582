#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

// A picture shown in whatever frame its user gives it: scaled to fill (aspect kept, the frame
// covered, the overflow cut) or to fit (aspect kept, all of it visible), with high-quality
// scaling, clipped to a continuous rounded rectangle when its user asks for a corner radius.
class PictureView : public QWidget {
    Q_OBJECT
public:
    enum class Scaling { Fill, Fit };

    explicit PictureView(QWidget *parent = nullptr);

    // The corner radius of the clip, in points (0: no clip).
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return m_cornerRadius; }

    QSize sizeHint() const override { return QSize(48, 48); }
    // Leaves the view empty in the first frame it is in and draws its picture from the next turn
    // of the event loop on: a window of many pictures is on screen before any is made, and views
    // never shown make none.
    void setDrawsAfterFirstFrame(bool later) { m_drawsLater = later; }
    // Whether the view has drawn (or would now draw) its picture.
    bool drawsPicture() const { return !m_drawsLater || m_firstFrameDone; }
    // What the view shows now, before scaling.
    QImage currentPicture() { return picture(); }
    // `image` as the view draws it now: scaled to the device pixels of its frame. A picture handed
    // over at that size is drawn as it is, so a subclass may keep only that.
    QImage drawnPicture(const QImage &image) const;
    // The bytes of pictures the view holds now (tests).
    virtual qsizetype keptPictureBytes() const { return m_scaled.sizeInBytes(); }

protected:
    // The picture to show now and how; subclasses decide.
    virtual QImage picture() = 0;
    virtual Scaling scaling() const = 0;
    // Subclasses call this when what picture() returns has changed.
    void pictureChanged();
    void paintEvent(QPaintEvent *event) override;
    // Out of sight, the view lets go of what it drew: a window kept between shows (the popup)
    // would otherwise hold a picture per item for good. The caches keep what is worth keeping,
    // within their budgets; shown again, the view draws from them.
    void hideEvent(QHideEvent *event) override;
    // What a subclass keeps of its pictures goes here.
    virtual void releasePictures() {}

private:
    QSize drawnPixels(const QSize &imageSize) const;
    // Lays down the picture already cut to the frame's shape.
    void drawShaped(const QImage &shaped);

    qreal m_cornerRadius = 0;
    bool m_drawsLater = false;
    bool m_firstFrameDone = false;
    bool m_firstFrameQueued = false;
    // The last picture scaled to the device pixels of the frame, so repaints do not scale again.
    QImage m_scaled;
    qint64 m_scaledKey = 0;
    QSize m_scaledFor;
    qreal m_scaledRatio = 0;
};
