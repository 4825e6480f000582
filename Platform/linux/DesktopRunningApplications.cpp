#include "Platform/linux/DesktopRunningApplications.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QStandardPaths>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

namespace {

struct DesktopEntry {
    QString identifier;
    QString path;
    QString name;
    QString windowClass;
};

// The few keys of the main group that identify an application; anything else in the file is ignored.
std::optional<DesktopEntry> readDesktopEntry(const QString &path, const QString &identifier)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    DesktopEntry entry{identifier, path, {}, {}};
    bool inMainGroup = false;
    bool isApplication = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.windowClass = value;
        else if (key == QLatin1String("Type"))
            isApplication = value == QLatin1String("Application");
    }
    if (!isApplication)
        return std::nullopt;
    return entry;
}

// Entries by lower-cased file ID and by lower-cased StartupWMClass; earlier folders win, as in the
// freedesktop lookup order.
struct DesktopEntryIndex {
    QHash<QString, DesktopEntry> byIdentifier;
    QHash<QString, DesktopEntry> byWindowClass;

    DesktopEntryIndex()
    {
        for (const QString &folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
            QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                QString identifier = path.mid(folder.size() + 1);
                identifier.chop(int(sizeof(".desktop") - 1));
                identifier.replace(QLatin1Char('/'), QLatin1Char('-'));
                const std::optional<DesktopEntry> entry = readDesktopEntry(path, identifier);
                if (!entry)
                    continue;
                if (!byIdentifier.contains(identifier.toLower()))
                    byIdentifier.insert(identifier.toLower(), *entry);
                if (!entry->windowClass.isEmpty() && !byWindowClass.contains(entry->windowClass.toLower()))
                    byWindowClass.insert(entry->windowClass.toLower(), *entry);
            }
        }
    }

    std::optional<DesktopEntry> match(const QString &className, const QString &instanceName) const
    {
        for (const QString &candidate : {className.toLower(), instanceName.toLower()}) {
            if (candidate.isEmpty())
                continue;
            if (auto found = byWindowClass.constFind(candidate); found != byWindowClass.cend())
                return *found;
            if (auto found = byIdentifier.constFind(candidate); found != byIdentifier.cend())
                return *found;
        }
        return std::nullopt;
    }
};

struct ClientWindow {
    qint64 pid = 0;
    QString className;
    QString instanceName;
    bool shownInTaskBar = false;
};

bool containsAtom(const xcb_atom_t *atoms, uint32_t count, xcb_atom_t atom)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (atoms[i] == atom)
            return true;
    }
    return false;
}

ClientWindow describeWindow(xcb_ewmh_connection_t &ewmh, xcb_window_t window)
{
    xcb_connection_t *connection = ewmh.connection;
    ClientWindow client;
    uint32_t pid = 0;
    if (xcb_ewmh_get_wm_pid_reply(&ewmh, xcb_ewmh_get_wm_pid(&ewmh, window), &pid, nullptr))
        client.pid = pid;
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (xcb_icccm_get_wm_class_reply(connection, xcb_icccm_get_wm_class(connection, window), &wmClass, nullptr)) {
        client.instanceName = QString::fromLocal8Bit(wmClass.instance_name);
        client.className = QString::fromLocal8Bit(wmClass.class_name);
        xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    }
    bool normal = true;
    xcb_ewmh_get_atoms_reply_t types;
    if (xcb_ewmh_get_wm_window_type_reply(&ewmh, xcb_ewmh_get_wm_window_type(&ewmh, window), &types, nullptr)) {
        normal = types.atoms_len == 0 || containsAtom(types.atoms, types.atoms_len, ewmh._NET_WM_WINDOW_TYPE_NORMAL);
        xcb_ewmh_get_atoms_reply_wipe(&types);
    }
    bool skipTaskBar = false;
    xcb_ewmh_get_atoms_reply_t states;
    if (xcb_ewmh_get_wm_state_reply(&ewmh, xcb_ewmh_get_wm_state(&ewmh, window), &states, nullptr)) {
        skipTaskBar = containsAtom(states.atoms, states.atoms_len, ewmh._NET_WM_STATE_SKIP_TASKBAR);
        xcb_ewmh_get_atoms_reply_wipe(&states);
    }
    client.shownInTaskBar = normal && !skipTaskBar;
    return client;
}

QList<ClientWindow> clientWindows()
{
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    QList<ClientWindow> windows;
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return windows;
    }
    xcb_ewmh_connection_t ewmh;
    if (xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(connection, &ewmh), nullptr)) {
        xcb_ewmh_get_windows_reply_t clients;
        if (xcb_ewmh_get_client_list_reply(&ewmh, xcb_ewmh_get_client_list(&ewmh, screen), &clients, nullptr)) {
            for (uint32_t i = 0; i < clients.windows_len; ++i)
                windows.append(describeWindow(ewmh, clients.windows[i]));
            xcb_ewmh_get_windows_reply_wipe(&clients);
        }
        xcb_ewmh_connection_wipe(&ewmh);
    }
    xcb_disconnect(connection);
    return windows;
}

} // namespace

QList<RunningApplication> DesktopRunningApplications::runningApplications() const
{
    const QList<ClientWindow> windows = clientWindows();
    if (windows.isEmpty())
        return {};
    const DesktopEntryIndex index;
    QList<RunningApplication> applications;
    // One application per process, or per window class when a window does not tell its process.
    QHash<QString, qsizetype> positions;
    for (const ClientWindow &window : windows) {
        const QString key = window.pid > 0 ? QString::number(window.pid) : QLatin1String("class:") + window.className;
        const auto known = positions.constFind(key);
        if (known != positions.cend()) {
            if (window.shownInTaskBar)
                applications[*known].activationPolicy = RunningApplication::ActivationPolicy::Regular;
            continue;
        }
        RunningApplication application;
        application.processIdentifier = window.pid;
        application.localizedName = window.className;
        application.activationPolicy = window.shownInTaskBar ? RunningApplication::ActivationPolicy::Regular
                                                              : RunningApplication::ActivationPolicy::Accessory;
        if (const std::optional<DesktopEntry> entry = index.match(window.className, window.instanceName)) {
            application.bundleIdentifier = entry->identifier;
            application.bundlePath = entry->path;
            if (!entry->name.isEmpty())
                application.localizedName = entry->name;
        }
        positions.insert(key, applications.size());
        applications.append(application);
    }
    return applications;
}

std::optional<QString> DesktopRunningApplications::applicationPath(const QString &bundleIdentifier) const
{
    if (bundleIdentifier.isEmpty() || bundleIdentifier.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, bundleIdentifier + QStringLiteral(".desktop"));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}
