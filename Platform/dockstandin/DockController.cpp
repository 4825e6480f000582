#include "Platform/dockstandin/DockController.h"

#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/DockOpener.h"
#include "Platform/dockstandin/DockServer.h"
#include "Platform/dockstandin/TapHub.h"
#include "Platform/dockstandin/TileIcons.h"
#include "Platform/dockstandin/TrustPrompt.h"
#include "Platform/dockstandin/X11Struts.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/logging/LoggedText.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>

namespace {

Q_LOGGING_CATEGORY(controllerLog, "com.kestrowan.dock")

// An autohidden bar shows when the pointer reaches this close to its edge, and hides again when the
// pointer has left it by this much.
constexpr int revealStrip = 4;
constexpr int hideMargin = 24;

QString subroleOf(DockTileEntry::Kind kind)
{
    switch (kind) {
    case DockTileEntry::Kind::Application:
        return QStringLiteral("AXApplicationDockItem");
    case DockTileEntry::Kind::Folder:
        return QStringLiteral("AXFolderDockItem");
    case DockTileEntry::Kind::Document:
        return QStringLiteral("AXDocumentDockItem");
    }
    return {};
}

} // namespace

DockController::DockController(DockTilesFile file, DockAccessibilityState *state, TapHub *taps, DockServer *server)
    : m_file(std::move(file))
    , m_state(state)
    , m_taps(taps)
    , m_server(server)
    , m_nextIdentifier(DockWire::firstTileIdentifier)
    , m_pictures(DockLayout::tileSize * 2)
    , m_heldBarEvents(taps, [this](const CGEvent &event) { act(event); })
{
    connect(&m_pictures, &TilePictures::answered, this, &DockController::pictureAnswered);
    connect(&m_bar, &DockBar::pointerEvent, this, &DockController::barEvent);
    // A picture is written in a few steps (a new file, then a rename): one redraw after they settle.
    m_iconRedraw.setSingleShot(true);
    m_iconRedraw.setInterval(100);
    connect(&m_iconRedraw, &QTimer::timeout, this, &DockController::redrawChangedFolderIcons);
    m_fileRetry.setSingleShot(true);
    connect(&m_fileRetry, &QTimer::timeout, this, &DockController::changeFileLater);
    m_picturesArrived.setSingleShot(true);
    // Pictures arrive a few at a time, a thousand of them after a Sync All: the tiles whose
    // pictures came are drawn together at most twenty times a second, not once a few came.
    m_picturesArrived.setInterval(50);
    connect(&m_picturesArrived, &QTimer::timeout, this, &DockController::showArrivedPictures);
    connect(&m_iconWatcher, &QFileSystemWatcher::directoryChanged, this, &DockController::folderChanged);
    // As long as the bar's events wait for the programs after a restart.
    m_runningAwaited.setSingleShot(true);
    m_runningAwaited.setInterval(TapHub::restartWaitMilliseconds);
    connect(&m_runningAwaited, &QTimer::timeout, this, &DockController::forgetUnclaimedRunning);
    connect(&m_iconWatcher, &QFileSystemWatcher::fileChanged, this,
            [this](const QString &file) { folderChanged(QFileInfo(file).path()); });
}

DockController::~DockController() = default;

void DockController::start(const QList<RunningApplicationsFile::Application> &expected)
{
    m_settings = m_file.read();
    if (!m_settings.hasPersistentApps && m_settings.readable) {
        m_offered = offeredApplications();
        changeFile([file = m_file, offered = m_offered] {
            const DockTilesFile::Change change = file.keepFirstApplications(offered);
            if (change == DockTilesFile::Change::Written)
                qCInfo(controllerLog, "First start: keeping %d offered applications in %s", int(offered.size()),
                       qPrintable(file.path()));
            return change;
        }, QStringLiteral("the offered applications"));
    }
    loadTiles();
    expectRunning(expected);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::geometryChanged, this, &DockController::relayout);
    relayout();
    qCInfo(controllerLog, "Dock ready with %d tiles (%s%s)", int(m_tiles.size()), qPrintable(m_settings.orientation),
           m_settings.autohide ? ", hiding" : "");
}

