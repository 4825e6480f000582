#pragma once

#include <QWidget>

class DockBarButton;
class DockStatusChip;
class EditorSyncController;

// The editor's bottom bar, shown while the page has unsynced changes or the group's tile is
// missing from the Dock or out of date: a chip that says which (or the seconds left before the
// automatic sync) and the buttons that act on it.
class DockSyncBar : public QWidget {
    Q_OBJECT
public:
    explicit DockSyncBar(EditorSyncController *controller, QWidget *parent = nullptr);

    DockStatusChip *chip() const { return m_chip; }
    DockBarButton *cancelButton() const { return m_cancel; }
    DockBarButton *syncNowButton() const { return m_syncNow; }
    DockBarButton *revertButton() const { return m_revert; }
    DockBarButton *syncButton() const { return m_sync; }
    // Whether the bar has anything to say now.
    bool isWanted() const;

signals:
    void wantedChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    EditorSyncController *m_controller;
    DockStatusChip *m_chip;
    DockBarButton *m_cancel;
    DockBarButton *m_syncNow;
    DockBarButton *m_revert;
    DockBarButton *m_sync;
    bool m_wanted = false;
};
