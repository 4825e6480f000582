#pragma once

#include "Kestrowan/groups/DockReader.h"

#include <QWidget>

// A still picture of a group's popup: the group's name, a search field, the first four Dock
// applications with their shortcut badges and the footer hints. It takes no input.
class MockPopup final : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxItems = 4;
    static constexpr int width = 280;
    MockPopup(const QString &name, const QList<DockReader::DockApp> &dockApps, QWidget *parent = nullptr);
    const QList<DockReader::DockApp> &items() const { return m_items; }
    // "Super+1" to "Super+4", the keys that open those items in the real popup.
    static QString badgeText(int position);
    // Where the item at `index` (from 0) has its icon and its badge.
    QRectF iconRect(int index) const;
    QRectF badgeRect(int index) const;
    // The search field with its prompt, and the band of the footer's hints.
    QRectF searchRect() const;
    QRectF footerRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRectF panelRect() const;

    QString m_name;
    QList<DockReader::DockApp> m_items;
};
