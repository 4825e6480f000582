#include "tests/standin/DockTreeAnswer.h"

#include "Platform/dockstandin/wire/DockWire.h"

#include <QCborMap>
#include <QLocalSocket>
#include <QTest>

bool treeAnswered(const QString &socketPath, const QDeadlineTimer &deadline)
{
    const auto slice = [&deadline] { return int(qBound(qint64(1), deadline.remainingTime(), qint64(1000))); };
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (!socket.waitForConnected(slice())) {
            QTest::qWait(20);
            continue;
        }
        socket.write(DockWire::frame(QCborMap{{QStringLiteral("op"), DockWire::Op::mirror}, {QStringLiteral("seq"), 7},
                                              {QStringLiteral("v"), DockWire::treeVersion}}));
        DockWire::FrameReader reader;
        while (!deadline.hasExpired() && socket.state() == QLocalSocket::ConnectedState) {
            socket.waitForReadyRead(slice());
            reader.append(socket.readAll());
            while (const std::optional<QCborMap> message = reader.next()) {
                if (message->value(QStringLiteral("re")).toInteger() == 7)
                    return message->contains(QStringLiteral("layout"));
            }
            if (reader.failed())
                return false;
        }
    }
    return false;
}
