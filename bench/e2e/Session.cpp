#include "bench/e2e/Session.h"

#include "Kestrowan/groups/GroupShortcut.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/groups/ItemFactory.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Platform/PropertyList.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "bench/support/BenchApplications.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QLinearGradient>
#include <QPainter>
#include <QPdfWriter>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace E2E {

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QVariantMap tile(const QString &path, bool folder)
{
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + (folder ? QStringLiteral("/") : QString());
    QVariantMap data{
        {QStringLiteral("file-data"), QVariantMap{{QStringLiteral("_CFURLString"), url}, {QStringLiteral("_CFURLStringType"), qint64(15)}}},
        {QStringLiteral("file-label"), QFileInfo(path).completeBaseName()},
    };
    if (folder) {
        data.insert(QStringLiteral("file-type"), qint64(2));
        data.insert(QStringLiteral("displayas"), qint64(1));
        data.insert(QStringLiteral("showas"), qint64(2));
    }
    return QVariantMap{{QStringLiteral("tile-data"), data},
                       {QStringLiteral("tile-type"), folder ? QStringLiteral("directory-tile") : QStringLiteral("file-tile")}};
}

QImage photo(int index)
{
    QImage image(1600, 1000, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1600, 1000);
    gradient.setColorAt(0, QColor::fromHsv((index * 61) % 360, 160, 230));
    gradient.setColorAt(1, QColor::fromHsv((index * 61 + 120) % 360, 200, 90));
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(QColor::fromHsv((index * 61 + 240) % 360, 90, 240));
    for (int i = 0; i < 12; ++i)
        painter.drawEllipse(QPointF(100 + i * 120, 500 + (i % 3) * 120), 90, 90);
    return image;
}

bool writeDocument(const QString &path, int index)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    if (!painter.isActive())
        return false;
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
    for (int line = 0; line < 40; ++line)
        painter.drawText(QPointF(200, 400 + line * 300), QStringLiteral("Report %1, line %2 of the quarter's figures").arg(index).arg(line));
    return painter.end();
}

// KESTROWAN_BENCH_PROGRAM and KESTROWAN_BENCH_DOCK_KEEPER measure another build (an earlier
// commit's, say) with the same benchmarks.
QString programPath()
{
    const QString chosen = qEnvironmentVariable("KESTROWAN_BENCH_PROGRAM");
    return chosen.isEmpty() ? QStringLiteral(KESTROWAN_PROGRAM) : chosen;
}

QString keeperPath()
{
    const QString chosen = qEnvironmentVariable("KESTROWAN_BENCH_DOCK_KEEPER");
    return chosen.isEmpty() ? QStringLiteral(KESTROWAN_DOCK_KEEPER) : chosen;
}

} // namespace

