#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QIcon>
#include <QWidget>

class ItemThumbnail;
class PointerPlainButton;

// One item in the editor's grid: its thumbnail and name, lit while the pointer is over it, with a
// remove button in the top right corner while hovered. Files, folders and links also carry a badge
// in the bottom right corner with the application that opens them; clicking it starts the choice
// of an opener for that one item. The cell only draws and reports.
class EditorItemCell : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal thumbnailSide = 48;
    // As wide as six columns allow in the narrowest window: a common word stays whole on its line.
    static constexpr qreal nameWidth = 72;
    static constexpr int nameLineCount = 2;

    // `hasOpenerBadge`: only cells of items that are not applications get one.
    EditorItemCell(const AppItem &item, bool hasOpenerBadge, QWidget *parent = nullptr);

    AppItem item() const { return m_item; }
    bool isApplicationCell() const { return !m_badge; }
    // `application`: the opener whose icon it is, drawn again when its icon arrives.
    void setOpener(const QIcon &icon, bool isCustomOpener, const QString &application = QString());
    QIcon openerIcon() const { return m_openerIcon; }
    QString openerApplication() const { return m_openerApplication; }
    bool isCustomOpener() const { return m_isCustomOpener; }

    bool isHovering() const { return m_hovering; }
    // Lit, and its buttons lit, by where the pointer is now.
    void followPointer();
    PointerPlainButton *removeButton() const { return m_remove; }
    PointerPlainButton *openerBadge() const { return m_badge; }
    ItemThumbnail *thumbnail() const { return m_thumbnail; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // Frames inside the cell, for layout and tests.
    QRectF thumbnailRect() const;
    // The name as drawn under the picture: whole on up to two lines, the second cut with "…" only
    // where even two are too few.
    QStringList nameLines() const;

signals:
    void removeClicked();
    void openerClicked();
    void dragStarted();
    void contextMenuRequested(const QPoint &globalPos);
    // The cell's two named accessibility actions.
    void moveUpRequested();
    void moveDownRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void setHovering(bool hovering);

    AppItem m_item;
    ItemThumbnail *m_thumbnail;
    PointerPlainButton *m_remove;
    PointerPlainButton *m_badge = nullptr;
    QIcon m_openerIcon;
    QString m_openerApplication;
    bool m_isCustomOpener = false;
    bool m_hovering = false;
    std::optional<QPoint> m_pressPos;
};
