#include "tests/dock/StandinDockSession.h"

#include "Platform/Accessibility.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "tests/standin/DockPreferencesWriter.h"
#include "tests/support/StoppedProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <sys/prctl.h>

namespace {

// A sanitizer build on a busy machine starts the Dock slowly, and the old one takes its time to go.
constexpr int startTimeoutMilliseconds = 60000;

} // namespace

StandinDockSession::StandinDockSession()
    : home(QDir::homePath())
    , preferences(home + QStringLiteral("/Library/Preferences/com.apple.dock.plist"))
    , openLog(home + QStringLiteral("/opened.log"))
{
    qputenv("KESTROWAN_DOCK_OPEN_LOG", openLog.toUtf8());
    TrustStore::grant(TrustStore::executableOfThisProcess());
}

StandinDockSession::~StandinDockSession()
{
    end();
}

void StandinDockSession::end()
{
    if (m_keeper.state() == QProcess::NotRunning)
        return;
    resume();
    m_endedPid = m_pid;
    m_keeper.terminate();
    if (!m_keeper.waitForFinished(20000)) {
        m_keeper.kill();
        m_keeper.waitForFinished();
        if (m_pid > 0)
            ::kill(pid_t(m_pid), SIGKILL);
    }
    m_pid = 0;
}

QString StandinDockSession::makeFolder(const QString &relativePath)
{
    const QString folder = home + u'/' + relativePath;
    QDir().mkpath(folder);
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 190, 60));
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);
    painter.setBrush(QColor(70, 150, 230));
    painter.drawRoundedRect(QRectF(64, 64, 128, 128), 24, 24);
    painter.end();
    image.save(folder + QStringLiteral("/Icon\r"), "PNG");
    return folder;
}

QString StandinDockSession::makeGroupFolder(const QString &groupName, const QUuid &groupID)
{
    const QString folder = makeFolder(QStringLiteral(".local/share/Kestrowan/Groups/") + groupName);
    QFile id(folder + QStringLiteral("/.group_id"));
    if (id.open(QIODevice::WriteOnly))
        id.write(groupID.toString(QUuid::WithoutBraces).toUpper().toUtf8());
    return folder;
}

QString StandinDockSession::makeApplication(const QString &name)
{
    QDir().mkpath(home + QStringLiteral("/Applications"));
    const QString path = home + QStringLiteral("/Applications/") + name.toLower() + QStringLiteral(".desktop");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=/bin/true %U\n");
    return path;
}

void StandinDockSession::writePreferences(const QString &orientation, bool autohide, const QStringList &applications,
                                          const QStringList &folders)
{
    writeDockPreferences(preferences, orientation, autohide, applications, folders);
}

qint64 StandinDockSession::start()
{
    m_keeper.setProgram(QStringLiteral(KESTROWAN_DOCK_KEEPER));
    m_keeper.setProcessChannelMode(QProcess::ForwardedChannels);
    if (!requestLog.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.kestrowan.dock.server.debug=true"));
        m_keeper.setProcessEnvironment(environment);
        m_keeper.setProcessChannelMode(QProcess::SeparateChannels);
        m_keeper.setStandardOutputFile(requestLog, QIODevice::Append);
        m_keeper.setStandardErrorFile(requestLog, QIODevice::Append);
    }
    // Left running after a crash, the keeper and its Dock would keep CTest waiting on the output.
    m_keeper.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_keeper.start();
    if (!m_keeper.waitForStarted())
        return 0;
    // What this process last knew of the Dock may still name the one ended before.
    m_pid = waitForDock(m_endedPid);
    return m_pid;
}

qint64 StandinDockSession::restart()
{
    // The keeper may have brought a new Dock up meanwhile: end the one that runs now.
    const qint64 previous = Accessibility::shared().dockProcessIdentifier().value_or(m_pid);
    if (previous <= 0 || ::kill(pid_t(previous), SIGTERM) != 0)
        return 0;
    m_pid = waitForDock(previous);
    return m_pid;
}

qint64 StandinDockSession::restartStopped()
{
    return restartUntilListening(true);
}

qint64 StandinDockSession::restartUntilListening(bool stopIt)
{
    const qint64 previous = m_pid;
    if (previous <= 0 || ::kill(pid_t(previous), SIGTERM) != 0)
        return 0;
    m_pid = 0;
    const QDeadlineTimer deadline(startTimeoutMilliseconds);
    while (!deadline.hasExpired() && m_pid == 0) {
        const qint64 listening = listeningDockOtherThan(previous);
        if (listening > 0 && (!stopIt || StoppedProcess::stop(listening)))
            m_pid = listening;
        if (m_pid == 0)
            QThread::msleep(stopIt ? 5 : 1);
    }
    return m_pid;
}

qint64 StandinDockSession::listeningDockOtherThan(qint64 previous)
{
    const QByteArray path = QFile::encodeName(DockWire::socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return 0;
    std::copy(path.begin(), path.end(), address.sun_path);
    // The process that listens is the one the credentials of a connection name.
    qint64 listening = 0;
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor >= 0 && ::connect(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0) {
        const std::optional<DockWire::PeerCredentials> peer = DockWire::peerCredentials(descriptor);
        if (peer && peer->processIdentifier > 0 && peer->processIdentifier != previous)
            listening = peer->processIdentifier;
    }
    if (descriptor >= 0)
        ::close(descriptor);
    return listening;
}

bool StandinDockSession::stop()
{
    return StoppedProcess::stop(m_pid);
}

bool StandinDockSession::resume()
{
    return m_pid > 0 && ::kill(pid_t(m_pid), SIGCONT) == 0;
}

qint64 StandinDockSession::waitForDock(qint64 previous)
{
    const QDeadlineTimer deadline(startTimeoutMilliseconds);
    while (!deadline.hasExpired()) {
        const qint64 pid = Accessibility::shared().dockProcessIdentifier().value_or(0);
        if (pid > 0 && pid != previous)
            return pid;
        QTest::qWait(50);
    }
    return 0;
}

QStringList StandinDockSession::opened() const
{
    QFile file(openLog);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}