bool Child::start(const QString &program, const QStringList &arguments, const QStringList &environment, const QString &log,
                  int extraDescriptor)
{
    std::vector<QByteArray> argumentBytes{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<QByteArray> environmentBytes;
    for (const QString &entry : environment)
        environmentBytes.push_back(entry.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (QByteArray &bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    for (QByteArray &bytes : environmentBytes)
        envp.push_back(bytes.data());
    envp.push_back(nullptr);
    const QByteArray logPath = QFile::encodeName(log);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // Ends with this process, should it end without stopping its children.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        const int output = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
            ::dup2(output, STDERR_FILENO);
        }
        const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (input >= 0)
            ::dup2(input, STDIN_FILENO);
        if (extraDescriptor >= 0)
            ::fcntl(extraDescriptor, F_SETFD, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    m_pid = pid;
    return true;
}

bool Child::running()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || (done < 0 && errno == ECHILD)) {
        m_pid = 0;
        return false;
    }
    return true;
}

void Child::stop(int graceMs)
{
    if (!running())
        return;
    ::kill(m_pid, SIGTERM);
    for (int waited = 0; waited < graceMs; waited += 10) {
        if (!running())
            return;
        QThread::msleep(10);
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = 0;
}

qint64 statusKiB(pid_t pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qint64 cpuNanoseconds(pid_t pid, bool children)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command's closing parenthesis: state is the 3rd, utime the 14th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15)
        return 0;
    qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    if (children)
        ticks += fields.at(13).toLongLong() + fields.at(14).toLongLong();
    return ticks * (1000000000 / ::sysconf(_SC_CLK_TCK));
}

qint64 threadsCpuNanoseconds(pid_t pid)
{
    qint64 total = 0;
    const QStringList threads = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile schedstat(QStringLiteral("/proc/%1/task/%2/schedstat").arg(pid).arg(thread));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').first().toLongLong();
    }
    return total;
}

QList<pid_t> childrenOf(pid_t pid)
{
    QList<pid_t> children;
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (pid <= 0 || !file.open(QIODevice::ReadOnly))
        return children;
    for (const QByteArray &word : file.readAll().split(' ')) {
        if (!word.trimmed().isEmpty())
            children.append(pid_t(word.trimmed().toInt()));
    }
    return children;
}

ProcessCpu ProcessCpu::of(pid_t pid)
{
    ProcessCpu figures;
    figures.own = cpuNanoseconds(pid, false);
    figures.reaped = cpuNanoseconds(pid, true) - figures.own;
    for (const pid_t child : childrenOf(pid))
        figures.running.insert(child, cpuNanoseconds(child, true));
    return figures;
}

qint64 ProcessCpu::helpersSince(const ProcessCpu &before) const
{
    // A helper running at both ends counts its difference; one that ended in between is in `reaped`
    // with its whole time, less what it had before; one started in between counts whole.
    qint64 helpers = reaped - before.reaped;
    for (const qint64 time : running)
        helpers += time;
    for (const qint64 time : before.running)
        helpers -= time;
    return helpers;
}

bool XServer::start(const QString &log)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return false;
    // Xvfb picks a free display itself and writes its number to the descriptor.
    const bool started = m_server.start(QStringLiteral("/usr/bin/Xvfb"),
                                        {QStringLiteral("-displayfd"), QString::number(channel[1]), QStringLiteral("-screen"),
                                         QStringLiteral("0"), QStringLiteral("1440x900x24"), QStringLiteral("-nolisten"),
                                         QStringLiteral("tcp"), QStringLiteral("-noreset")},
                                        QProcessEnvironment::systemEnvironment().toStringList(), log, channel[1]);
    ::close(channel[1]);
    QByteArray number;
    char c = 0;
    while (started && ::read(channel[0], &c, 1) == 1 && c != '\n')
        number.append(c);
    ::close(channel[0]);
    if (number.isEmpty())
        return false;
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    return true;
}

bool SampleFiles::make(const QString &folder)
{
    // As many different applications as a real home holds, each with an icon file of its own.
    applications = writeBenchApplications(folder + QStringLiteral("/Applications"), applicationCount);
    if (applications.size() != applicationCount)
        return false;
    for (int i = 0; i < 8; ++i) {
        const QString picture = folder + QStringLiteral("/Pictures/photo-%1.jpg").arg(i);
        QDir().mkpath(QFileInfo(picture).absolutePath());
        if (!photo(i).save(picture, "JPG", 88))
            return false;
        pictures.append(picture);
    }
    for (int i = 0; i < 4; ++i) {
        const QString document = folder + QStringLiteral("/Documents/report-%1.pdf").arg(i);
        if (!writeDocument(document, i))
            return false;
        documents.append(document);
    }
    manyFilesFolder = folder + QStringLiteral("/Notes");
    QDir().mkpath(manyFilesFolder);
    for (int i = 0; i < 5000; ++i) {
        QFile note(manyFilesFolder + QStringLiteral("/Note %1.txt").arg(i + 1, 4, 10, QLatin1Char('0')));
        if (!note.open(QIODevice::WriteOnly))
            return false;
        note.write("A note.\n");
    }
    return true;
}

namespace {

// `count` groups named "Group 1"… of `itemsPerGroup` items, each at the path `pathAt` gives for the
// group and the item's place in it; the next application to use is counted across the groups.
QList<AppGroup> groupsOf(int count, int itemsPerGroup, const std::function<QString(int, int, int &)> &pathAt)
{
    QList<AppGroup> groups;
    int application = 0;
    for (int i = 0; i < count; ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Group %1").arg(i + 1);
        for (int j = 0; j < itemsPerGroup; ++j)
            group.apps.append(makeFileItem(QUrl::fromLocalFile(pathAt(i, j, application))));
        groups.append(group);
    }
    return groups;
}

} // namespace

