// The stand-in Dock end to end, on a real X server: the keeper and the Dock run as separate
// processes, and the test talks to them only through the program's own adapters.

#include "Platform/dockstandin/TapClientsFile.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/DockSocketAccessibility.h"
#include "Platform/linux/DockSocketEventTaps.h"
#include "tests/app/X11Windows.h"
#include "tests/standin/DockPreferencesWriter.h"
#include "tests/standin/DockTreeAnswer.h"
#include "tests/standin/WindowDamage.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QLocalSocket>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QCborMap>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <functional>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <future>
#include <thread>

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <fcntl.h>

namespace {

constexpr qint64 marker = 0x4B535457;
constexpr quint64 buttonMask = 0x2600005E;
constexpr int startTimeout = 20000;
// The keeper takes a Dock that ends sooner than this after its start for one that keeps crashing,
// and starts the next one later and later.
constexpr int keeperQuickExit = 2100;
// How many times in a row the moments right after a restart are tried.
constexpr int restartTrials = 10;

struct TileRead {
    AXUIElement element;
    QString title;
    QString subrole;
    QUrl url;
    QRectF frame;
};

QPoint centre(const QRectF &frame)
{
    return frame.center().toPoint();
}

// A group's composed picture, as the program writes it into its folder's "Icon\r".
void writeGroupIcon(const QString &folder)
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(250, 190, 60));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);
    const QColor colours[] = {QColor(220, 70, 70), QColor(70, 150, 230), QColor(80, 190, 110), QColor(150, 90, 210)};
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(colours[i]);
        painter.drawRoundedRect(QRectF(40 + (i % 2) * 96, 40 + (i / 2) * 96, 80, 80), 18, 18);
    }
    painter.end();
    QVERIFY(image.save(folder + QStringLiteral("/Icon\r"), "PNG"));
}

// A memory figure of a process from its status, in bytes ("VmRSS:" what it holds now, "VmHWM:" the
// most it has held); 0 when it cannot be read.
qint64 statusBytes(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

qint64 residentBytes(qint64 pid)
{
    return statusBytes(pid, "VmRSS:");
}

qint64 peakResidentBytes(qint64 pid)
{
    return statusBytes(pid, "VmHWM:");
}

// A scalable picture small enough to be taken for an icon that takes Qt far longer to draw than a
// Dock may take to start: six levels of groups, each drawing the one below ten times.
QByteArray slowDrawing()
{
    QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='128' height='128'>"
                     "<g id='l0'><path d='M1 1 C 40 90 90 40 120 120 S 10 60 64 2 Z' fill='#3a6' stroke='#123' stroke-width='3' opacity='0.5'/></g>";
    for (int level = 1; level <= 6; ++level) {
        svg += "<g id='l" + QByteArray::number(level) + "' opacity='0.99'>";
        for (int i = 0; i < 10; ++i)
            svg += "<use xlink:href='#l" + QByteArray::number(level - 1) + "' x='" + QByteArray::number(i % 3) + "'/>";
        svg += "</g>";
    }
    svg += "</svg>";
    return svg;
}

// A folder's picture of one colour, written to a new file and renamed over the old one, as the
// program writes a group's picture.
bool writeFolderPicture(const QString &folder, const QColor &colour)
{
    QImage picture(256, 256, QImage::Format_ARGB32_Premultiplied);
    picture.fill(colour);
    QSaveFile replaced(folder + QStringLiteral("/Icon\r"));
    return replaced.open(QIODevice::WriteOnly) && picture.save(&replaced, "PNG") && replaced.commit();
}

// A folder's picture of `colour` whose pixels each stray a little from it, so that it takes the
// reader a while: a Dock with many of them is answered a stream of pictures.
bool writeNoisyFolderPicture(const QString &folder, const QColor &colour, quint32 seed)
{
    QImage picture(512, 512, QImage::Format_RGB32);
    quint32 state = seed * 2654435761u + 1;
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            line[x] = qRgb(colour.red() + int(state >> 29), colour.green() + int((state >> 26) & 7), colour.blue() + int((state >> 23) & 7));
        }
    }
    return picture.save(folder + QStringLiteral("/Icon\r"), "PNG");
}

bool nearColour(const QColor &colour, const QColor &expected)
{
    return qAbs(colour.red() - expected.red()) < 40 && qAbs(colour.green() - expected.green()) < 40
        && qAbs(colour.blue() - expected.blue()) < 40;
}

QColor screenPixel(const QPoint &at)
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixelColor(at);
}

// Whether the peer of a connected socket has closed its end.
bool peerHasClosed(int descriptor)
{
    pollfd state{descriptor, POLLOUT, 0};
    return ::poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLERR));
}

// A program's active tap for the buttons, spoken on the Dock's socket by hand: the program's own
// adapter puts its tap back as soon as a new Dock listens, and here the test chooses the moment.
// It drops the events at the points `drops` says, and notes every event it is given.
class WireTap {
public:
    // `answerAfter`: how long the program behind it takes to decide each event, in milliseconds.
    explicit WireTap(std::function<bool(const QPointF &)> drops, bool answers = true, int answerAfter = 0)
        : m_drops(std::move(drops))
        , m_answers(answers)
        , m_answerAfter(answerAfter)
    {
        QObject::connect(&m_socket, &QLocalSocket::readyRead, &m_socket, [this] { read(); });
    }

    // Asks the Dock for the tap; `isInstalled` says when it has it.
    void install()
    {
        m_socket.connectToServer(DockWire::socketPath());
        if (!m_socket.waitForConnected(startTimeout))
            return;
        m_socket.write(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::createTap},
                                                {QStringLiteral("seq"), 1},
                                                {QStringLiteral("loc"), DockWire::encodeLocation(CGEventTapLocation::HID)},
                                                {QStringLiteral("head"), true},
                                                {QStringLiteral("listen"), false},
                                                {QStringLiteral("mask"), qint64(buttonMask)}}));
        m_socket.flush();
    }

    bool isInstalled() const { return m_installed; }
    const QList<CGEvent> &seen() const { return m_seen; }

    QList<CGEventType> seenTypes() const
    {
        QList<CGEventType> types;
        for (const CGEvent &event : m_seen)
            types.append(event.type);
        return types;
    }

private:
    void read()
    {
        m_reader.append(m_socket.readAll());
        while (const std::optional<QCborMap> message = m_reader.next()) {
            if (message->value(QStringLiteral("re")).toInteger() == 1)
                m_installed = message->value(QStringLiteral("err")).toInteger() == qint64(AXError::Success);
            if (message->value(QStringLiteral("op")).toString() != DockWire::Op::event)
                continue;
            const std::optional<CGEvent> event = DockWire::decodeEvent(message->value(QStringLiteral("ev")));
            if (!event)
                continue;
            m_seen.append(*event);
            if (!m_answers)
                continue;
            const QByteArray verdict = DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::verdict},
                                                                {QStringLiteral("event"), message->value(QStringLiteral("id"))},
                                                                {QStringLiteral("pass"), !m_drops(event->location)}});
            QTimer::singleShot(m_answerAfter, &m_socket, [this, verdict] {
                m_socket.write(verdict);
                m_socket.flush();
            });
        }
    }

    std::function<bool(const QPointF &)> m_drops;
    bool m_answers;
    int m_answerAfter;
    QLocalSocket m_socket;
    DockWire::FrameReader m_reader;
    bool m_installed = false;
    QList<CGEvent> m_seen;
};


// The address of the Dock's socket; nullopt when its path is too long for one.
std::optional<sockaddr_un> dockAddress()
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(DockWire::socketPath());
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return std::nullopt;
    std::copy(path.begin(), path.end(), address.sun_path);
    return address;
}

// A connection to `address` sent `bytes` (async-signal-safe); -1 when none could be made.
int connectionSent(const sockaddr_un &address, const char *bytes, size_t size)
{
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    if (::connect(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(descriptor);
        return -1;
    }
    if (size > 0)
        (void)::send(descriptor, bytes, size, MSG_NOSIGNAL);
    return descriptor;
}

// Peers of the Dock that never finish: `count` connections, each sent the first `sent` bytes of a
// request (none: silent), made by this process or by a child of its own that holds them until
// the Dock lets go of every one and then ends, telling by its status.
class StalledPeers {
public:
    StalledPeers(int count, int sent, bool ownProcess)
    {
        const QByteArray request = DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier},
                                                            {QStringLiteral("seq"), 5}}).left(sent);
        const std::optional<sockaddr_un> address = dockAddress();
        if (!address)
            return;
        if (ownProcess) {
            for (int i = 0; i < count; ++i)
                m_descriptors.append(connectionSent(*address, request.constData(), size_t(request.size())));
            return;
        }
        int ready[2] = {-1, -1};
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            // Only calls that are safe after a fork of a threaded process from here on.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(ready[0]);
            int opened[128];
            const int n = std::min(count, 128);
            for (int i = 0; i < n; ++i)
                opened[i] = connectionSent(*address, request.constData(), size_t(request.size()));
            ::close(ready[1]);
            // Every one let go within a minute, or the status says how many were kept.
            for (int tick = 0; tick < 600; ++tick) {
                int kept = 0;
                for (int i = 0; i < n; ++i)
                    kept += opened[i] >= 0 && !peerHasClosed(opened[i]) ? 1 : 0;
                if (kept == 0)
                    ::_exit(0);
                if (tick == 599)
                    ::_exit(std::min(kept, 100));
                ::poll(nullptr, 0, 100);
            }
            ::_exit(101);
        }
        ::close(ready[1]);
        if (m_child > 0) {
            // The write end closes once every connection is made (or the child is gone).
            char byte = 0;
            while (::read(ready[0], &byte, 1) < 0 && errno == EINTR) {
            }
        }
        ::close(ready[0]);
    }
    ~StalledPeers()
    {
        for (const int descriptor : std::as_const(m_descriptors))
            ::close(descriptor);
        if (m_child > 0 && !m_status) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
    }

    bool isValid() const { return m_child > 0 || (!m_descriptors.isEmpty() && !m_descriptors.contains(-1)); }
    // How many of the connections the Dock still holds; -1 while a child has not yet told.
    int kept()
    {
        if (m_child <= 0)
            return int(std::count_if(m_descriptors.cbegin(), m_descriptors.cend(), [](int descriptor) { return !peerHasClosed(descriptor); }));
        if (!m_status) {
            int status = 0;
            if (::waitpid(m_child, &status, WNOHANG) != m_child)
                return -1;
            m_status = status;
        }
        return WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : 1000;
    }

