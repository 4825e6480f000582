// The product-analytics client against real loopback sockets: a service that stops answering is
// given up on, and an event made while the machine is offline waits for the network.
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestMain.h"

#include "Platform/NetworkReachability.h"
#include "Platform/fake/FakeNetworkReachability.h"
#include "analytics/HawklineClient.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

QStringList events(const LoopbackServer &server)
{
    QStringList names;
    for (const LoopbackServer::Request &request : server.requests())
        names.append(QJsonDocument::fromJson(request.body).object().value(QStringLiteral("event")).toString());
    return names;
}

} // namespace

class HawklineNetworkTest : public QObject
{
    Q_OBJECT

    FakeNetworkReachability *m_network = nullptr;

private slots:
    void init()
    {
        auto network = std::make_unique<FakeNetworkReachability>();
        m_network = network.get();
        NetworkReachability::install(std::move(network));
    }

    void cleanup()
    {
        NetworkReachability::install(nullptr);
    }

    // A service that takes the request and never answers: the client lets the connection go after
    // ten seconds of silence rather than holding it for a minute.
    void aServiceThatNeverAnswersIsLetGo()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QTcpSocket *connection = nullptr;
        QElapsedTimer connected;
        bool closed = false;
        qint64 silentFor = 0;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            connection = silent.nextPendingConnection();
            connected.start();
            // The request is read and nothing is ever written back.
            connect(connection, &QTcpSocket::readyRead, connection, [connection] { connection->readAll(); });
            connect(connection, &QTcpSocket::disconnected, this, [&] {
                closed = true;
                silentFor = connected.elapsed();
            });
        });
        HawklineClient client(QStringLiteral("key"), QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()));
        client.capture(QStringLiteral("never.answered"));
        QTRY_VERIFY_WITH_TIMEOUT(connection, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(closed, 40000);
        QVERIFY2(silentFor >= 9000, qPrintable(QString::number(silentFor)));
    }

    // Made offline, an event is sent once the network is back, once; later ones go at once.
    void anEventMadeOfflineWaitsForTheNetwork()
    {
        LoopbackServer server;
        HawklineClient client(QStringLiteral("key"), server.baseURL().toString());
        m_network->setOnline(false);
        client.capture(QStringLiteral("first.offline"));
        client.capture(QStringLiteral("second.offline"));
        // Nothing leaves within that time while offline.
        QTest::qWait(300);
        QVERIFY(server.requests().isEmpty());

        m_network->setOnline(true);
        QTRY_COMPARE_WITH_TIMEOUT(events(server).size(), 2, 20000);
        QStringList sent = events(server);
        sent.sort();
        QCOMPARE(sent, (QStringList{QStringLiteral("first.offline"), QStringLiteral("second.offline")}));
        client.capture(QStringLiteral("online"));
        QTRY_COMPARE_WITH_TIMEOUT(events(server).size(), 3, 20000);
        QCOMPARE(events(server).last(), QStringLiteral("online"));
        // Going offline and back again sends nothing twice.
        m_network->setOnline(false);
        m_network->setOnline(true);
        QTest::qWait(300);
        QCOMPARE(events(server).size(), 3);
    }
};

KESTROWAN_TEST_MAIN(HawklineNetworkTest)
#include "tst_hawkline_network.moc"