QList<AppGroup> sampleGroups(const SampleFiles &files, int count, int itemsPerGroup)
{
    // Mostly applications, as groups mostly hold, each group its own; every group also a picture
    // and a document.
    return groupsOf(count, itemsPerGroup, [&files](int i, int j, int &application) {
        if (j == 2)
            return files.pictures.at((i + j) % files.pictures.size());
        if (j == 3)
            return files.documents.at((i + j) % files.documents.size());
        return files.applications.at(application++ % files.applications.size());
    });
}

QList<AppGroup> applicationGroups(const SampleFiles &files, int count, int itemsPerGroup)
{
    // Applications, each met in few groups, and in the third place a picture or a document.
    return groupsOf(count, itemsPerGroup, [&files](int i, int j, int &application) {
        if (j != 2)
            return files.applications.at(application++ % files.applications.size());
        return i % 2 == 0 ? files.pictures.at(i / 2 % files.pictures.size()) : files.documents.at(i / 2 % files.documents.size());
    });
}

AppGroup manyApplicationsGroup(const SampleFiles &files, const QString &name, int count)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    for (int i = 0; i < count; ++i)
        group.apps.append(makeFileItem(QUrl::fromLocalFile(files.applications.at(i % files.applications.size()))));
    return group;
}

AppGroup manyFilesGroup(const SampleFiles &files, const QString &name, int count)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    for (int i = 0; i < count; ++i)
        group.apps.append(makeFileItem(
            QUrl::fromLocalFile(files.manyFilesFolder + QStringLiteral("/Note %1.txt").arg(i + 1, 4, 10, QLatin1Char('0')))));
    return group;
}

Scenario::Scenario(const QString &root, const QString &name, const QString &display, const QString &runtimeDir)
    : m_home(root + u'/' + name)
    , m_display(display)
    , m_runtimeDir(runtimeDir)
{
    QDir(m_home).removeRecursively();
    QDir().mkpath(m_home);
}

Scenario::~Scenario()
{
    m_program.stop();
    m_keeper.stop();
}

QStringList Scenario::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_LOGGING_RULES", "SESSION_MANAGER"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir);
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // KESTROWAN_BENCH_LOGGING=1: every category of the program's log, in program.log of the home.
    if (qEnvironmentVariableIntValue("KESTROWAN_BENCH_LOGGING") != 0)
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.kestrowan.*=true"));
    environment.insert(QStringLiteral("KESTROWAN_DOCK_OPEN_LOG"), m_home + QStringLiteral("/opened.log"));
    return environment.toStringList();
}

bool Scenario::writeDockPreferences(const QStringList &folders)
{
    QVariantList apps, others;
    for (int i = 0; i < 3; ++i) {
        const QString entry = m_home + QStringLiteral("/.local/share/applications/tool-%1.desktop").arg(i);
        if (!writeFile(entry, QStringLiteral("[Desktop Entry]\nType=Application\nName=Tool %1\nExec=/bin/true\n").arg(i).toUtf8()))
            return false;
        apps.append(tile(entry, false));
    }
    for (const QString &folder : folders)
        others.append(tile(folder, true));
    const QVariantMap root{{QStringLiteral("persistent-apps"), apps},
                           {QStringLiteral("persistent-others"), others},
                           {QStringLiteral("orientation"), QStringLiteral("bottom")},
                           {QStringLiteral("autohide"), false},
                           {QStringLiteral("mod-count"), qint64(7)}};
    return PropertyList::writeBinaryFile(dockPreferences(), root);
}