void DockController::tapProgramCame()
{
    m_heldBarEvents.programCame();
}

void DockController::beginServing()
{
    m_serving = true;
    relayout();
}

void DockController::shutdown()
{
    X11Struts::releaseWorkArea();
}

void DockController::loadTiles()
{
    m_kept.clear();
    const QList<DockTileEntry> applications = m_settings.hasPersistentApps ? m_settings.applications : m_offered;
    for (const DockTileEntry &entry : applications + m_settings.others) {
        Tile tile;
        tile.entry = entry;
        if (!QFileInfo::exists(entry.path)) {
            qCInfo(controllerLog, "Leaving out the tile of %s: nothing is there", qPrintable(loggedText(entry.path)));
            continue;
        }
        if (entry.kind == DockTileEntry::Kind::Application) {
            tile.application = ApplicationInfo::fromPath(entry.path);
            if (!tile.application) {
                qCInfo(controllerLog, "Leaving out %s: not an application", qPrintable(loggedText(entry.path)));
                continue;
            }
        }
        const QString fallbackTitle = tile.application ? tile.application->name : QFileInfo(entry.path).fileName();
        tile.title = entry.label.isEmpty() ? fallbackTitle : entry.label;
        tile.icon = TileIcons::standIn(entry, tile.title, DockLayout::tileSize * 2);
        tile.pictureFiles = TileIcons::pictureFiles(entry, tile.application, DockLayout::tileSize * 2);
        tile.identifier = m_nextIdentifier++;
        m_kept.append(tile);
    }
    indexKeptTiles();
    // The tiles are laid out and answered for at once; their own pictures follow as they come.
    m_awaiting.clear();
    m_arrived.clear();
    for (Tile &tile : m_kept)
        askForPicture(tile);
    watchFolderIcons();
    composeTiles();
}

void DockController::askForPicture(Tile &tile)
{
    tile.pictureFile = 0;
    // A file that is not there is not asked for: most folders have no picture of their own.
    while (tile.pictureFile < tile.pictureFiles.size() && !QFileInfo::exists(tile.pictureFiles.at(tile.pictureFile)))
        ++tile.pictureFile;
    if (tile.pictureFile < tile.pictureFiles.size())
        askForFile(tile, tile.pictureFiles.at(tile.pictureFile));
}

void DockController::askForFile(const Tile &tile, const QString &file)
{
    QList<quint64> &awaiting = m_awaiting[file];
    if (!awaiting.contains(tile.identifier))
        awaiting.append(tile.identifier);
    m_pictures.ask(file);
}

void DockController::pictureAnswered(const QString &path, const QImage &picture)
{
    bool redrawn = false;
    for (const quint64 identifier : m_awaiting.take(path)) {
        const qsizetype at = m_keptAt.value(identifier, -1);
        if (at < 0)
            continue; // taken out of the Dock meanwhile
        Tile &tile = m_kept[at];
        if (tile.pictureFiles.value(tile.pictureFile) != path)
            continue;
        QImage shown = picture;
        if (shown.isNull()) {
            // The next file may give one; the stand-in shows until one does.
            if (++tile.pictureFile < tile.pictureFiles.size()) {
                askForFile(tile, tile.pictureFiles.at(tile.pictureFile));
                continue;
            }
            shown = TileIcons::standIn(tile.entry, tile.title, DockLayout::tileSize * 2);
        }
        if (shown == tile.icon)
            continue;
        // A folder's first picture replaces the stand-in it was laid out with: only a picture that
        // replaces another is a change worth a line.
        const bool changed = tile.entry.kind == DockTileEntry::Kind::Folder
            && tile.icon != TileIcons::standIn(tile.entry, tile.title, DockLayout::tileSize * 2);
        tile.icon = shown;
        m_arrived.insert(identifier);
        redrawn = true;
        if (changed)
            qCInfo(controllerLog, "Redrew the tile of %s: its folder's icon changed", qPrintable(loggedText(tile.entry.path)));
    }
    // Started once for the pictures that come meanwhile: started again on each, it would wait for
    // a pause in the answers instead.
    if (redrawn && !m_picturesArrived.isActive())
        m_picturesArrived.start();
}

