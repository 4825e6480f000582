#pragma once

#include <QTimer>
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
    // While a sync of all groups runs the button says so, with how many folders of how many are
    // built (none known yet: `total` 0), and takes no clicks; `finishSyncAll` ends that. The first
    // count shows at once, later ones at most every `progressShownMs`.
    void setSyncAllProgress(int done, int total);
    void finishSyncAll();
    static constexpr int progressShownMs = 100;

private:
    void showSyncAllState();
    void showSyncAllProgress();
    void retitle();

    GroupGrid *m_grid;
    QScrollArea *m_scroll;
    ToolbarButton *m_settings;
    ToolbarButton *m_syncAll;
    bool m_syncDone = false;
    bool m_syncRunning = false;
    std::pair<int, int> m_syncProgress;
    std::pair<int, int> m_syncProgressShown;
    QTimer m_syncProgressPace;
};
