#include "Platform/linux/DockSocketArrival.h"

#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/linux/DockSocketLink.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>

#include <sys/stat.h>

namespace {

Q_LOGGING_CATEGORY(arrivalLog, "com.kestrowan.app.dock")

// Between the socket file's appearance and the Dock's listening lies a moment; a loaded machine
// stretches it. Tried this often, this far apart.
constexpr int connectTries = 40;
constexpr int connectRetryMilliseconds = 25;

} // namespace

DockSocketArrival *DockSocketArrival::shared()
{
    static QPointer<DockSocketArrival> arrival;
    if (!arrival && isEventLoopThread())
        arrival = new DockSocketArrival(QCoreApplication::instance());
    return arrival;
}

DockSocketArrival::DockSocketArrival(QObject *parent)
    : QObject(parent)
    , m_path(DockWire::socketPath())
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(connectRetryMilliseconds);
    connect(&m_retry, &QTimer::timeout, this, &DockSocketArrival::tryConnecting);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DockSocketArrival::folderChanged);
    connect(&m_probe, &QLocalSocket::connected, this, [this] {
        m_probe.abort();
        m_triesLeft = 0;
        emit dockListening();
    });
    connect(&m_probe, &QLocalSocket::errorOccurred, this, [this] {
        if (m_probe.state() == QLocalSocket::ConnectedState)
            return;
        m_probe.abort();
        if (m_triesLeft > 0)
            m_retry.start();
    });
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.addPath(folder))
        qCWarning(arrivalLog, "Cannot watch %s for the Dock's socket; a new Dock is noticed only by polling", qPrintable(folder));
    // The socket there now belongs to a Dock its users already know of.
    m_seen = identityOf(m_path);
}

std::optional<DockSocketArrival::Identity> DockSocketArrival::identityOf(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISSOCK(status.st_mode))
        return std::nullopt;
    return Identity{qint64(status.st_dev), qint64(status.st_ino), qint64(status.st_ctim.tv_sec),
                    qint64(status.st_ctim.tv_nsec)};
}

void DockSocketArrival::folderChanged()
{
    const std::optional<Identity> identity = identityOf(m_path);
    if (identity == m_seen)
        return;
    m_seen = identity;
    if (!identity)
        return;
    m_triesLeft = connectTries;
    tryConnecting();
}

void DockSocketArrival::tryConnecting()
{
    if (m_triesLeft <= 0)
        return;
    --m_triesLeft;
    m_probe.abort();
    m_probe.connectToServer(m_path);
}
