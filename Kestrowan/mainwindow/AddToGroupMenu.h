#pragma once

#include "NVLXDesign/DynamicColor.h"
#include "Kestrowan/shell/PointerPlainButton.h"

#include <QWidget>

#include <functional>

class QVariantAnimation;

// One row of the add-to-group menu: a tinted symbol tile, a title over a subtitle and a chevron,
// with a soft highlight while the pointer is over it. The whole rounded row takes the click.
class AddToGroupMenuRow final : public PointerPlainButton {
    Q_OBJECT
public:
    struct Tile {
        DynamicColor fill;
        qreal fillOpacity;
    };
    AddToGroupMenuRow(const QString &icon, const DynamicColor &iconColor, const Tile &iconBackground, const QString &title,
                      const QString &subtitle, std::function<void()> action, QWidget *parent = nullptr);

    bool isHovering() const { return m_hovering; }
    // How far the highlight has faded in (0 to 1).
    qreal highlight() const { return m_highlight; }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setHovering(bool hovering);

    bool m_hovering = false;
    qreal m_highlight = 0;
    QVariantAnimation *m_fade;
};

// The small panel a group card's quick-add button shows: a title and the four ways of adding items
// (applications from the Dock, installed applications, files, folders). A row only calls its
// callback; the card decides what follows.
class AddToGroupMenu final : public QWidget {
    Q_OBJECT
public:
    static constexpr int menuWidth = 280;

    AddToGroupMenu(std::function<void()> onDockApps, std::function<void()> onApps, std::function<void()> onFiles,
                   std::function<void()> onFolders, QWidget *parent = nullptr);

    QList<AddToGroupMenuRow *> rows() const { return m_rows; }

private:
    QList<AddToGroupMenuRow *> m_rows;
};