void DockController::showArrivedPictures()
{
    // A picture changes no tile's place nor what the tiles tell: only the drawing of the tiles whose
    // picture came. Should the tiles have changed meanwhile, they were laid out and drawn whole then.
    for (const quint64 identifier : std::exchange(m_arrived, {})) {
        const qsizetype kept = m_keptAt.value(identifier, -1);
        const qsizetype shown = m_shownAt.value(identifier, -1);
        if (kept < 0 || shown < 0)
            continue;
        m_tiles[shown].icon = m_kept.at(kept).icon;
        m_bar.setTileIcon(int(shown), m_tiles.at(shown).icon);
    }
}

void DockController::watchFolderIcons()
{
    const QStringList watched = m_iconWatcher.files() + m_iconWatcher.directories();
    if (!watched.isEmpty())
        m_iconWatcher.removePaths(watched);
    QStringList paths;
    for (const Tile &tile : std::as_const(m_kept)) {
        if (tile.entry.kind != DockTileEntry::Kind::Folder)
            continue;
        // The folder tells of a picture replaced by a rename; the file of one rewritten in place.
        paths.append(tile.entry.path);
        const QString icon = tile.entry.path + QStringLiteral("/Icon\r");
        if (QFileInfo::exists(icon))
            paths.append(icon);
    }
    if (!paths.isEmpty())
        m_iconWatcher.addPaths(paths);
}

void DockController::folderChanged(const QString &path)
{
    m_changedFolders.insert(QDir::cleanPath(path));
    m_iconRedraw.start();
}

void DockController::redrawChangedFolderIcons()
{
    const QSet<QString> changed = std::exchange(m_changedFolders, {});
    bool redrawn = false;
    for (Tile &tile : m_kept) {
        if (tile.entry.kind != DockTileEntry::Kind::Folder || !changed.contains(QDir::cleanPath(tile.entry.path)))
            continue;
        const QString icon = tile.entry.path + QStringLiteral("/Icon\r");
        // A replaced file is a new one: watch it again.
        if (QFileInfo::exists(icon) && !m_iconWatcher.files().contains(icon))
            m_iconWatcher.addPath(icon);
        if (QFileInfo::exists(icon)) {
            askForPicture(tile);
            continue;
        }
        const QImage standIn = TileIcons::standIn(tile.entry, tile.title, DockLayout::tileSize * 2);
        if (standIn == tile.icon)
            continue;
        tile.icon = standIn;
        redrawn = true;
        qCInfo(controllerLog, "Redrew the tile of %s: its folder's icon is gone", qPrintable(loggedText(tile.entry.path)));
    }
    if (!redrawn)
        return;
    composeTiles();
    relayout();
}

void DockController::indexKeptTiles()
{
    m_keptAt.clear();
    for (qsizetype i = 0; i < m_kept.size(); ++i)
        m_keptAt.insert(m_kept.at(i).identifier, i);
}

void DockController::composeTiles()
{
    m_tiles.clear();
    for (const Tile &tile : std::as_const(m_kept)) {
        if (tile.entry.kind == DockTileEntry::Kind::Application)
            m_tiles.append(tile);
    }
    m_tiles.append(m_running);
    for (const Tile &tile : std::as_const(m_kept)) {
        if (tile.entry.kind != DockTileEntry::Kind::Application)
            m_tiles.append(tile);
    }
    m_shownAt.clear();
    for (qsizetype i = 0; i < m_tiles.size(); ++i)
        m_shownAt.insert(m_tiles.at(i).identifier, i);
}

namespace {

// The kept application tile of a running program, which shows it as running rather than a second
// tile; nullptr when none holds it.
template<typename TileList>
auto *keptTileOf(TileList &kept, const QString &executable)
{
    const QString program = QFileInfo(executable).canonicalFilePath();
    for (auto &tile : kept) {
        if (tile.application && !program.isEmpty() && QFileInfo(tile.application->program).canonicalFilePath() == program)
            return &tile;
    }
    return static_cast<decltype(&kept.first())>(nullptr);
}

} // namespace

