#pragma once

#include "Kestrowan/groups/GroupManager.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

// A peer program's store over the groups file of the storage folder its arguments name first, and
// the group whose id they name second.
class PeerGroupStore {
public:
    explicit PeerGroupStore(const QStringList &arguments)
    {
        if (arguments.size() < 3)
            return;
        const QString storage = arguments.at(1);
        m_id = QUuid::fromString(arguments.at(2));
        m_manager = std::make_unique<GroupManager>(storage, storage + QStringLiteral("/Groups"));
        m_manager->ensureStorageDirectories();
        m_manager->loadGroups();
    }

    GroupManager *manager() const { return m_manager.get(); }
    std::optional<AppGroup> current() const
    {
        if (!m_manager)
            return std::nullopt;
        for (const AppGroup &group : m_manager->groups()) {
            if (group.id == m_id)
                return group;
        }
        return std::nullopt;
    }

private:
    std::unique_ptr<GroupManager> m_manager;
    QUuid m_id;
};

// A peer program's side of the lines it is driven by: what it says goes out at once, and each
// whole line of its input is handed on as it comes; the end of the input quits the application.
inline void sayLine(const QString &line)
{
    std::printf("%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

class InputLines {
public:
    explicit InputLines(std::function<void(const QString &)> onLine)
        : m_notifier(STDIN_FILENO, QSocketNotifier::Read), m_onLine(std::move(onLine))
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { readSome(); });
    }

private:
    void readSome()
    {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            m_notifier.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        m_pending.append(buffer, got);
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            m_onLine(line);
        }
    }

    QSocketNotifier m_notifier;
    QByteArray m_pending;
    std::function<void(const QString &)> m_onLine;
};
