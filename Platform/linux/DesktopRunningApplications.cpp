#include "Platform/linux/DesktopRunningApplications.h"

#include "Platform/linux/DesktopEntry.h"

#include <QDirIterator>
#include <QHash>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

namespace {

// The few keys of an installed application's entry that identify it.
struct InstalledApplication {
    QString identifier;
    QString path;
    QString name;
    QString windowClass;
};

// Applications by lower-cased file ID and by lower-cased StartupWMClass; earlier folders win, as in
// the freedesktop lookup order.
struct InstalledApplicationIndex {
    QHash<QString, InstalledApplication> byIdentifier;
    QHash<QString, InstalledApplication> byWindowClass;

    InstalledApplicationIndex()
    {
        for (const QString &folder : applicationDirectories()) {
            QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
                if (!entry || entry->value(QStringLiteral("Type")) != QLatin1String("Application"))
                    continue;
                const InstalledApplication application{DesktopEntry::fileIdentifier(path), path, entry->value(QStringLiteral("Name")),
                                                       entry->value(QStringLiteral("StartupWMClass"))};
                if (!byIdentifier.contains(application.identifier.toLower()))
                    byIdentifier.insert(application.identifier.toLower(), application);
                if (!application.windowClass.isEmpty() && !byWindowClass.contains(application.windowClass.toLower()))
                    byWindowClass.insert(application.windowClass.toLower(), application);
            }
        }
    }

    std::optional<InstalledApplication> match(const QString &className, const QString &instanceName) const
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
    const InstalledApplicationIndex index;
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
        if (const std::optional<InstalledApplication> installed = index.match(window.className, window.instanceName)) {
            application.bundleIdentifier = installed->identifier;
            application.bundlePath = installed->path;
            if (!installed->name.isEmpty())
                application.localizedName = installed->name;
        }
        positions.insert(key, applications.size());
        applications.append(application);
    }
    return applications;
}

std::optional<QString> DesktopRunningApplications::applicationPath(const QString &bundleIdentifier) const
{
    if (bundleIdentifier.isEmpty())
        return std::nullopt;
    return installedDesktopEntryPath(bundleIdentifier + QStringLiteral(".desktop"));
}
