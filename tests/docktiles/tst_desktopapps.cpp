#include "Platform/linux/DesktopRunningApplications.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

using Policy = RunningApplication::ActivationPolicy;

namespace {

QString writeDesktopEntry(const QString &fileName, const QByteArray &content)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + fileName);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(content);
    return file.fileName();
}

} // namespace

// Plays the window manager: client windows with their class, process and state, listed on the root.
class ClientWindows {
public:
    ClientWindows()
    {
        m_connection = xcb_connect(nullptr, &m_screenNumber);
        m_ok = !xcb_connection_has_error(m_connection)
            && xcb_ewmh_init_atoms_replies(&m_ewmh, xcb_ewmh_init_atoms(m_connection, &m_ewmh), nullptr);
    }
    ~ClientWindows()
    {
        if (m_ok) {
            xcb_delete_property(m_connection, m_ewmh.screens[m_screenNumber]->root, m_ewmh._NET_CLIENT_LIST);
            xcb_flush(m_connection);
            xcb_ewmh_connection_wipe(&m_ewmh);
        }
        xcb_disconnect(m_connection);
    }
    bool ok() const { return m_ok; }

    void add(const QByteArray &instanceAndClass, uint32_t pid, bool skipTaskBar, bool dialog = false)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_screen_t *screen = m_ewmh.screens[m_screenNumber];
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_icccm_set_wm_class(m_connection, window, uint32_t(instanceAndClass.size()), instanceAndClass.constData());
        if (pid)
            xcb_ewmh_set_wm_pid(&m_ewmh, window, pid);
        if (skipTaskBar) {
            xcb_atom_t state = m_ewmh._NET_WM_STATE_SKIP_TASKBAR;
            xcb_ewmh_set_wm_state(&m_ewmh, window, 1, &state);
        }
        if (dialog) {
            xcb_atom_t type = m_ewmh._NET_WM_WINDOW_TYPE_DIALOG;
            xcb_ewmh_set_wm_window_type(&m_ewmh, window, 1, &type);
        }
        m_windows.push_back(window);
        xcb_ewmh_set_client_list(&m_ewmh, m_screenNumber, uint32_t(m_windows.size()), m_windows.data());
        waitUntilApplied();
    }

private:
    // A round trip: every request sent before it has been handled by the server.
    void waitUntilApplied() { free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_connection_t *m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    int m_screenNumber = 0;
    bool m_ok = false;
    std::vector<xcb_window_t> m_windows;
};

class TestDesktopApps : public QObject {
    Q_OBJECT

private slots:
    void applicationsAreFoundByTheirDesktopEntry()
    {
        const QString editor = writeDesktopEntry(QStringLiteral("org.example.Editor.desktop"),
                                                 "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor\n");
        writeDesktopEntry(QStringLiteral("org.example.Link.desktop"), "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org\n");
        const DesktopRunningApplications workspace;
        QCOMPARE(workspace.applicationPath(QStringLiteral("org.example.Editor")), std::optional<QString>(editor));
        QCOMPARE(workspace.applicationPath(QStringLiteral("org.example.Missing")), std::nullopt);
        QCOMPARE(workspace.applicationPath(QStringLiteral("../applications/org.example.Editor")), std::nullopt);
        QCOMPARE(workspace.applicationPath(QString()), std::nullopt);
    }

    void runningApplicationsAreTheClientWindowsByProcess()
    {
        ClientWindows windows;
        if (!windows.ok())
            QSKIP("no X server");
        const QString editor = writeDesktopEntry(QStringLiteral("org.example.Editor.desktop"),
                                                 "[Desktop Entry]\nName=Editor\nStartupWMClass=ExampleEditor\nType=Application\n"
                                                 "[Desktop Action New]\nName=Not the name\n");
        const QString viewer = writeDesktopEntry(QStringLiteral("viewer.desktop"), "[Desktop Entry]\nType=Application\nName=Viewer\n");

        windows.add(QByteArray("exampleeditor\0ExampleEditor\0", 28), 1000, false);
        windows.add(QByteArray("viewer\0Viewer\0", 14), 2000, true);
        windows.add(QByteArray("exampleeditor\0ExampleEditor\0", 28), 1000, true);
        windows.add(QByteArray("unknown\0Unknown\0", 16), 3000, false);
        windows.add(QByteArray("viewer\0Viewer\0", 14), 2000, false, true);

        const QList<RunningApplication> running = DesktopRunningApplications().runningApplications();
        QCOMPARE(running.size(), 3);
        QCOMPARE(running[0].bundleIdentifier, QStringLiteral("org.example.Editor"));
        QCOMPARE(running[0].localizedName, QStringLiteral("Editor"));
        QCOMPARE(running[0].bundlePath, editor);
        QCOMPARE(running[0].processIdentifier, 1000);
        QCOMPARE(running[0].activationPolicy, Policy::Regular);
        QCOMPARE(running[1].bundleIdentifier, QStringLiteral("viewer"));
        QCOMPARE(running[1].bundlePath, viewer);
        QCOMPARE(running[1].activationPolicy, Policy::Accessory); // only a dialog and a window kept out of task bars
        QCOMPARE(running[2].bundleIdentifier, QString());
        QCOMPARE(running[2].localizedName, QStringLiteral("Unknown"));
        QCOMPARE(running[2].activationPolicy, Policy::Regular);
    }
};

KESTROWAN_TEST_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"