private:
    QList<int> m_descriptors;
    pid_t m_child = -1;
    std::optional<int> m_status;
};

// Asks the Dock for its process identifier on a connection of its own, once: the answer, or none
// when the connection was refused or dropped.
std::optional<qint64> askedOnce(QLocalSocket &socket, qint64 sequence)
{
    if (socket.state() != QLocalSocket::ConnectedState) {
        socket.connectToServer(DockWire::socketPath());
        if (!socket.waitForConnected(startTimeout))
            return std::nullopt;
    }
    socket.write(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier},
                                          {QStringLiteral("seq"), sequence}}));
    socket.flush();
    DockWire::FrameReader reader;
    const QDeadlineTimer deadline(startTimeout);
    while (!deadline.hasExpired() && socket.state() == QLocalSocket::ConnectedState) {
        socket.waitForReadyRead(100);
        reader.append(socket.readAll());
        while (const std::optional<QCborMap> answer = reader.next()) {
            if (answer->value(QStringLiteral("re")).toInteger() == sequence)
                return dockProcessIdentifierOf(answer);
        }
    }
    return std::nullopt;
}

} // namespace

class TestStandinDock : public QObject {
    Q_OBJECT

private:
    QString m_home;
    QString m_preferences;
    QString m_openLog;
    QString m_alpha, m_beta, m_work, m_docs;
    QProcess m_keeper;
    qint64 m_pid = 0;
    XTestPointer m_pointer;
    DockSocketAccessibility m_accessibility;
    DockSocketEventTaps m_taps;

