#pragma once

#include <QWidget>

class GroupGrid;
class GroupManager;
class QScrollArea;
class SkinManager;
class ToolbarButton;

// The home page: the scrolling grid of group cards above the bottom bar with the settings button
// and the sync-all button.
class GroupGridPage final : public QWidget {
    Q_OBJECT
public:
    GroupGridPage(GroupManager &store, SkinManager *skinManager, QWidget *parent = nullptr);

    GroupGrid *grid() const { return m_grid; }
    QScrollArea *scrollArea() const { return m_scroll; }
    ToolbarButton *settingsButton() const { return m_settings; }
    ToolbarButton *syncAllButton() const { return m_syncAll; }
    // The sync-all button's done mark.
    void setSyncAllDone(bool done);

private:
    void applyTexts();

    GroupGrid *m_grid;
    QScrollArea *m_scroll;
    ToolbarButton *m_settings;
    ToolbarButton *m_syncAll;
    bool m_syncAllDone = false;
};