bool Scenario::seed(const QList<AppGroup> &groups, const SampleFiles &, bool foldersInDock, int shortcuts, bool showInDock,
                    bool byClick)
{
    if (!writeFile(m_home + QStringLiteral("/.local/share/Kestrowan/groups.json"), GroupsJson::encode(groups)))
        return false;
    QVariantMap settings{{QStringLiteral("didCompleteOnboarding"), true},
                         {QStringLiteral("interactionMode"), byClick ? QStringLiteral("click") : QStringLiteral("hover")},
                         {QStringLiteral("showInDock"), showInDock}};
    if (byClick)
        settings.insert(QStringLiteral("clickModeBehavior"), QStringLiteral("enhanced"));
    if (shortcuts > 0) {
        // Ctrl+1, Ctrl+2, … in the table of the platform's key codes.
        static constexpr quint16 digitKeys[] = {18, 19, 20, 21, 23, 22, 26, 28, 25};
        QList<GroupShortcut> list;
        for (int i = 0; i < shortcuts && i < groups.size() && i < 9; ++i)
            list.append(GroupShortcut{groups.at(i).id, digitKeys[i], GroupShortcut::controlModifier});
        settings.insert(QStringLiteral("groupShortcuts"), QJsonDocument(ModelJson::arrayOf(list)).toJson(QJsonDocument::Compact));
    }
    if (!writeFile(m_home + QStringLiteral("/.config/Kestrowan/Kestrowan.plist"), PropertyList::toXml(settings)))
        return false;

    QStringList folders;
    if (foldersInDock) {
        for (const AppGroup &group : groups) {
            const QString folder = groupsFolder() + u'/' + group.name;
            if (!writeFile(folder + QStringLiteral("/.group_id"), ModelJson::uuidText(group.id).toUtf8())
                || !writeFile(folder + QStringLiteral("/.hidden"), "Icon\nIcon?\n"))
                return false;
            folders.append(folder);
        }
    }
    if (!writeDockPreferences(folders))
        return false;

    // Accessibility access for the program and for this process, as the user granted it.
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", (m_home + QStringLiteral("/.config")).toUtf8());
    const bool granted = TrustStore::grant(QFileInfo(programPath()).canonicalFilePath())
                         && TrustStore::grant(TrustStore::executableOfThisProcess());
    qputenv("XDG_CONFIG_HOME", configHome);
    return granted;
}

bool Scenario::startDock()
{
    // Up once its socket is there again.
    const QString socket = QStringLiteral("%1/kestrowan-dock-%2-%3.sock")
                               .arg(m_runtimeDir)
                               .arg(::getuid())
                               .arg(QString(m_display).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")), QStringLiteral("_")));
    QFile::remove(socket);
    if (!m_keeper.start(keeperPath(), {}, environment(), m_home + QStringLiteral("/dock.log")))
        return false;
    for (int waited = 0; waited < 60000; waited += 20) {
        if (dockPid() > 0 && QFileInfo::exists(socket))
            return true;
        QThread::msleep(20);
    }
    return false;
}

pid_t Scenario::dockPid() const
{
    const QList<pid_t> children = childrenOf(m_keeper.pid());
    return children.isEmpty() ? 0 : children.first();
}

bool Scenario::startProgram(const QStringList &arguments)
{
    return m_program.start(programPath(), arguments, environment(), log());
}

bool Scenario::secondStart(const QStringList &arguments)
{
    Child second;
    if (!second.start(programPath(), arguments, environment(), log()))
        return false;
    for (int waited = 0; waited < 30000; waited += 10) {
        if (!second.running())
            return true;
        QThread::msleep(10);
    }
    return false;
}

AppGroup manyDocumentsGroup(const SampleFiles &files, const QString &folder, const QString &name, int count)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    QDir().mkpath(folder);
    // Large photos, and panoramas, which keep a whole side of 2048 pixels at their cards' scale.
    const QString large = folder + QStringLiteral("/large.png");
    const QString wide = folder + QStringLiteral("/wide.png");
    for (const auto &[path, size] : {std::pair{large, QSize(3000, 2000)}, std::pair{wide, QSize(6000, 500)}}) {
        if (QFileInfo::exists(path))
            continue;
        QImage picture(size, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                line[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), (x ^ y) & 0xff);
        }
        if (!picture.save(path, "PNG"))
            return group;
    }
    for (int i = 0; i < count; ++i) {
        const QString source = i % 5 < 2 ? wide
            : i % 5 == 2                ? large
            : i % 5 == 3                ? files.pictures.at(i % files.pictures.size())
                                        : files.documents.at(i % files.documents.size());
        // A link of its own for each: every path is a document of its own to the program.
        const QString path = folder + QStringLiteral("/Document %1.%2").arg(i + 1, 3, 10, QLatin1Char('0')).arg(QFileInfo(source).suffix());
        if (!QFileInfo::exists(path) && ::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0)
            QFile::copy(source, path);
        group.apps.append(makeFileItem(QUrl::fromLocalFile(path)));
    }
    return group;
}

} // namespace E2E