    qint64 waitForDock(qint64 previous)
    {
        qint64 pid = 0;
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT((pid = m_accessibility.dockProcessIdentifier().value_or(0)) > 0 && pid != previous,
                                     startTimeout);
        }();
        return pid;
    }

    void restartDock(const QString &orientation, bool autohide = false)
    {
        writeDockPreferences(m_preferences, orientation, autohide, {m_alpha, m_beta}, {m_work, m_docs});
        const qint64 previous = m_pid;
        // A restart of this test's Dock alone, by its process identifier.
        QCOMPARE(::kill(pid_t(m_pid), SIGTERM), 0);
        m_pid = waitForDock(previous);
        QVERIFY(m_pid > 0);
        if (!autohide)
            waitForTheBar();
    }

    // The Dock answers on its socket from a thread of its own, before its bar is mapped on the X
    // server: a press sent through the server before then meets the root window, not the bar.
    void waitForTheBar()
    {
        const QList<TileRead> tiles = readTiles();
        QVERIFY(!tiles.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(dockShowsAt(centre(tiles.first().frame)), startTimeout);
    }

    // Whether a window of this test's Dock shows at the point, so that a click there reaches it.
    bool dockShowsAt(const QPoint &point) const
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.viewable && window.pid == m_pid && window.geometry.contains(point))
                return true;
        }
        return false;
    }

    // Restarts the Dock while this process holds an active tap in it, which goes with that Dock:
    // the new one expects it back. Returns once the new Dock shows at `point`. The Dock has run
    // long enough first for its keeper not to take the restart for a crash; `dockUp` counts from
    // the new Dock.
    void restartWithATapAway(QElapsedTimer &dockUp, const std::function<bool(const QPointF &)> &drops, const QPoint &point)
    {
        WireTap before(drops);
        before.install();
        QTRY_VERIFY_WITH_TIMEOUT(before.isInstalled(), startTimeout);
        QVERIFY(QTest::qWaitFor([&] { return dockUp.hasExpired(keeperQuickExit); }, keeperQuickExit));
        restartDock(QStringLiteral("bottom"));
        dockUp.start();
        QTRY_VERIFY_WITH_TIMEOUT(dockShowsAt(point), startTimeout);
    }

    // A new active tap of this process, which drops what comes over the Work tile, is given the
    // click on it that waited; the Dock goes on in order: once the next click, on an application's
    // tile, has opened it, the dropped one has had its chance.
    // `installed`: a tap the Dock holds already; else one is asked for now.
    void newTapTakesTheClickOnWork(const QByteArray &what, const QList<TileRead> &tiles, WireTap *installed = nullptr)
    {
        std::optional<WireTap> asked;
        if (!installed) {
            asked.emplace([&](const QPointF &point) { return tiles[2].frame.contains(point); });
            asked->install();
        }
        WireTap &tap = installed ? *installed : *asked;
        QTRY_COMPARE_WITH_TIMEOUT(tap.seenTypes(), (QList<CGEventType>{CGEventType::LeftMouseDown, CGEventType::LeftMouseUp}),
                                  startTimeout);
        for (const CGEvent &event : tap.seen())
            QCOMPARE(event.location.toPoint(), centre(tiles[2].frame));
        QVERIFY(tap.isInstalled());
        m_pointer.click(centre(tiles[0].frame));
        QTRY_VERIFY2_WITH_TIMEOUT(opened().contains(m_alpha), what.constData(), startTimeout);
        QVERIFY2(opened() == QStringList{m_alpha}, (what + ": " + opened().join(u',').toUtf8()).constData());
    }

    // A registration goes out on the observer's connection and the pointer's moves through the X
    // server: a selection the Dock makes before it has taken the registration is told to nobody. The
    // pointer goes onto `tile` (from off the bar) until the first notification comes.
    bool heardOnceRegistered(QSignalSpy &notifications, const QRectF &tile)
    {
        for (int attempt = 0; attempt < 40; ++attempt) {
            m_pointer.move(QPoint(700, 300));
            m_pointer.move(centre(tile));
            if (QTest::qWaitFor([&] { return !notifications.isEmpty(); }, 500))
                return true;
        }
        return false;
    }

    QVariant attribute(const AXUIElement &element, const QString &name)
    {
        QVariant value;
        const AXError error = m_accessibility.copyAttributeValue(element, name, &value);
        return error == AXError::Success ? value : QVariant();
    }

    AXUIElement list()
    {
        const auto children = attribute(m_accessibility.createApplication(m_pid), QStringLiteral("AXChildren")).value<QList<AXUIElement>>();
        return children.size() == 1 ? children.first() : AXUIElement{};
    }

    QList<TileRead> readTiles()
    {
        QList<TileRead> tiles;
        for (const AXUIElement &element : attribute(list(), QStringLiteral("AXChildren")).value<QList<AXUIElement>>()) {
            tiles.append({element, attribute(element, QStringLiteral("AXTitle")).toString(),
                          attribute(element, QStringLiteral("AXSubrole")).toString(),
                          attribute(element, QStringLiteral("AXURL")).toUrl(),
                          QRectF(attribute(element, QStringLiteral("AXPosition")).toPointF(),
                                 attribute(element, QStringLiteral("AXSize")).toSizeF())});
        }
        return tiles;
    }

    QStringList opened() const
    {
        QFile file(m_openLog);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QList<AXUIElement> selection()
    {
        return attribute(list(), QStringLiteral("AXSelectedChildren")).value<QList<AXUIElement>>();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid(), "needs an X server");
        m_home = QDir::homePath();
        m_preferences = m_home + QStringLiteral("/Library/Preferences/com.apple.dock.plist");
        m_openLog = m_home + QStringLiteral("/opened.log");
        qputenv("KESTROWAN_DOCK_OPEN_LOG", m_openLog.toUtf8());
        QDir().mkpath(m_home + QStringLiteral("/Applications"));
        // Two installed applications with their own icons; the Dock here only notes what it opens.
        const RealApps::Found installed = RealApps::applications();
        QVERIFY2(installed.missing.isEmpty(), qPrintable(installed.missing));
        m_alpha = installed.items[0].path;
        m_beta = installed.items[1].path;
        m_work = m_home + QStringLiteral("/Library/Kestrowan/Groups/Work Tools");
        m_docs = m_home + QStringLiteral("/Documents");
        QDir().mkpath(m_work);
        QDir().mkpath(m_docs);
        writeGroupIcon(m_work);
        QVERIFY(TrustStore::grant(TrustStore::executableOfThisProcess()));
        writeDockPreferences(m_preferences, QStringLiteral("bottom"), false, {m_alpha, m_beta}, {m_work, m_docs});

        m_keeper.setProgram(QStringLiteral(KESTROWAN_DOCK_KEEPER));
        m_keeper.setProcessChannelMode(QProcess::ForwardedChannels);
        // The keeper and its Dock share this test's output: left running after a crash, they would
        // keep CTest waiting on it. The keeper ends its Dock when it is itself told to end.
        m_keeper.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_keeper.start();
        QVERIFY(m_keeper.waitForStarted());
        m_pid = waitForDock(0);
        QVERIFY(m_pid > 0);
        waitForTheBar();
    }

    void cleanupTestCase()
    {
        m_keeper.terminate();
        // The keeper kills a Dock that has not ended within its grace period, so it ends in time.
        const bool finished = m_keeper.waitForFinished(20000);
        if (!finished) {
            m_keeper.kill();
            m_keeper.waitForFinished();
            if (m_pid > 0)
                ::kill(pid_t(m_pid), SIGKILL);
        }
        QVERIFY(finished);
        QCOMPARE(m_keeper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_keeper.exitCode(), 0);
    }

    void theTreeHasTheKeptTilesInTheirSpace_data()
    {
        QTest::addColumn<QString>("orientation");
        QTest::newRow("bottom") << QStringLiteral("bottom");
        QTest::newRow("left") << QStringLiteral("left");
        QTest::newRow("right") << QStringLiteral("right");
    }

    void theTreeHasTheKeptTilesInTheirSpace()
    {
        QFETCH(QString, orientation);
        if (orientation != QLatin1String("bottom"))
            restartDock(orientation);
        QFile comm(QStringLiteral("/proc/%1/comm").arg(m_pid));
        QVERIFY(comm.open(QIODevice::ReadOnly));
        QCOMPARE(comm.readAll().trimmed(), QByteArray("Dock")); // the executable is named as the platform names its Dock

        const AXUIElement application = m_accessibility.createApplication(m_pid);
        QCOMPARE(attribute(application, QStringLiteral("AXChildren")).value<QList<AXUIElement>>().size(), 1);
        QCOMPARE(attribute(list(), QStringLiteral("AXRole")).toString(), QStringLiteral("AXList"));

        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const QStringList titles{tiles[0].title, tiles[1].title, tiles[2].title, tiles[3].title};
        QCOMPARE(titles, (QStringList{QFileInfo(m_alpha).completeBaseName(), QFileInfo(m_beta).completeBaseName(), QStringLiteral("Work Tools"), QStringLiteral("Documents")}));
        QCOMPARE(tiles[0].subrole, QStringLiteral("AXApplicationDockItem"));
        QCOMPARE(tiles[2].subrole, QStringLiteral("AXFolderDockItem"));
        QCOMPARE(tiles[0].url, QUrl::fromLocalFile(m_alpha));
        QCOMPARE(tiles[2].url.toLocalFile(), m_work);

        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        for (int i = 0; i < tiles.size(); ++i) {
            const QRectF frame = tiles[i].frame;
            QVERIFY2(frame.width() > 20 && frame.height() > 20, qPrintable(tiles[i].title));
            QVERIFY(QRectF(screen).contains(frame));
            if (orientation == QLatin1String("bottom"))
                QVERIFY(frame.top() >= screen.height() - 70 && frame.bottom() <= screen.height());
            else if (orientation == QLatin1String("left"))
                QVERIFY(frame.left() >= 0 && frame.right() <= 70);
            else
                QVERIFY(frame.left() >= screen.width() - 70 && frame.right() <= screen.width());
            if (i > 0) {
                const QRectF previous = tiles[i - 1].frame;
                QVERIFY(orientation == QLatin1String("bottom") ? frame.left() > previous.right() : frame.top() > previous.bottom());
            }
        }
        // The usable area of the screen leaves the bar's band out.
        QScreen *primary = QGuiApplication::primaryScreen();
        if (orientation == QLatin1String("bottom"))
            QTRY_VERIFY(primary->availableGeometry().bottom() < tiles[0].frame.top());
        else if (orientation == QLatin1String("left"))
            QTRY_VERIFY(primary->availableGeometry().left() > tiles[0].frame.right());
        else
            QTRY_VERIFY(primary->availableGeometry().right() < tiles[0].frame.left());
    }

    void elementAtAPointIsATileOrNothing()
    {
        restartDock(QStringLiteral("bottom"));
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const AXUIElement application = m_accessibility.createApplication(m_pid);
        for (const TileRead &tile : tiles) {
            AXUIElement found;
            QCOMPARE(m_accessibility.copyElementAtPosition(application, tile.frame.center(), &found), AXError::Success);
            QCOMPARE(found, tile.element);
        }
        AXUIElement none;
        const QPointF gap((tiles[0].frame.right() + tiles[1].frame.left()) / 2 + 0.5, tiles[0].frame.center().y());
        QCOMPARE(m_accessibility.copyElementAtPosition(application, gap, &none), AXError::NoValue);
        QCOMPARE(m_accessibility.copyElementAtPosition(application, QPointF(700, 300), &none), AXError::NoValue);
        // An element of a Dock that has gone answers nothing.
        QCOMPARE(m_accessibility.copyAttributeValue(AXUIElement{m_pid + 100000, 1}, QStringLiteral("AXChildren"), nullptr),
                 AXError::InvalidUIElement);
    }

    void selectionFollowsThePointerWithNotifications()
    {
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        m_pointer.move(QPoint(700, 300));
        QTRY_VERIFY(selection().isEmpty());
        std::unique_ptr<AXObserver> observer = m_accessibility.createObserver(m_pid);
        QVERIFY(observer);
        QCOMPARE(observer->addNotification(list(), QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
        QCOMPARE(observer->addNotification(list(), QStringLiteral("AXSelectedChildrenChanged")), AXError::NotificationAlreadyRegistered);
        QSignalSpy notifications(observer.get(), &AXObserver::notificationReceived);

        m_pointer.move(centre(tiles[2].frame));
        QTRY_COMPARE(notifications.count(), 1);
        QCOMPARE(notifications.first().at(1).toString(), QStringLiteral("AXSelectedChildrenChanged"));
        QCOMPARE(selection(), QList<AXUIElement>{tiles[2].element});

        m_pointer.move(centre(tiles[2].frame) + QPoint(3, 2)); // within the same tile: no change
        m_pointer.move(centre(tiles[3].frame));
        QTRY_COMPARE(notifications.count(), 2);
        QCOMPARE(selection(), QList<AXUIElement>{tiles[3].element});

        m_pointer.move(QPoint(700, 300));
        QTRY_COMPARE(notifications.count(), 3);
        QVERIFY(selection().isEmpty());

        QCOMPARE(observer->removeNotification(list(), QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
        m_pointer.move(centre(tiles[0].frame));
        QTRY_COMPARE(selection(), QList<AXUIElement>{tiles[0].element});
        QCOMPARE(notifications.count(), 3);
    }

    // The Dock hears that a notification was taken out only when that message reaches it: news it
    // sent before then is on its way when the owner takes it out, and must not reach the owner.
    void aNotificationTakenOutIsNotHeardThoughTheDockSentItBefore()
    {
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        for (int round = 0; round < 4; ++round) {
            m_pointer.move(QPoint(700, 300));
            QTRY_VERIFY(selection().isEmpty());
            std::unique_ptr<AXObserver> observer = m_accessibility.createObserver(m_pid);
            QVERIFY(observer);
            const AXUIElement listElement = list();
            QCOMPARE(observer->addNotification(listElement, QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
            QSignalSpy notifications(observer.get(), &AXObserver::notificationReceived);
            QVERIFY(heardOnceRegistered(notifications, tiles[round].frame));
            QTRY_COMPARE(selection(), QList<AXUIElement>{tiles[round].element});

            // The Dock selects the next tile and tells; this thread takes in nothing meanwhile, but
            // learns from another thread when the Dock has selected it, and so has sent its news.
            const AXUIElement next = tiles[(round + 1) % 4].element;
            m_pointer.move(centre(tiles[(round + 1) % 4].frame));
            std::promise<bool> selectedPromise;
            std::future<bool> selected = selectedPromise.get_future();
            std::thread asker([listElement, next, &selectedPromise] {
                // A client of its own, made and used on this thread: it waits for each answer.
                DockSocketAccessibility accessibility;
                QElapsedTimer waited;
                waited.start();
                bool seen = false;
                while (!seen && waited.elapsed() < startTimeout) {
                    QVariant value;
                    seen = accessibility.copyAttributeValue(listElement, QStringLiteral("AXSelectedChildren"), &value) == AXError::Success
                        && value.value<QList<AXUIElement>>() == QList<AXUIElement>{next};
                }
                selectedPromise.set_value(seen);
            });
            const bool wasSelected = selected.get();
            asker.join();
            QVERIFY(wasSelected);
            const qsizetype heard = notifications.count();
            QCOMPARE(observer->removeNotification(listElement, QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
            // What is on its way is in this process's socket already: it is taken in now.
            for (int turn = 0; turn < 20; ++turn)
                QCoreApplication::processEvents();
            QCOMPARE(notifications.count(), heard);
        }
    }

    void listenOnlyTapSeesEveryMove()
    {
        QList<QPointF> moves;
        std::unique_ptr<EventTap> tap = m_taps.createTap(
            CGEventTapLocation::Session, CGEventTapPlacement::TailAppend, CGEventTapOptions::ListenOnly,
            eventMaskBit(CGEventType::MouseMoved), [&](CGEventType type, const CGEvent &event) {
                if (type == CGEventType::MouseMoved)
                    moves.append(event.location);
                return EventTapVerdict::Drop; // ignored: the tap only listens
            });
        QVERIFY(tap);
        // The Dock takes the tap through the event loop; a click before that would pass it by.
        QTRY_VERIFY_WITH_TIMEOUT(tap->isHeld(), 10000);
        m_pointer.move(QPoint(123, 234));
        QTRY_VERIFY(moves.contains(QPointF(123, 234)));
        m_pointer.move(QPoint(321, 432));
        QTRY_VERIFY(moves.contains(QPointF(321, 432)));
    }

    void activeTapDropsOrPassesAClick()
    {
        const QList<TileRead> tiles = readTiles();
        QFile::remove(m_openLog);
        bool drop = true;
        QList<CGEventType> seen;
        std::unique_ptr<EventTap> tap = m_taps.createTap(
            CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::Default, buttonMask,
            [&](CGEventType type, const CGEvent &event) {
                seen.append(type);
                return drop && tiles[2].frame.contains(event.location) ? EventTapVerdict::Drop : EventTapVerdict::Pass;
            });
        QVERIFY(tap);
        // The Dock takes the tap through the event loop; a click before that would pass it by.
        QTRY_VERIFY_WITH_TIMEOUT(tap->isHeld(), 10000);
        m_pointer.click(centre(tiles[2].frame));
        QTRY_COMPARE(seen, (QList<CGEventType>{CGEventType::LeftMouseDown, CGEventType::LeftMouseUp}));
        // The Dock handles events in order: once the next click has opened its tile, the dropped one
        // has had its chance.
        m_pointer.click(centre(tiles[0].frame));
        QTRY_COMPARE(opened(), QStringList{m_alpha});

        drop = false;
        m_pointer.click(centre(tiles[2].frame));
        QTRY_COMPARE(opened(), (QStringList{m_alpha, m_work}));
    }

    void postedEventsWithTheMarkerAreHandledAsReal()
    {
        const QList<TileRead> tiles = readTiles();
        QFile::remove(m_openLog);
        QList<qint64> markers;
        std::unique_ptr<EventTap> tap = m_taps.createTap(
            CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::Default, buttonMask,
            [&](CGEventType, const CGEvent &event) {
                const qint64 field = event.integerValueField(CGEventField::EventSourceUserData);
                markers.append(field);
                return field == marker ? EventTapVerdict::Pass : EventTapVerdict::Drop;
            });
        QVERIFY(tap);
        // The Dock takes the tap through the event loop; a click before that would pass it by.
        QTRY_VERIFY_WITH_TIMEOUT(tap->isHeld(), 10000);
        const QPointF point = tiles[3].frame.center();
        CGEvent down = CGEvent::mouseEvent(CGEventType::LeftMouseDown, point, CGMouseButton::Left);
        CGEvent up = CGEvent::mouseEvent(CGEventType::LeftMouseUp, point, CGMouseButton::Left);
        // Unmarked, the tap drops them like any other event.
        m_taps.postEvent(CGEventTapLocation::HID, down);
        m_taps.postEvent(CGEventTapLocation::HID, up);
        QTRY_COMPARE(markers.size(), 2);
        down.setIntegerValueField(CGEventField::EventSourceUserData, marker);
        up.setIntegerValueField(CGEventField::EventSourceUserData, marker);
        m_taps.postEvent(CGEventTapLocation::HID, down);
        m_taps.postEvent(CGEventTapLocation::HID, up);
        QTRY_COMPARE(opened(), QStringList{m_docs});
        QCOMPARE(markers, (QList<qint64>{0, 0, marker, marker}));
    }

    void aTapThatDoesNotAnswerIsDisabledAndTold()
    {
        const QList<TileRead> tiles = readTiles();
        QFile::remove(m_openLog);
        QList<CGEventType> seen;
        bool slow = true;
        std::unique_ptr<EventTap> tap = m_taps.createTap(
            CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::Default, buttonMask,
            [&](CGEventType type, const CGEvent &) {
                seen.append(type);
                if (type == CGEventType::LeftMouseDown && slow)
                    QThread::msleep(1500); // longer than the Dock waits for a verdict
                return EventTapVerdict::Drop;
            });
        QVERIFY(tap);
        // The Dock takes the tap through the event loop; a click before that would pass it by.
        QTRY_VERIFY_WITH_TIMEOUT(tap->isHeld(), 10000);
        m_pointer.click(centre(tiles[3].frame));
        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(CGEventType::TapDisabledByTimeout), 10000);
        QVERIFY(!tap->isEnabled());
        QCOMPARE(seen.count(CGEventType::LeftMouseUp), 0);
        // Given up on, the tap dropped nothing: the click reached the Dock.
        QTRY_COMPARE(opened(), QStringList{m_docs});

        // Switched on again and answering in time, it drops again.
        // The switch goes out on the tap's connection and the click through the X server: a click
        // the Dock takes before the switch passes the tap by, so the first is clicked until it meets it.
        slow = false;
        tap->setEnabled(true);
        seen.clear();
        bool met = false;
        int missed = 0;
        for (int attempt = 0; attempt < 20 && !met; ++attempt) {
            m_pointer.click(centre(tiles[2].frame));
            met = QTest::qWaitFor([&] { return seen.contains(CGEventType::LeftMouseUp); }, 1000);
            missed += met ? 0 : 1;
        }
        QVERIFY(met);
        seen.clear();
        seen.append(CGEventType::LeftMouseUp);
        m_pointer.click(centre(tiles[1].frame));
        QTRY_VERIFY(seen.count(CGEventType::LeftMouseUp) == 2);
        // A missed click the Dock took before the switch opened Work; the one the tap met, and the
        // click after it, opened nothing.
        const QStringList openedNow = opened();
        QVERIFY2(openedNow.count(m_work) <= missed && openedNow.count(m_work) + openedNow.count(m_docs) == openedNow.size(),
                 qPrintable(QStringLiteral("%1 missed; opened %2").arg(missed).arg(openedNow.join(u','))));
    }

    void aTapSurvivesADockRestart()
    {
        int presses = 0;
        std::unique_ptr<EventTap> tap = m_taps.createTap(
            CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::Default, buttonMask,
            [&](CGEventType type, const CGEvent &) {
                presses += type == CGEventType::LeftMouseDown ? 1 : 0;
                return EventTapVerdict::Pass;
            });
        QVERIFY(tap);
        // The Dock takes the tap through the event loop; a click before that would pass it by.
        QTRY_VERIFY_WITH_TIMEOUT(tap->isHeld(), 10000);
        restartDock(QStringLiteral("bottom"));
        const QList<TileRead> tiles = readTiles();
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     m_pointer.click(centre(tiles[0].frame));
                                     QTest::qWait(50);
                                     return presses > 0;
                                 }()),
                                 10000);
    }

    void aClickRightAfterARestartWaitsForTheTapThatWasThere_data()
    {
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("the tap comes back") << true;
        QTest::newRow("the tap stays away") << false;
    }

    // On the platform a program's tap outlives a Dock restart; here the program puts it back once
    // it has noticed the new Dock. A click on a tile meanwhile waits for the tap and is the tap's to
    // drop, never the Dock's to act on. A program that does not put it back (busy, or its taps left
    // off) costs the bar's clicks only a moment: the Dock acts on them, in their order, once it has
    // waited for it long enough. Every trial is a restart.
    void aClickRightAfterARestartWaitsForTheTapThatWasThere()
    {
        QFETCH(bool, comesBack);
        restartDock(QStringLiteral("bottom"));
        QElapsedTimer dockUp;
        dockUp.start();
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const auto onWork = [&](const QPointF &point) { return tiles[2].frame.contains(point); };
        QList<qint64> waits;
        for (int trial = 1; trial <= restartTrials; ++trial) {
            const QByteArray what = "trial " + QByteArray::number(trial);
            QFile::remove(m_openLog);
            restartWithATapAway(dockUp, onWork, centre(tiles[2].frame));
            if (QTest::currentTestFailed())
                return;
            QElapsedTimer sinceClicks;
            sinceClicks.start();
            m_pointer.click(centre(tiles[2].frame));
            if (!comesBack) {
                m_pointer.click(centre(tiles[3].frame));
                QTRY_VERIFY2_WITH_TIMEOUT(opened().size() == 2, what.constData(), startTimeout);
                waits.append(sinceClicks.elapsed());
                QVERIFY2(opened() == (QStringList{m_work, m_docs}), (what + ": " + opened().join(u',').toUtf8()).constData());
                continue;
            }
            // Nothing acts on the click while the tap is away.
            QTest::qWait(400);
            QVERIFY2(opened().isEmpty(), (what + ": the click reached the Dock before the tap came back").constData());
            newTapTakesTheClickOnWork(what, tiles);
        }
        if (!waits.isEmpty()) {
            std::sort(waits.begin(), waits.end());
            qInfo("Clicks acted on %lld to %lld ms after they were made", waits.first(), waits.last());
        }
    }

    // A program that has just come back to a restarted Dock is at its busiest when the clicks held
    // for it reach its tap: a loaded machine may take it longer than an ordinary tap is given to
    // decide them. Its verdict still holds: the Dock does not act on the click itself.
    void aHeldClickIsTheTapsThoughItTakesLongerToDecide()
    {
        restartDock(QStringLiteral("bottom"));
        QElapsedTimer dockUp;
        dockUp.start();
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const auto onWork = [&](const QPointF &point) { return tiles[2].frame.contains(point); };
        for (int trial = 1; trial <= 2; ++trial) {
            const QByteArray what = "trial " + QByteArray::number(trial);
            QFile::remove(m_openLog);
            restartWithATapAway(dockUp, onWork, centre(tiles[2].frame));
            if (QTest::currentTestFailed())
                return;
            m_pointer.click(centre(tiles[2].frame));
            // Longer than the second an ordinary event's tap is given, within the restart's wait.
            WireTap busy(onWork, true, 1500);
            busy.install();
            QTRY_VERIFY_WITH_TIMEOUT(busy.seen().size() >= 2, startTimeout);
            // The Dock handles events in order: once the next click has opened its tile, the held
            // one has had its chance.
            m_pointer.click(centre(tiles[0].frame));
            QTRY_VERIFY2_WITH_TIMEOUT(opened().contains(m_alpha), what.constData(), startTimeout);
            QVERIFY2(!opened().contains(m_work), what + ": the Dock gave up on the tap and opened the folder");
            QCOMPARE(busy.seenTypes().mid(0, 2), (QList<CGEventType>{CGEventType::LeftMouseDown, CGEventType::LeftMouseUp}));
        }
    }

    // A program that replaces its tap (as it does when it takes up a new Dock, or changes how it is
    // used) leaves no gap on the platform: a click between the end of the old tap and the new one
    // is the new tap's, not the Dock's.
    void aClickWhileATapIsReplacedIsTheNewTaps()
    {
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const auto onWork = [&](const QPointF &point) { return tiles[2].frame.contains(point); };
        // The Dock lists the programs with an active tap once it has taken or dropped one.
        const TapClientsFile kept(TapClientsFile::besideSocket(DockWire::socketPath()));
        const auto listed = [&] {
            const QList<TapClientsFile::Client> clients = kept.read();
            return std::any_of(clients.cbegin(), clients.cend(), [](const TapClientsFile::Client &client) {
                return client.processIdentifier == QCoreApplication::applicationPid();
            });
        };
        for (int trial = 1; trial <= restartTrials; ++trial) {
            const QByteArray what = "trial " + QByteArray::number(trial);
            QFile::remove(m_openLog);
            auto old = std::make_unique<WireTap>(onWork);
            old->install();
            QTRY_VERIFY_WITH_TIMEOUT(old->isInstalled() && listed(), startTimeout);
            old.reset();
            QTRY_VERIFY_WITH_TIMEOUT(!listed(), startTimeout);
            m_pointer.click(centre(tiles[2].frame));
            // Nothing acts on the click while the program has no tap.
            QTest::qWait(200);
            QVERIFY2(opened().isEmpty(), (what + ": the click reached the Dock between the taps").constData());
            newTapTakesTheClickOnWork(what, tiles);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // A program may replace its tap while the Dock waits for that tap's verdict on a press: the
    // press then goes to the new tap, with the release after it, rather than past it to the Dock;
    // also when the new tap is in before the old one's connection closes.
    void aPressTheOldTapWasDecidingGoesToTheNewOne_data()
    {
        QTest::addColumn<bool>("newFirst");
        QTest::newRow("new tap after the old one went") << false;
        QTest::newRow("new tap in before the old one went") << true;
    }

    void aPressTheOldTapWasDecidingGoesToTheNewOne()
    {
        QFETCH(bool, newFirst);
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const auto onWork = [&](const QPointF &point) { return tiles[2].frame.contains(point); };
        for (int trial = 1; trial <= restartTrials; ++trial) {
            const QByteArray what = "trial " + QByteArray::number(trial);
            QFile::remove(m_openLog);
            auto old = std::make_unique<WireTap>(onWork, false);
            old->install();
            QTRY_VERIFY_WITH_TIMEOUT(old->isInstalled(), startTimeout);
            m_pointer.click(centre(tiles[2].frame));
            // Gone while the Dock waits for its verdict, well within the time it gives a tap.
            QTRY_VERIFY_WITH_TIMEOUT(!old->seen().isEmpty(), startTimeout);
            std::optional<WireTap> replacement;
            if (newFirst) {
                replacement.emplace(onWork);
                replacement->install();
                QTRY_VERIFY_WITH_TIMEOUT(replacement->isInstalled(), startTimeout);
            }
            old.reset();
            newTapTakesTheClickOnWork(what, tiles, replacement ? &*replacement : nullptr);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // The press a replaced tap was deciding goes on from that tap: the taps and listeners before it
    // in the stream saw it already and do not see it again; the new tap and those after it see it
    // once. Moves made while it waits come after it and its release, as they were made.
    void aPressGoesOnFromTheTapThatWasReplacedAndMovesWaitBehindIt()
    {
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        for (int trial = 1; trial <= 3; ++trial) {
            const QByteArray what = "trial " + QByteArray::number(trial);
            m_pointer.move(centre(tiles[2].frame));
            QTRY_COMPARE_WITH_TIMEOUT(selection(), QList<AXUIElement>{tiles[2].element}, startTimeout);
            QFile::remove(m_openLog);
            auto old = std::make_unique<WireTap>([](const QPointF &) { return false; }, false);
            old->install();
            QTRY_VERIFY_WITH_TIMEOUT(old->isInstalled(), startTimeout);
            // Inserted at the head after the old tap: it comes before it in the stream.
            QList<CGEventType> listened;
            std::unique_ptr<EventTap> listener = m_taps.createTap(
                CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::ListenOnly,
                eventMaskBit(CGEventType::LeftMouseDown) | eventMaskBit(CGEventType::LeftMouseUp),
                [&](CGEventType type, const CGEvent &) {
                    listened.append(type);
                    return EventTapVerdict::Pass;
                });
            QList<CGEventType> after;
            std::unique_ptr<EventTap> follower = m_taps.createTap(
                CGEventTapLocation::Session, CGEventTapPlacement::TailAppend, CGEventTapOptions::ListenOnly,
                eventMaskBit(CGEventType::LeftMouseDown) | eventMaskBit(CGEventType::LeftMouseUp)
                    | eventMaskBit(CGEventType::MouseMoved),
                [&](CGEventType type, const CGEvent &) {
                    after.append(type);
                    return EventTapVerdict::Pass;
                });
            QVERIFY(listener && follower);
            QTRY_VERIFY_WITH_TIMEOUT(listener->isHeld() && follower->isHeld(), startTimeout);
            after.clear();

            m_pointer.press();
            // Gone while the Dock waits for its verdict: its program runs on, and its next tap is
            // awaited; the release and the moves wait behind the press.
            QTRY_VERIFY_WITH_TIMEOUT(!old->seen().isEmpty(), startTimeout);
            old.reset();
            m_pointer.release();
            m_pointer.move(centre(tiles[3].frame));
            QTRY_COMPARE_WITH_TIMEOUT(selection(), QList<AXUIElement>{tiles[3].element}, startTimeout);
            WireTap replacement([](const QPointF &) { return false; });
            replacement.install();
            QTRY_VERIFY2_WITH_TIMEOUT(opened().contains(m_work), what.constData(), startTimeout);
            QTRY_VERIFY_WITH_TIMEOUT(after.contains(CGEventType::MouseMoved), startTimeout);
            const QList<CGEventType> click{CGEventType::LeftMouseDown, CGEventType::LeftMouseUp};
            QCOMPARE(replacement.seenTypes(), click);
            QVERIFY2(listened == click, what + ": a listener before the replaced tap heard " + QByteArray::number(listened.size()) + " events");
            QByteArray order;
            for (const CGEventType type : std::as_const(after))
                order += QByteArray::number(int(type)) + ' ';
            QVERIFY2(after.mid(0, 2) == click, what + ": a move overtook the held click: " + order);
            QCOMPARE(opened(), QStringList{m_work});
        }
    }

    void restartedDockDrawsTheNewPreferences()
    {
        writeDockPreferences(m_preferences, QStringLiteral("bottom"), false, {m_beta}, {m_work});
        const qint64 previous = m_pid;
        QCOMPARE(::kill(pid_t(m_pid), SIGTERM), 0);
        m_pid = waitForDock(previous);
        QVERIFY(m_pid != previous);
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 2);
        QCOMPARE(tiles[0].title, QFileInfo(m_beta).completeBaseName());
        QCOMPARE(tiles[1].title, QStringLiteral("Work Tools"));
    }

    void draggingATileOffTheBarRemovesIt()
    {
        restartDock(QStringLiteral("bottom"));
        QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        QFile::remove(m_openLog);
        m_pointer.drag(centre(tiles[1].frame), QPoint(700, 300));
        QTRY_COMPARE(readTiles().size(), 3);
        QCOMPARE(dockPreferencesCount(m_preferences, "persistent-apps"), 1);
        QCOMPARE(dockPreferencesCount(m_preferences, "persistent-others"), 2);
        QVERIFY(dockPreferencesHasKey(m_preferences, "mod-count"));
        QVERIFY(opened().isEmpty());
        // A drag that ends on the bar removes nothing.
        tiles = readTiles();
        m_pointer.drag(centre(tiles[0].frame), centre(tiles[1].frame));
        m_pointer.click(centre(tiles[2].frame));
        QTRY_COMPARE(opened(), QStringList{m_docs});
        QCOMPARE(readTiles().size(), 3);
    }

    void anAutohiddenBarShowsAtTheEdge()
    {
        restartDock(QStringLiteral("bottom"), true);
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), 4);
        const AXUIElement application = m_accessibility.createApplication(m_pid);
        m_pointer.move(QPoint(700, 300));
        AXUIElement found;
        QCOMPARE(m_accessibility.copyElementAtPosition(application, tiles[0].frame.center(), &found), AXError::NoValue);
        // A hidden bar reserves nothing at its edge (the menu-bar strip at the top keeps its own space).
        QTRY_COMPARE(QGuiApplication::primaryScreen()->availableGeometry().bottom(),
                     QGuiApplication::primaryScreen()->geometry().bottom());
        m_pointer.move(QPoint(centre(tiles[0].frame).x(), QGuiApplication::primaryScreen()->geometry().bottom()));
        QTRY_COMPARE(m_accessibility.copyElementAtPosition(application, tiles[0].frame.center(), &found), AXError::Success);
        m_pointer.move(QPoint(700, 300));
        QTRY_COMPARE(m_accessibility.copyElementAtPosition(application, tiles[0].frame.center(), &found), AXError::NoValue);
    }

    void screenshotOfAGroupFolderTile()
    {
        restartDock(QStringLiteral("bottom"));
        const QList<TileRead> tiles = readTiles();
        m_pointer.move(centre(tiles[2].frame));
        QTRY_COMPARE(selection(), QList<AXUIElement>{tiles[2].element});
        QImage shot;
        // The label window is drawn after the selection changes; wait for it to be on screen.
        QTRY_VERIFY_WITH_TIMEOUT((shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage(),
                                  shot.pixelColor(centre(tiles[2].frame).x(), int(tiles[2].frame.top()) - 20) != QColor(Qt::black)),
                                 5000);
        // The folder tile shows the group's picture.
        const QPoint corner = tiles[2].frame.topLeft().toPoint() + QPoint(20, 20);
        const QColor pixel = shot.pixelColor(corner);
        QVERIFY2(qAbs(pixel.red() - 220) < 40 && qAbs(pixel.green() - 70) < 40, qPrintable(pixel.name()));
        const int top = int(tiles[0].frame.top()) - 60;
        const int left = int(tiles.first().frame.left()) - 80;
        const QImage bar = shot.copy(QRect(left, top, int(tiles.last().frame.right()) + 80 - left, shot.height() - top));
        QDir().mkpath(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots"));
        QVERIFY(bar.save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/road-dock-folder-tile-light.png")));
    }

    void aFolderTilesNewIconIsDrawnWithoutARestart()
    {
        restartDock(QStringLiteral("bottom"));
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles[2].title, QStringLiteral("Work Tools"));
        const QPoint corner = tiles[2].frame.topLeft().toPoint() + QPoint(20, 20);
        const qint64 dock = m_pid;
        const auto pixel = [corner] { return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixelColor(corner); };
        const auto near = [](const QColor &colour, const QColor &expected) {
            return qAbs(colour.red() - expected.red()) < 40 && qAbs(colour.green() - expected.green()) < 40
                && qAbs(colour.blue() - expected.blue()) < 40;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(near(pixel(), QColor(220, 70, 70)), qPrintable(pixel().name()), 20000);

        // The program writes a group's picture to a new file and renames it over the old one.
        QImage teal(256, 256, QImage::Format_ARGB32_Premultiplied);
        teal.fill(QColor(40, 160, 160));
        QSaveFile replaced(m_work + QStringLiteral("/Icon\r"));
        QVERIFY(replaced.open(QIODevice::WriteOnly));
        QVERIFY(teal.save(&replaced, "PNG"));
        QVERIFY(replaced.commit());
        QTRY_VERIFY2_WITH_TIMEOUT(near(pixel(), QColor(40, 160, 160)), qPrintable(pixel().name()), 20000);

        // Rewritten in place, too.
        QImage violet(256, 256, QImage::Format_ARGB32_Premultiplied);
        violet.fill(QColor(150, 60, 200));
        QVERIFY(violet.save(m_work + QStringLiteral("/Icon\r"), "PNG"));
        QTRY_VERIFY2_WITH_TIMEOUT(near(pixel(), QColor(150, 60, 200)), qPrintable(pixel().name()), 20000);
        QCOMPARE(m_pid, dock);
        QCOMPARE(m_accessibility.dockProcessIdentifier().value_or(0), dock);

        writeGroupIcon(m_work);
        QTRY_VERIFY2_WITH_TIMEOUT(near(pixel(), QColor(220, 70, 70)), qPrintable(pixel().name()), 20000);
    }

    // After a restart the tiles' pictures come one after another: those that came are drawn while
    // the rest still come, not once they all have. A Dock of many folders whose pictures take a
    // while: the first tile shows its picture while the last still shows its stand-in.
    void picturesAreDrawnWhileTheRestStillCome()
    {
        QStringList folders;
        for (int i = 0; i < 60; ++i) {
            const QString folder = m_home + QStringLiteral("/Many/Folder %1").arg(i, 2, 10, QLatin1Char('0'));
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(writeNoisyFolderPicture(folder, i == 0 ? QColor(210, 40, 40) : QColor(40, 190, 60), quint32(i)));
            folders.append(folder);
        }
        writeDockPreferences(m_preferences, QStringLiteral("bottom"), false, {}, folders);
        const qint64 previous = m_pid;
        QCOMPARE(::kill(pid_t(m_pid), SIGTERM), 0);
        m_pid = waitForDock(previous);
        QVERIFY(m_pid > 0);
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles.size(), folders.size());
        const QRect bar = tiles.first().frame.toRect().united(tiles.last().frame.toRect());
        const QPoint first = tiles.first().frame.center().toPoint() - bar.topLeft();
        const QPoint last = tiles.last().frame.center().toPoint() - bar.topLeft();
        bool firstBeforeLast = false;
        const QDeadlineTimer deadline(30000);
        QImage shown;
        while (!deadline.hasExpired()) {
            shown = QGuiApplication::primaryScreen()->grabWindow(0, bar.x(), bar.y(), bar.width(), bar.height()).toImage();
            const bool firstShown = nearColour(shown.pixelColor(first), QColor(213, 43, 43));
            const bool lastShown = nearColour(shown.pixelColor(last), QColor(43, 193, 63));
            firstBeforeLast = firstBeforeLast || (firstShown && !lastShown);
            if (firstShown && lastShown)
                break;
        }
        const QColor lastColour = shown.pixelColor(last);
        // The Dock the other tests expect, before anything is judged.
        restartDock(QStringLiteral("bottom"));
        QVERIFY2(nearColour(lastColour, QColor(43, 193, 63)), qPrintable(lastColour.name()));
        QVERIFY2(firstBeforeLast, "every picture was drawn at once, when the last had come");
    }

    // The bar's window, as the X server knows it.
    std::optional<X11Windows::Window> barWindow(const QRectF &tileFrame) const
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.viewable && window.pid == m_pid && window.geometry.contains(tileFrame.toRect()))
                return window;
        }
        return std::nullopt;
    }

    // A picture that arrives for one tile redraws that tile only, however many arrive: the server
    // is sent the tile's square and nothing of the rest of the bar.
    void aPictureThatArrivesRedrawsOnlyItsTile()
    {
        restartDock(QStringLiteral("bottom"));
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles[2].title, QStringLiteral("Work Tools"));
        const QPoint inner = tiles[2].frame.topLeft().toPoint() + QPoint(20, 20);
        QTRY_VERIFY2_WITH_TIMEOUT(nearColour(screenPixel(inner), QColor(220, 70, 70)), qPrintable(screenPixel(inner).name()), 20000);
        m_pointer.move(QPoint(700, 300));
        QTRY_VERIFY_WITH_TIMEOUT(selection().isEmpty(), 20000);
        std::optional<X11Windows::Window> bar;
        QTRY_VERIFY_WITH_TIMEOUT((bar = barWindow(tiles[2].frame)).has_value(), 20000);
        const auto restore = qScopeGuard([this] { writeGroupIcon(m_work); });
        // The tile with its glow and the anti-aliased edges around it, in the bar's coordinates.
        const QRect tile = tiles[2].frame.toRect().translated(-bar->geometry.topLeft()).adjusted(-6, -6, 6, 6);
        WindowDamage damage(bar->id);
        QVERIFY(damage.isValid());
        damage.take();
        const QList<QColor> colours{QColor(40, 160, 160), QColor(150, 60, 200), QColor(230, 200, 40), QColor(40, 160, 160),
                                    QColor(150, 60, 200)};
        for (const QColor &colour : colours) {
            QVERIFY(writeFolderPicture(m_work, colour));
            QTRY_VERIFY2_WITH_TIMEOUT(nearColour(screenPixel(inner), colour), qPrintable(screenPixel(inner).name()), 20000);
            const QList<QRect> repainted = damage.take();
            QVERIFY(!repainted.isEmpty());
            for (const QRect &rect : repainted) {
                QVERIFY2(tile.contains(rect), qPrintable(QStringLiteral("%1x%2+%3+%4 repainted; the tile is %5x%6+%7+%8 of a %9-wide bar")
                                                             .arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y())
                                                             .arg(tile.width()).arg(tile.height()).arg(tile.x()).arg(tile.y())
                                                             .arg(bar->geometry.width())));
            }
        }
    }

    // The tile under the pointer keeps its glow while its picture changes, however often it does,
    // and while another tile's picture changes beside it: a picture changes what its tile shows,
    // not which tile is pointed at nor what the others show.
    void aHighlightedTileKeepsItsGlowAsPicturesChange()
    {
        restartDock(QStringLiteral("bottom"));
        const QList<TileRead> tiles = readTiles();
        QCOMPARE(tiles[2].title, QStringLiteral("Work Tools"));
        const QRect frame = tiles[2].frame.toRect();
        const QPoint inner = frame.topLeft() + QPoint(20, 20);
        const QPoint besideInner = tiles[3].frame.topLeft().toPoint() + QPoint(20, 20);
        // Between the tile's edge and its picture: the glow, or the shelf when there is none.
        const QPoint rim(frame.left() + 1, frame.center().y());
        QTRY_VERIFY2_WITH_TIMEOUT(nearColour(screenPixel(inner), QColor(220, 70, 70)), qPrintable(screenPixel(inner).name()), 20000);
        // Wherever an earlier test left the pointer, it starts away from the bar.
        m_pointer.move(QPoint(700, 300));
        QTRY_VERIFY_WITH_TIMEOUT(selection().isEmpty(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(screenPixel(rim) == screenPixel(QPoint(frame.left() - 3, frame.center().y())), 20000);
        const QColor shelf = screenPixel(rim);
        const auto restore = qScopeGuard([this] {
            QFile::remove(m_docs + QStringLiteral("/Icon\r"));
            writeGroupIcon(m_work);
        });

        m_pointer.move(centre(tiles[2].frame));
        QTRY_COMPARE_WITH_TIMEOUT(selection(), QList<AXUIElement>{tiles[2].element}, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(screenPixel(rim).lightness() > shelf.lightness() + 10, 20000);
        const QColor glow = screenPixel(rim);
        // The applications' tiles, drawn whole before the pictures come.
        const QImage before = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QRect applications = tiles[0].frame.toRect().united(tiles[1].frame.toRect());

        const QList<QColor> colours{QColor(40, 160, 160), QColor(150, 60, 200), QColor(230, 200, 40), QColor(40, 160, 160),
                                    QColor(150, 60, 200), QColor(230, 200, 40)};
        for (qsizetype i = 0; i < colours.size(); ++i) {
            const QColor &colour = colours.at(i);
            const QColor &besideColour = colours.at((i + 1) % colours.size());
            QVERIFY(writeFolderPicture(m_work, colour));
            QVERIFY(writeFolderPicture(m_docs, besideColour));
            QTRY_VERIFY2_WITH_TIMEOUT(nearColour(screenPixel(inner), colour), qPrintable(screenPixel(inner).name()), 20000);
            QTRY_VERIFY2_WITH_TIMEOUT(nearColour(screenPixel(besideInner), besideColour), qPrintable(screenPixel(besideInner).name()), 20000);
            QCOMPARE(screenPixel(rim), glow);
            QCOMPARE(selection(), QList<AXUIElement>{tiles[2].element});
            QCOMPARE(QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(applications), before.copy(applications));
        }

        m_pointer.move(QPoint(700, 300));
        QTRY_VERIFY_WITH_TIMEOUT(selection().isEmpty(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(screenPixel(rim), shelf, 20000);
        writeGroupIcon(m_work);
        QTRY_VERIFY2_WITH_TIMEOUT(nearColour(screenPixel(inner), QColor(220, 70, 70)), qPrintable(screenPixel(inner).name()), 20000);
    }

    // Any process of the user may write to the Dock's socket; a float where a whole number belongs
    // (1e300 does not fit one) is refused, not turned into one, and the Dock goes on answering.
    void aFloatWhereAWholeNumberBelongsIsRefused()
    {
        QLocalSocket socket;
        socket.connectToServer(DockWire::socketPath());
        QVERIFY(socket.waitForConnected(startTimeout));
        DockWire::FrameReader reader;
        const auto ask = [&](const QCborMap &request) -> std::optional<QCborMap> {
            socket.write(DockWire::frame(request));
            const QDeadlineTimer deadline(startTimeout);
            while (!deadline.hasExpired() && socket.state() == QLocalSocket::ConnectedState) {
                if (std::optional<QCborMap> answer = reader.next())
                    return answer;
                socket.waitForReadyRead(100);
                reader.append(socket.readAll());
            }
            return reader.next();
        };
        const auto answeredTo = [](const std::optional<QCborMap> &answer) {
            const QCborValue re = answer ? answer->value(QStringLiteral("re")) : QCborValue();
            return re.isInteger() ? re.toInteger() : qint64(-1);
        };

        std::optional<QCborMap> answer = ask({{QStringLiteral("op"), QStringLiteral("pid")}, {QStringLiteral("seq"), 1e300}});
        QVERIFY(answer);
        QCOMPARE(answeredTo(answer), qint64(0));
        QCOMPARE(dockAnswerError(answer), AXError::IllegalArgument);
        QVERIFY(!answer->contains(QStringLiteral("pid")));

        answer = ask({{QStringLiteral("op"), QStringLiteral("tap")}, {QStringLiteral("seq"), 2},
                      {QStringLiteral("loc"), -1e300}, {QStringLiteral("mask"), qint64(buttonMask)}});
        QCOMPARE(answeredTo(answer), qint64(2));
        QCOMPARE(dockAnswerError(answer), AXError::IllegalArgument);
        answer = ask({{QStringLiteral("op"), QStringLiteral("tap")}, {QStringLiteral("seq"), 3},
                      {QStringLiteral("loc"), 7}, {QStringLiteral("mask"), qint64(buttonMask)}});
        QCOMPARE(answeredTo(answer), qint64(3));
        QCOMPARE(dockAnswerError(answer), AXError::IllegalArgument);

        answer = ask({{QStringLiteral("op"), QStringLiteral("pid")}, {QStringLiteral("seq"), 4}});
        QCOMPARE(answeredTo(answer), qint64(4));
        QCOMPARE(dockProcessIdentifierOf(answer), std::optional<qint64>(m_pid));
    }

    void withoutAGrantNothingIsAnsweredAndThePromptAsks()
    {
        QVERIFY(QFile::remove(TrustStore::filePath()));
        QVERIFY(!m_accessibility.isProcessTrusted());
        QCOMPARE(m_accessibility.copyAttributeValue(m_accessibility.createApplication(m_pid), QStringLiteral("AXChildren"), nullptr),
                 AXError::APIDisabled);
        QVERIFY(!m_taps.createTap(CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::Default,
                                  buttonMask, [](CGEventType, const CGEvent &) { return EventTapVerdict::Pass; }));
        QVERIFY(!m_accessibility.isProcessTrustedWithPrompt());

        // The user answers the Dock's question with "Allow".
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     QProcess search;
                                     search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("Accessibility Access")});
                                     search.waitForFinished();
                                     window = QString::fromUtf8(search.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).value(0);
                                     return !window.isEmpty();
                                 }()),
                                 10000);
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), window});
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+a")});
        QTRY_VERIFY_WITH_TIMEOUT(m_accessibility.isProcessTrusted(), 10000);
        // The copy of the tree is asked for again, and read once it has come.
        QTRY_COMPARE_WITH_TIMEOUT(
            m_accessibility.copyAttributeValue(m_accessibility.createApplication(m_pid), QStringLiteral("AXChildren"), nullptr),
            AXError::Success, 10000);
    }

    // A client that asks and asks and never reads the answers: the Dock keeps a bounded amount of
    // them, then drops the client and gives the memory back, and goes on answering everyone else.
    void aClientThatNeverReadsIsDropped()
    {
        const qint64 before = residentBytes(m_pid);
        QVERIFY(before > 0);
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(descriptor >= 0);
        const auto closeDescriptor = qScopeGuard([descriptor] { ::close(descriptor); });
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(DockWire::socketPath());
        QVERIFY(size_t(path.size()) < sizeof(address.sun_path));
        std::copy(path.begin(), path.end(), address.sun_path);
        QCOMPARE(::connect(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof(address)), 0);

        // Each request is answered with the whole tree; a few hundred thousand of them would be
        // hundreds of megabytes of answers.
        const QByteArray requests =
            DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::mirror}, {QStringLiteral("seq"), 1}, {QStringLiteral("v"), DockWire::treeVersion}})
                .repeated(1000);
        qint64 sent = 0;
        qsizetype offset = 0;
        const QDeadlineTimer deadline(120000);
        while (!peerHasClosed(descriptor) && sent < 300000 && !deadline.hasExpired()) {
            pollfd writable{descriptor, POLLOUT, 0};
            if (::poll(&writable, 1, 1000) != 1 || !(writable.revents & POLLOUT))
                continue;
            const ssize_t written = ::send(descriptor, requests.constData() + offset, size_t(requests.size() - offset),
                                           MSG_NOSIGNAL | MSG_DONTWAIT);
            if (written < 0)
                continue;
            offset += written;
            if (offset == requests.size()) {
                offset = 0;
                sent += 1000;
            }
        }
        QTRY_VERIFY2_WITH_TIMEOUT(peerHasClosed(descriptor), qPrintable(QStringLiteral("%1 requests sent, the Dock holds %2 MiB")
                                                                        .arg(sent).arg(residentBytes(m_pid) >> 20)),
                                  60000);
