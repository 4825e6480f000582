#pragma once

#include "Kestrowan/groups/DockReader.h"

#include <QWidget>

// The icon of one Dock application at a fixed size, with the running dot when asked.
class AppIconView final : public QWidget {
    Q_OBJECT
public:
    AppIconView(const DockReader::DockApp &app, qreal side, qreal corner, bool running, QWidget *parent = nullptr);
    const DockReader::DockApp &app() const { return m_app; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DockReader::DockApp m_app;
    qreal m_corner;
    bool m_running;
};