DockController::Tile DockController::runningTile(const QString &name, const QString &executable, const QByteArray &icon) const
{
    Tile tile;
    tile.entry.kind = DockTileEntry::Kind::Application;
    tile.entry.path = executable;
    tile.title = name;
    tile.icon = TileIcons::sentPicture(icon, DockLayout::tileSize * 2);
    if (tile.icon.isNull())
        tile.icon = TileIcons::standIn(tile.entry, name, DockLayout::tileSize * 2);
    return tile;
}

void DockController::expectRunning(const QList<RunningApplicationsFile::Application> &expected)
{
    for (const RunningApplicationsFile::Application &application : expected) {
        if (Tile *kept = keptTileOf(m_kept, application.executable)) {
            kept->process = application.process.processIdentifier;
            continue;
        }
        Tile tile = runningTile(application.name, application.executable, application.icon);
        tile.process = application.process.processIdentifier;
        tile.identifier = m_nextIdentifier++;
        m_running.append(tile);
    }
    if (expected.isEmpty())
        return;
    qCInfo(controllerLog, "Expecting %d running applications back", int(expected.size()));
    composeTiles();
    m_runningAwaited.start();
}

void DockController::forgetUnclaimedRunning()
{
    bool changed = false;
    for (Tile &kept : m_kept) {
        if (kept.client == 0 && kept.process != 0) {
            kept.process = 0;
            changed = true;
        }
    }
    const qsizetype before = m_running.size();
    m_running.removeIf([](const Tile &tile) { return tile.client == 0; });
    changed = changed || m_running.size() != before;
    if (!changed)
        return;
    qCInfo(controllerLog, "Running applications that did not come back no longer have a tile");
    m_press = Press{};
    composeTiles();
    relayout();
}

void DockController::regularClientChanged(quint64 client, const QString &name, const QString &executable,
                                          const QByteArray &icon, qint64 process)
{
    // A program the Dock keeps a tile for shows as running on that tile rather than on a second one.
    if (Tile *kept = keptTileOf(m_kept, executable)) {
        if (kept->client == client)
            return;
        kept->client = client;
        kept->process = process;
        composeTiles();
        relayout();
        return;
    }
    Tile tile = runningTile(name, executable, icon);
    tile.client = client;
    tile.process = process;
    for (Tile &shown : m_running) {
        // Its own tile, or the one kept for it since the restart, in the place it had.
        if (shown.client == client || (shown.client == 0 && process != 0 && shown.process == process)) {
            tile.identifier = shown.identifier;
            shown = tile;
            composeTiles();
            relayout();
            return;
        }
    }
    tile.identifier = m_nextIdentifier++;
    m_running.append(tile);
    qCInfo(controllerLog, "Running application %s now has a tile", qPrintable(loggedText(name)));
    composeTiles();
    relayout();
}

void DockController::regularClientGone(quint64 client)
{
    for (Tile &kept : m_kept) {
        if (kept.client == client) {
            kept.client = 0;
            kept.process = 0;
            composeTiles();
            relayout();
            return;
        }
    }
    for (int i = 0; i < m_running.size(); ++i) {
        if (m_running.at(i).client != client)
            continue;
        qCInfo(controllerLog, "Running application %s no longer has a tile", qPrintable(loggedText(m_running.at(i).title)));
        m_running.removeAt(i);
        m_press = Press{};
        composeTiles();
        relayout();
        return;
    }
}

QRect DockController::screenGeometry() const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1440, 900);
}

QPointF DockController::toQuartz(const QPointF &global) const
{
    return global - QPointF(screenGeometry().topLeft());
}

bool DockController::isShown() const
{
    return !m_settings.autohide || m_revealed;
}