#if !defined(__SANITIZE_ADDRESS__)
        // (A checked build keeps freed memory in its quarantine on purpose.)
        QTRY_VERIFY2_WITH_TIMEOUT(residentBytes(m_pid) < before + 24 * 1024 * 1024,
                                  qPrintable(QStringLiteral("%1 MiB, %2 MiB before").arg(residentBytes(m_pid) >> 20).arg(before >> 20)),
                                  20000);
#endif
        QTRY_COMPARE_WITH_TIMEOUT(m_accessibility.dockProcessIdentifier(), std::optional<qint64>(m_pid), startTimeout);
        QVERIFY(!list().isNull());
    }

    // The Dock's socket serves every client of the user: connections that say nothing, or send
    // half a request, as many as the Dock takes at most, from another process or this one, keep
    // no one out (a client that comes next is answered on its first connection), and are let go
    // after a short time, while a client that spoke and then waits quietly is kept.
    void stalledPeersKeepNoOneOut_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<bool>("ownProcess");
        QTest::newRow("silent, two other processes") << 0 << false;
        QTest::newRow("half a request, two other processes") << 3 << false;
        QTest::newRow("silent, this process") << 0 << true;
        QTest::newRow("half a request, this process") << 9 << true;
    }
    void stalledPeersKeepNoOneOut()
    {
        QFETCH(int, sent);
        QFETCH(bool, ownProcess);
        QLocalSocket spoke;
        QCOMPARE(askedOnce(spoke, 1), std::optional<qint64>(m_pid));
        // One that spoke and then leaves a message half sent is let go too.
        QLocalSocket spokeThenStalled;
        QCOMPARE(askedOnce(spokeThenStalled, 1), std::optional<qint64>(m_pid));
        spokeThenStalled.write(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier},
                                                        {QStringLiteral("seq"), 2}}).left(sent + 2));
        QVERIFY(spokeThenStalled.waitForBytesWritten(startTimeout));

        std::vector<std::unique_ptr<StalledPeers>> peers;
        for (int group = 0; group < 2; ++group) {
            peers.push_back(std::make_unique<StalledPeers>(32, sent, ownProcess));
            QVERIFY(peers.back()->isValid());
        }
        QLocalSocket newcomer;
        QCOMPARE(askedOnce(newcomer, 2), std::optional<qint64>(m_pid));
        for (const std::unique_ptr<StalledPeers> &group : peers)
            QTRY_COMPARE_WITH_TIMEOUT(group->kept(), 0, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(spokeThenStalled.state(), QLocalSocket::UnconnectedState, 60000);
        // It has waited longer than the others were given.
        QCOMPARE(askedOnce(spoke, 3), std::optional<qint64>(m_pid));
        QCOMPARE(askedOnce(newcomer, 4), std::optional<qint64>(m_pid));
    }

    // Anything may lie in a group's folder or be named as an application's icon: a fifo named
    // "Icon\r", a sparse "Icon\r" of two gigabytes, a scalable picture that takes long to draw. A
    // Dock of its own, on a socket of its own, starts with such a tile: it answers with its tree
    // at once, says it got no picture from the file, stays small, and goes on answering.
    void hostilePicturesDoNotHoldTheDockUp_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a fifo named as a folder's icon") << QStringLiteral("fifo");
        QTest::newRow("a sparse folder icon of two gigabytes") << QStringLiteral("sparse");
        QTest::newRow("an application icon slow to draw") << QStringLiteral("drawing");
    }

    void hostilePicturesDoNotHoldTheDockUp()
    {
        QFETCH(QString, kind);
        const QString home = m_home + QStringLiteral("/hostile-") + kind;
        const QString folder = home + QStringLiteral("/Library/Kestrowan/Groups/Hostile");
        QVERIFY(QDir().mkpath(folder));
        const QString icon = folder + QStringLiteral("/Icon\r");
        QStringList applications{m_alpha};
        QString hostile = icon;
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(icon).constData(), 0600), 0);
        } else if (kind == QLatin1String("sparse")) {
            QFile file(icon);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QImage head(64, 64, QImage::Format_ARGB32);
            head.fill(Qt::red);
            QVERIFY(head.save(&file, "PNG"));
            QVERIFY(file.resize(2LL * 1024 * 1024 * 1024));
        } else {
            hostile = home + QStringLiteral("/slow.svg");
            QFile svg(hostile);
            QVERIFY(svg.open(QIODevice::WriteOnly));
            svg.write(slowDrawing());
            svg.close();
            const QString entry = home + QStringLiteral("/Applications/slow.desktop");
            QVERIFY(QDir().mkpath(QFileInfo(entry).path()));
            QFile desktop(entry);
            QVERIFY(desktop.open(QIODevice::WriteOnly));
            desktop.write("[Desktop Entry]\nType=Application\nName=Slow\nExec=/bin/true\nIcon=" + QFile::encodeName(hostile) + "\n");
            desktop.close();
            applications.append(entry);
        }
        writeDockPreferences(home + QStringLiteral("/Library/Preferences/com.apple.dock.plist"), QStringLiteral("bottom"), false,
                             applications, {folder, m_docs});

        const QString socketPath = home + QStringLiteral("/dock.sock");
        QProcess dock;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("KESTROWAN_DOCK_SOCKET"), socketPath);
        dock.setProcessEnvironment(environment);
        dock.setProcessChannelMode(QProcess::MergedChannels);
        dock.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        const auto endDock = qScopeGuard([&dock] {
            if (dock.state() != QProcess::NotRunning) {
                dock.kill();
                dock.waitForFinished(startTimeout);
            }
        });
        QByteArray output;
        const auto said = [&dock, &output]() -> const QByteArray & { return output += dock.readAll(); };
        dock.start(QStringLiteral(KESTROWAN_DOCK), {});
        QVERIFY(dock.waitForStarted());
        // Promptly: a Dock starts in well under a second, far less than the picture takes to draw.
        QVERIFY2(treeAnswered(socketPath, QDeadlineTimer(10000)), said().right(2000).constData());
        // What the file held never came into the Dock: it holds what a Dock of three tiles holds.
        constexpr qint64 bound = 512LL * 1024 * 1024;
        QVERIFY2(peakResidentBytes(dock.processId()) < bound, qPrintable(QStringLiteral("%1 MiB").arg(peakResidentBytes(dock.processId()) >> 20)));
        // The helper that read the file is done with it; a picture slow to draw may still give one.
        if (kind != QLatin1String("drawing"))
            QTRY_VERIFY2_WITH_TIMEOUT(said().contains("No picture from " + QFile::encodeName(hostile).replace('\r', '?')),
                                      output.right(2000).constData(), 60000);
        QVERIFY2(peakResidentBytes(dock.processId()) < bound, qPrintable(QStringLiteral("%1 MiB").arg(peakResidentBytes(dock.processId()) >> 20)));
        QVERIFY(treeAnswered(socketPath, QDeadlineTimer(startTimeout)));
        QCOMPARE(::kill(pid_t(dock.processId()), SIGTERM), 0);
        QVERIFY(dock.waitForFinished(startTimeout));
        QCOMPARE(dock.exitStatus(), QProcess::NormalExit);
    }

    // The Dock logs the tiles its preferences name that it leaves out. Anyone's preferences may name
    // a path of 100 KiB, with a line break in it: a Dock of its own, on a socket of its own, starts
    // with such a file and logs only short lines.
    void aLongPathInThePreferencesIsLoggedShort()
    {
        const QString home = m_home + QStringLiteral("/long-path-home");
        const QString path = QStringLiteral("/nowhere/") + QString(50 * 1024, u'y') + u'\n' + QString(50 * 1024, u'y')
            + QStringLiteral(".desktop");
        writeDockPreferences(home + QStringLiteral("/Library/Preferences/com.apple.dock.plist"), QStringLiteral("bottom"), false,
                             {path, m_alpha}, {});
        QProcess dock;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("KESTROWAN_DOCK_SOCKET"), home + QStringLiteral("/dock.sock"));
        dock.setProcessEnvironment(environment);
        dock.setProcessChannelMode(QProcess::MergedChannels);
        dock.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        dock.start(QStringLiteral(KESTROWAN_DOCK), {});
        QVERIFY(dock.waitForStarted());
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += dock.readAll()).contains("Dock ready with"), startTimeout);
        QCOMPARE(::kill(pid_t(dock.processId()), SIGTERM), 0);
        QVERIFY(dock.waitForFinished(startTimeout));
        output += dock.readAll();
        QVERIFY2(output.contains("Leaving out the tile of /nowhere/yyy"), output.left(2000).constData());
        for (const QByteArray &line : output.split('\n'))
            QVERIFY2(line.size() <= 1000, qPrintable(QStringLiteral("%1 bytes: %2").arg(line.size()).arg(QString::fromUtf8(line.left(80)))));
    }
};

KESTROWAN_TEST_MAIN(TestStandinDock)
#include "tst_dockstandin.moc"
