#pragma once

#include "Platform/EventTaps.h"
#include "Platform/dockstandin/ApplicationInfo.h"
#include "Platform/dockstandin/DockBar.h"
#include "Platform/dockstandin/DockLayout.h"
#include "Platform/dockstandin/DockTilesFile.h"
#include "Platform/dockstandin/HeldBarEvents.h"
#include "Platform/dockstandin/RunningApplicationsFile.h"
#include "Platform/dockstandin/TilePictures.h"
#include "Platform/dockstandin/TileLabel.h"

#include <QFileSystemWatcher>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QHash>
#include <QSet>
#include <QTimer>

#include <functional>
#include <optional>

class DockAccessibilityState;
class DockServer;
class TapHub;

// The Dock's main-thread side: reads the preferences once at start, lays the tiles out, keeps the
// Accessibility tree and the selection current, runs every pointer event through the taps and acts
// on those that pass: a click opens the tile, a tile dragged off the bar leaves the Dock.
class DockController : public QObject {
    Q_OBJECT
public:
    DockController(DockTilesFile file, DockAccessibilityState *state, TapHub *taps, DockServer *server);
    ~DockController() override;

    // Reads the tiles and lays out the tree, to be asked for; nothing shows yet. The running
    // applications the Dock before this one showed, which still run, have their tiles from this
    // first layout on, for the moment they take to tell this Dock again.
    void start(const QList<RunningApplicationsFile::Application> &expected = {});
    // From the socket: a program installed an active tap, maybe one the bar's events wait for.
    void tapProgramCame();
    // Once the socket listens: the bar shows and reserves its screen area. A program that follows
    // the screen's area (and with it a restarted Dock) finds the Dock answering when it looks.
    void beginServing();
    void shutdown();

    // From the pointer watcher: root coordinates and the core button mask.
    void pointerChanged(const QPoint &position, int buttons);
    void postedEvent(const CGEvent &event, CGEventTapLocation location);
    void promptRequested(const QString &executable);
    // Running applications whose activation policy is regular get a tile after the kept ones.
    void regularClientChanged(quint64 client, const QString &name, const QString &executable, const QByteArray &icon,
                              qint64 process);
    void regularClientGone(quint64 client);

private:
    struct Tile {
        DockTileEntry entry;
        std::optional<ApplicationInfo> application;
        QString title;
        QImage icon;
        // The files that may give the tile its own picture, and the one asked for now.
        QStringList pictureFiles;
        int pictureFile = 0;
        quint64 identifier = 0;
        quint64 client = 0; // the running program behind a running-application tile
        qint64 process = 0; // its process, also while it is awaited after a restart
        bool isRunning() const { return client != 0 || process != 0; }
    };
    struct Press {
        int tile = -1;
        bool active = false;
    };

    void loadTiles();
    // Running-application tiles for the applications a restart left to come back, in their places.
    void expectRunning(const QList<RunningApplicationsFile::Application> &expected);
    // A tile for a running application that the kept tiles do not hold.
    Tile runningTile(const QString &name, const QString &executable, const QByteArray &icon) const;
    // Takes away the tiles of expected applications that have not come back in time.
    void forgetUnclaimedRunning();
    // Asks for a tile's own picture from its first file on; its stand-in shows meanwhile.
    void askForPicture(Tile &tile);
    void askForFile(const Tile &tile, const QString &file);
    void pictureAnswered(const QString &path, const QImage &picture);
    void watchFolderIcons();
    void folderChanged(const QString &path);
    void redrawChangedFolderIcons();
    void showArrivedPictures();
    void composeTiles();
    void indexKeptTiles();
    void relayout();
    void publish();
    void barEvent(const CGEvent &event, const QPoint &globalPosition);
    void act(const CGEvent &event);
    void removeTile(int index);
    // Makes a change of the preferences file now, or once the writer that holds its lock is done;
    // changes are made in the order asked. `what` names it in the log.
    void changeFile(std::function<DockTilesFile::Change()> change, const QString &what);
    void changeFileLater();
    void updateSelection();
    bool updateReveal(const QPoint &position, int buttons);
    int tileAt(const QPointF &quartzPoint) const;
    bool isShown() const;
    QPointF toQuartz(const QPointF &global) const;
    QRect screenGeometry() const;

    DockTilesFile m_file;
    DockAccessibilityState *m_state;
    TapHub *m_taps;
    DockServer *m_server;
    DockSettings m_settings;
    QList<DockTileEntry> m_offered;
    QList<Tile> m_kept;    // from the preferences, in their order
    QList<Tile> m_running; // in the order the programs became regular
    QTimer m_runningAwaited;
    QList<Tile> m_tiles;   // kept applications, running ones, then the others
    // Where each tile stands in m_kept and in m_tiles, by identifier.
    QHash<quint64, qsizetype> m_keptAt;
    QHash<quint64, qsizetype> m_shownAt;
    DockLayout m_layout;
    DockBar m_bar;
    TileLabel m_label;
    QPoint m_pointer{-1, -1};
    int m_buttons = 0;
    bool m_revealed = false;
    bool m_serving = false;
    Press m_press;
    quint64 m_nextIdentifier;
    QSet<QString> m_prompting;
    // The folders of folder tiles and their "Icon\r" pictures: a new picture is drawn at once, as
    // the platform's Dock notices a folder's new icon without a restart.
    QFileSystemWatcher m_iconWatcher;
    QTimer m_iconRedraw;
    QSet<QString> m_changedFolders;
    TilePictures m_pictures;
    // The kept tiles that wait for the answer of each picture file asked for, by identifier: an
    // answer goes to those tiles alone, however many tiles the bar holds.
    QHash<QString, QList<quint64>> m_awaiting;
    // The tiles whose picture changed since the bar last drew them.
    QSet<quint64> m_arrived;
    // Pictures come one by one, often many in one turn of the event loop (after a start, or when a
    // program rewrites its folders' icons): they are shown together once that turn is over.
    QTimer m_picturesArrived;
    HeldBarEvents m_heldBarEvents;
    struct FileChange {
        std::function<DockTilesFile::Change()> change;
        QString what;
    };
    // Changes of the preferences file that wait for another writer's lock, and the timer that asks again.
    QList<FileChange> m_fileChanges;
    QTimer m_fileRetry;
    int m_fileRetryPause = 0;
};
