// Another program sharing the settings file, as the program on a second display with the same home
// folder does: it keeps its own settings domain on the file and follows commands, one a line, on its
// standard input:
//   burst <prefix> <count>  sets "<prefix>.0" … "<prefix>.<count-1>" to true, one change at a time,
//                           each written as the program writes it (from its event loop); prints
//                           "started" after the first and "done" once every change is in the file
//   progress <prefix> <count> as burst, printing "wrote <n>" after each write
//   set <key> <text>        sets a text value and prints "set" once it is written
//   get <key>               prints "value <key> <text>" as this program holds it now
//   lock <ofd|posix>        holds the settings file's lock as another writer would, prints "locked"
//   release                 lets it go, prints "released"
//   quit
#include "Platform/UserDefaults.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "Platform/safewrite/StoredFileLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace {

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Peer : public QObject {
public:
    Peer()
        : m_input(STDIN_FILENO, QSocketNotifier::Read)
        , m_defaults(UserDefaults::standard())
    {
        connect(&m_input, &QSocketNotifier::activated, this, &Peer::readInput);
    }

private:
    void readInput()
    {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        m_pending.append(buffer, got);
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            run(QString::fromUtf8(line).split(u' '));
        }
    }

    // Once the changes made here are in the file: a write that failed is tried again.
    void whenWritten(const std::function<void()> &then)
    {
        m_defaults.synchronize();
        if (!m_defaults.saveFailing()) {
            then();
            return;
        }
        QTimer::singleShot(5, this, [this, then] { whenWritten(then); });
    }

    void run(const QStringList &words)
    {
        const QString command = words.value(0);
        if (command == QLatin1String("burst") || command == QLatin1String("progress")) {
            const QString prefix = words.value(1);
            const int count = words.value(2).toInt();
            const bool progress = command == QLatin1String("progress");
            for (int i = 0; i < count; ++i) {
                m_defaults.setValue(prefix + u'.' + QString::number(i), true);
                // The program writes its changes from its event loop.
                QCoreApplication::processEvents();
                if (progress)
                    say("wrote " + QByteArray::number(i));
                else if (i == 0)
                    say("started");
            }
            whenWritten([] { say("done"); });
        } else if (command == QLatin1String("set")) {
            m_defaults.setValue(words.value(1), words.value(2));
            QCoreApplication::processEvents();
            whenWritten([] { say("set"); });
        } else if (command == QLatin1String("get")) {
            const QString key = words.value(1);
            say(QStringLiteral("value %1 %2").arg(key, m_defaults.value(key).toString()).toUtf8());
        } else if (command == QLatin1String("lock")) {
            holdLock(words.value(1) == QLatin1String("posix"));
        } else if (command == QLatin1String("release")) {
            ::close(m_lockFd);
            m_lockFd = -1;
            say("released");
        } else if (command == QLatin1String("quit")) {
            QCoreApplication::quit();
        }
    }

    // The lock another writer of the file holds while it writes: an open-file-description lock, or
    // the classic kind an older program or another machine's lock daemon takes.
    void holdLock(bool classic)
    {
        const QString path = StoredFileLock::lockFileFor(SettingsFileUserDefaults::fileForSuite(QString()));
        m_lockFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        struct flock region {};
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        if (m_lockFd < 0 || ::fcntl(m_lockFd, classic ? F_SETLKW : F_OFD_SETLKW, &region) != 0) {
            say("lock failed");
            return;
        }
        say("locked");
    }

    QSocketNotifier m_input;
    UserDefaults &m_defaults;
    QByteArray m_pending;
    int m_lockFd = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Peer peer;
    say("ready");
    return app.exec();
}