void DockController::relayout()
{
    int applications = 0;
    for (const Tile &tile : std::as_const(m_tiles))
        applications += tile.entry.kind == DockTileEntry::Kind::Application ? 1 : 0;
    const QRect screen = screenGeometry();
    m_layout = DockLayout::compute(screen, m_settings.orientation, applications, int(m_tiles.size()) - applications);

    QList<DockBar::Tile> barTiles;
    for (int i = 0; i < m_tiles.size(); ++i)
        barTiles.append({m_layout.tiles.at(i).translated(-m_layout.bar.topLeft()), m_tiles.at(i).icon,
                         m_tiles.at(i).isRunning()});
    std::optional<QRect> separator;
    if (m_layout.separator)
        separator = m_layout.separator->translated(-m_layout.bar.topLeft());
    m_bar.setTiles(barTiles, separator, m_layout.isVertical());
    m_bar.setGeometry(m_layout.bar);
    QRect band;
    if (!m_settings.autohide) {
        if (m_settings.orientation == QLatin1String("left"))
            band = QRect(screen.left(), screen.top(), m_layout.bar.right() + 1 - screen.left(), screen.height());
        else if (m_settings.orientation == QLatin1String("right"))
            band = QRect(m_layout.bar.left(), screen.top(), screen.right() + 1 - m_layout.bar.left(), screen.height());
        else
            band = QRect(screen.left(), m_layout.bar.top(), screen.width(), screen.bottom() + 1 - m_layout.bar.top());
    }
    if (m_serving) {
        X11Struts::reserve(&m_bar, m_settings.orientation, band, screen);
        m_bar.setVisible(isShown());
    }
    publish();
}

void DockController::publish()
{
    QList<AccessibleTile> tiles;
    for (int i = 0; i < m_tiles.size(); ++i) {
        const Tile &tile = m_tiles.at(i);
        const QRectF frame(toQuartz(m_layout.tiles.at(i).topLeft()), QSizeF(m_layout.tiles.at(i).size()));
        tiles.append({tile.identifier, tile.title, subroleOf(tile.entry.kind), tile.entry.path, frame});
    }
    if (m_state->setTiles(tiles, QRectF(toQuartz(m_layout.bar.topLeft()), QSizeF(m_layout.bar.size())), isShown()))
        m_server->publishLayout();
    updateSelection();
}

int DockController::tileAt(const QPointF &quartzPoint) const
{
    const std::optional<quint64> identifier = m_state->tileAt(quartzPoint);
    for (int i = 0; identifier && i < m_tiles.size(); ++i) {
        if (m_tiles.at(i).identifier == *identifier)
            return i;
    }
    return -1;
}

void DockController::updateSelection()
{
    const int tile = m_pointer.x() < 0 ? -1 : tileAt(toQuartz(m_pointer));
    std::optional<quint64> selected;
    if (tile >= 0)
        selected = m_tiles.at(tile).identifier;
    if (!m_state->setSelected(selected))
        return;
    m_bar.setHighlighted(tile);
    if (tile >= 0)
        m_label.showFor(m_tiles.at(tile).title, m_layout.tiles.at(tile), m_settings.orientation);
    else
        m_label.hide();
    m_server->notify(DockWire::listElement, QStringLiteral("AXSelectedChildrenChanged"));
}

bool DockController::updateReveal(const QPoint &position, int buttons)
{
    if (!m_settings.autohide)
        return false;
    const QRect screen = screenGeometry();
    const QRect &bar = m_layout.bar;
    bool atEdge = false;
    if (m_settings.orientation == QLatin1String("left"))
        atEdge = position.x() < screen.left() + revealStrip && position.y() >= bar.top() && position.y() <= bar.bottom();
    else if (m_settings.orientation == QLatin1String("right"))
        atEdge = position.x() > screen.right() - revealStrip && position.y() >= bar.top() && position.y() <= bar.bottom();
    else
        atEdge = position.y() > screen.bottom() - revealStrip && position.x() >= bar.left() && position.x() <= bar.right();
    const bool away = !bar.adjusted(-hideMargin, -hideMargin, hideMargin, hideMargin).contains(position);
    const bool revealed = m_revealed ? !(away && buttons == 0 && !m_press.active) : atEdge;
    if (revealed == m_revealed)
        return false;
    m_revealed = revealed;
    m_bar.setVisible(revealed);
    return true;
}

void DockController::pointerChanged(const QPoint &position, int buttons)
{
    const bool moved = position != m_pointer;
    m_pointer = position;
    m_buttons = buttons;
    if (updateReveal(position, buttons))
        publish();
    else
        updateSelection();
    // Moves with a button held over the bar reach the taps as drags from the bar itself. A move
    // never overtakes a click held for a program's tap.
    if (moved && buttons == 0) {
        CGEvent event;
        event.type = CGEventType::MouseMoved;
        event.location = toQuartz(position);
        m_heldBarEvents.passMove(event);
    }
}

void DockController::barEvent(const CGEvent &event, const QPoint &globalPosition)
{
    CGEvent located = event;
    located.location = toQuartz(globalPosition);
    m_heldBarEvents.pass(located);
}

void DockController::postedEvent(const CGEvent &event, CGEventTapLocation location)
{
    if (m_taps->deliver(event, location))
        act(event);
}

void DockController::act(const CGEvent &event)
{
    switch (event.type) {
    case CGEventType::LeftMouseDown:
        m_press = Press{tileAt(event.location), true};
        break;
    case CGEventType::LeftMouseUp: {
        const Press press = m_press;
        m_press = Press{};
        if (!press.active || press.tile < 0)
            break;
        const int released = tileAt(event.location);
        const QRectF bar(toQuartz(m_layout.bar.topLeft()), QSizeF(m_layout.bar.size()));
        const int margin = DockLayout::tileSize;
        const Tile &pressed = m_tiles.at(press.tile);
        if (released == press.tile && pressed.client != 0)
            m_server->sendToClient(pressed.client, DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::reopen}}));
        else if (released == press.tile && pressed.process != 0 && !pressed.application)
            break; // a running program on its way back to this Dock: nothing to open
        else if (released == press.tile)
            DockOpener::open(pressed.entry, pressed.application);
        else if (pressed.isRunning())
            break; // a running program's tile cannot be dragged out of the Dock
        else if (!bar.adjusted(-margin, -margin, margin, margin).contains(event.location))
            removeTile(press.tile);
        break;
    }
    default:
        break;
    }
}

void DockController::removeTile(int index)
{
    const Tile tile = m_tiles.at(index);
    QList<DockTileEntry> offered;
    for (const Tile &shown : std::as_const(m_kept)) {
        if (shown.entry.kind == DockTileEntry::Kind::Application)
            offered.append(shown.entry);
    }
    changeFile([file = m_file, entry = tile.entry, offered] { return file.removeTile(entry, offered); },
               QStringLiteral("the tile of %1").arg(loggedText(tile.entry.path)));
    qCInfo(controllerLog, "Removed the tile of %s", qPrintable(loggedText(tile.entry.path)));
    for (int i = 0; i < m_kept.size(); ++i) {
        if (m_kept.at(i).identifier == tile.identifier) {
            m_kept.removeAt(i);
            break;
        }
    }
    indexKeptTiles();
    composeTiles();
    relayout();
}

void DockController::changeFile(std::function<DockTilesFile::Change()> change, const QString &what)
{
    m_fileChanges.append(FileChange{std::move(change), what});
    if (!m_fileRetry.isActive())
        changeFileLater();
}

void DockController::changeFileLater()
{
    // Another writer holds the lock only while it writes one file: asked again soon, never waited for.
    while (!m_fileChanges.isEmpty()) {
        const DockTilesFile::Change result = m_fileChanges.first().change();
        if (result == DockTilesFile::Change::Busy) {
            m_fileRetryPause = m_fileRetryPause == 0 ? 2 : qMin(m_fileRetryPause * 2, 50);
            m_fileRetry.start(m_fileRetryPause);
            return;
        }
        m_fileRetryPause = 0;
        const FileChange done = m_fileChanges.takeFirst();
        if (result == DockTilesFile::Change::Failed)
            qCWarning(controllerLog, "Could not write %s into the Dock preferences %s", qPrintable(done.what),
                      qPrintable(m_file.path()));
    }
}

void DockController::promptRequested(const QString &executable)
{
    if (executable.isEmpty() || m_prompting.contains(executable))
        return;
    m_prompting.insert(executable);
    auto *prompt = new TrustPrompt(executable);
    connect(prompt, &QObject::destroyed, this, [this, executable] { m_prompting.remove(executable); });
    prompt->show();
    prompt->raise();
}

