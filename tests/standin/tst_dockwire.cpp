// The Dock's socket without a screen: the messages, the grants, the server's answers to the
// program's adapters, and what either side does with a peer that speaks nonsense.

#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/DockServer.h"
#include "Platform/dockstandin/RunningApplicationsFile.h"
#include "Platform/dockstandin/TapClientsFile.h"
#include "Platform/dockstandin/TapHub.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/DockSocketAccessibility.h"
#include "Platform/linux/DockSocketEventTaps.h"
#include "tests/support/TestMain.h"

#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <climits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qint64 dockPid = 777;

QByteArray rawFrame(quint32 length, const QByteArray &body)
{
    QByteArray bytes(4, '\0');
    bytes[0] = char(length >> 24);
    bytes[1] = char(length >> 16);
    bytes[2] = char(length >> 8);
    bytes[3] = char(length);
    return bytes + body;
}

} // namespace

class TestDockWire : public QObject {
    Q_OBJECT

private:
    DockAccessibilityState m_state;
    QThread m_serverThread;
    DockServer *m_server = nullptr;
    std::unique_ptr<TapHub> m_hub;

    void grantThisProcess() { QVERIFY(TrustStore::grant(TrustStore::executableOfThisProcess())); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<CGEvent>();
        qRegisterMetaType<CGEventTapLocation>();
        qputenv("KESTROWAN_DOCK_SOCKET", (QDir::homePath() + QStringLiteral("/dock.sock")).toUtf8());
        m_state.setTiles({{DockWire::firstTileIdentifier, QStringLiteral("Mail"), QStringLiteral("AXApplicationDockItem"),
                           QStringLiteral("/apps/mail.desktop"), QRectF(100, 830, 56, 56)},
                          {DockWire::firstTileIdentifier + 1, QStringLiteral("Work"), QStringLiteral("AXFolderDockItem"),
                           QStringLiteral("/home/u/Work Tools"), QRectF(162, 830, 56, 56)}},
                         QRectF(94, 824, 130, 68), true);
        m_server = new DockServer(&m_state, dockPid);
        m_hub = std::make_unique<TapHub>([this](quint64 client, const QByteArray &frame) { m_server->sendToClient(client, frame); }, 500);
        m_server->setTapHub(m_hub.get());
        m_server->moveToThread(&m_serverThread);
        m_serverThread.start();
        bool listening = false;
        const QString path = DockWire::socketPath();
        QMetaObject::invokeMethod(m_server, [this, path] { return m_server->listen(path); }, Qt::BlockingQueuedConnection, &listening);
        QVERIFY(listening);
    }

    void cleanupTestCase()
    {
        QMetaObject::invokeMethod(m_server, [this] {
            m_server->stop();
            delete m_server;
        }, Qt::BlockingQueuedConnection);
        m_serverThread.quit();
        m_serverThread.wait();
    }

    void framesSurviveAnySplitAndRejectGarbage()
    {
        const QCborMap message{{QStringLiteral("op"), QStringLiteral("attr")}, {QStringLiteral("seq"), 9}};
        const QByteArray bytes = DockWire::frame(message) + DockWire::frame(message);
        DockWire::FrameReader reader;
        int read = 0;
        for (char byte : bytes) {
            reader.append(QByteArray(1, byte));
            while (const std::optional<QCborMap> next = reader.next()) {
                QCOMPARE(*next, message);
                ++read;
            }
        }
        QCOMPARE(read, 2);

        DockWire::FrameReader huge;
        huge.append(rawFrame(DockWire::maximumFrameSize + 1, "x"));
        QVERIFY(!huge.next());
        QVERIFY(huge.failed());

        DockWire::FrameReader notCbor;
        notCbor.append(rawFrame(3, "\xff\xff\xff"));
        QVERIFY(!notCbor.next());
        QVERIFY(notCbor.failed());

        DockWire::FrameReader notAMap;
        notAMap.append(DockWire::frame(QCborMap()).left(4) + QCborValue(5).toCbor());
        notAMap.append(rawFrame(1, QCborValue(5).toCbor()));
        QVERIFY(!notAMap.next());
        QVERIFY(notAMap.failed());
        notAMap.append(DockWire::frame(message));
        QVERIFY(!notAMap.next()); // once lost, the stream stays lost
    }

    void valuesKeepTheirKind()
    {
        const QList<AXUIElement> elements{{dockPid, 16}, {dockPid, 17}};
        const QList<QVariant> values{QStringLiteral("Work"), true, 12.5, QPointF(1.5, -2), QSizeF(56, 48),
                                     QUrl::fromLocalFile(QStringLiteral("/home/u/Work Tools")),
                                     QVariant::fromValue(AXUIElement{dockPid, 2}), QVariant::fromValue(elements)};
        for (const QVariant &value : values) {
            const QVariant decoded = DockWire::decodeValue(DockWire::encodeValue(value));
            QCOMPARE(decoded.typeId(), value.typeId());
            QCOMPARE(decoded, value);
        }
        const QList<QCborMap> malformed{
            {{QStringLiteral("t"), QStringLiteral("pt")}, {QStringLiteral("x"), QStringLiteral("a")}, {QStringLiteral("y"), 1}},
            {{QStringLiteral("t"), QStringLiteral("n")}, {QStringLiteral("v"), qQNaN()}},
            {{QStringLiteral("t"), QStringLiteral("els")}, {QStringLiteral("v"), QCborArray{1, 2}}},
            {{QStringLiteral("t"), QStringLiteral("el")}, {QStringLiteral("pid"), 1}, {QStringLiteral("id"), -4}},
            {{QStringLiteral("t"), QStringLiteral("zz")}, {QStringLiteral("v"), 1}}};
        for (const QCborMap &map : malformed)
            QVERIFY2(!DockWire::decodeValue(map).isValid(), qPrintable(map.value(QStringLiteral("t")).toString()));
    }

    void eventsKeepTheirFieldsAndGarbageIsRefused()
    {
        CGEvent event = CGEvent::mouseEvent(CGEventType::LeftMouseDown, QPointF(10.5, 20), CGMouseButton::Left);
        event.setIntegerValueField(CGEventField::EventSourceUserData, 0x4B535457);
        const std::optional<CGEvent> decoded = DockWire::decodeEvent(DockWire::encodeEvent(event));
        QVERIFY(decoded);
        QCOMPARE(decoded->type, CGEventType::LeftMouseDown);
        QCOMPARE(decoded->location, QPointF(10.5, 20));
        QCOMPARE(decoded->integerValueField(CGEventField::EventSourceUserData), 0x4B535457);

        QCborMap bad = DockWire::encodeEvent(event);
        bad.insert(QStringLiteral("x"), QStringLiteral("left"));
        QVERIFY(!DockWire::decodeEvent(bad));
        bad = DockWire::encodeEvent(event);
        bad.insert(QStringLiteral("type"), -1);
        QVERIFY(!DockWire::decodeEvent(bad));
        bad = DockWire::encodeEvent(event);
        bad.insert(QStringLiteral("f"), QCborMap{{QStringLiteral("42"), 1}});
        QVERIFY(!DockWire::decodeEvent(bad));
    }

    void tapsAreOrderedAsTheWindowServerOrdersThem()
    {
        const qint64 hidTail = DockWire::tapOrder(CGEventTapLocation::HID, false, 1);
        const qint64 hidHeadOld = DockWire::tapOrder(CGEventTapLocation::HID, true, 2);
        const qint64 hidHeadNew = DockWire::tapOrder(CGEventTapLocation::HID, true, 3);
        const qint64 sessionHead = DockWire::tapOrder(CGEventTapLocation::Session, true, 4);
        QVERIFY(hidHeadNew < hidHeadOld);
        QVERIFY(hidHeadOld < hidTail);
        QVERIFY(hidTail < sessionHead);
    }

    void socketPathIsPerUserAndDisplay()
    {
        const QByteArray saved = qgetenv("KESTROWAN_DOCK_SOCKET");
        qunsetenv("KESTROWAN_DOCK_SOCKET");
        const QByteArray display = qgetenv("DISPLAY");
        qputenv("DISPLAY", "host/../x:1.0");
        const QString path = DockWire::socketPath();
        QVERIFY(path.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/kestrowan-dock-")));
        QVERIFY(path.endsWith(QStringLiteral("-host_.._x_1.0.sock")));
        qputenv("DISPLAY", display);
        qputenv("KESTROWAN_DOCK_SOCKET", saved);
    }

    void grantsAreKeptPerExecutable()
    {
        QFile::remove(TrustStore::filePath());
        QVERIFY(!TrustStore::isTrusted(QStringLiteral("/usr/bin/program")));
        QVERIFY(TrustStore::grant(QStringLiteral("/usr/bin/program")));
        QVERIFY(TrustStore::grant(QStringLiteral("/usr/bin/program")));
        QVERIFY(TrustStore::isTrusted(QStringLiteral("/usr/bin/program")));
        QVERIFY(!TrustStore::isTrusted(QStringLiteral("/usr/bin/prog")));
        QVERIFY(!TrustStore::grant(QStringLiteral("relative/program")));
        QVERIFY(!TrustStore::grant(QStringLiteral("/usr/bin/a\n/usr/bin/b")));
        QVERIFY(!TrustStore::isTrusted(QStringLiteral("/usr/bin/b")));
        QVERIFY(!TrustStore::isTrusted(QString()));
        QCOMPARE(TrustStore::executableOfThisProcess(), QCoreApplication::applicationFilePath());
    }

    void aFifoInPlaceOfTheGrantsGrantsNothingAndBlocksNobody()
    {
        QFile::remove(TrustStore::filePath());
        QVERIFY(QDir().mkpath(QFileInfo(TrustStore::filePath()).absolutePath()));
        QCOMPARE(::mkfifo(QFile::encodeName(TrustStore::filePath()).constData(), 0600), 0);
        // The program asks this while it starts, the Dock on every request.
        DockSocketAccessibility accessibility;
        QVERIFY(!accessibility.isProcessTrusted());
        QVERIFY(!TrustStore::isTrusted(QStringLiteral("/usr/bin/program")));
        QVERIFY(QFile::remove(TrustStore::filePath()));
    }

    void theAdaptersReadTheTreeThroughTheServer()
    {
        grantThisProcess();
        DockSocketAccessibility accessibility;
        QVERIFY(accessibility.isProcessTrusted());
        // This thread reads a copy of the tree, which comes without this thread waiting for it.
        QTRY_COMPARE(accessibility.dockProcessIdentifier(), std::optional<qint64>(dockPid));
        const AXUIElement application = accessibility.createApplication(dockPid);
        QVariant value;
        QCOMPARE(accessibility.copyAttributeValue(application, QStringLiteral("AXChildren"), &value), AXError::Success);
        const QList<AXUIElement> children = value.value<QList<AXUIElement>>();
        QCOMPARE(children.size(), 1);
        QCOMPARE(accessibility.copyAttributeValue(children.first(), QStringLiteral("AXChildren"), &value), AXError::Success);
        const QList<AXUIElement> tiles = value.value<QList<AXUIElement>>();
        QCOMPARE(tiles.size(), 2);
        QCOMPARE(accessibility.copyAttributeValue(tiles[1], QStringLiteral("AXURL"), &value), AXError::Success);
        QCOMPARE(value.toUrl().toLocalFile(), QStringLiteral("/home/u/Work Tools"));
        QCOMPARE(accessibility.copyAttributeValue(tiles[1], QStringLiteral("AXPosition"), &value), AXError::Success);
        QCOMPARE(value.toPointF(), QPointF(162, 830));
        QCOMPARE(accessibility.copyAttributeValue(tiles[1], QStringLiteral("AXDescription"), &value), AXError::AttributeUnsupported);
        QCOMPARE(accessibility.copyAttributeValue(AXUIElement{dockPid, 999}, QStringLiteral("AXTitle"), &value), AXError::InvalidUIElement);
        QCOMPARE(accessibility.copyAttributeValue(AXUIElement{dockPid + 1, 1}, QStringLiteral("AXTitle"), &value), AXError::InvalidUIElement);

        AXUIElement hit;
        QCOMPARE(accessibility.copyElementAtPosition(application, QPointF(190, 850), &hit), AXError::Success);
        QCOMPARE(hit, tiles[1]);
        QCOMPARE(accessibility.copyElementAtPosition(application, QPointF(159, 850), &hit), AXError::NoValue); // the gap
        QCOMPARE(accessibility.copyElementAtPosition(children.first(), QPointF(190, 850), &hit), AXError::InvalidUIElement);
    }

    void observersHearSelectionChanges()
    {
        grantThisProcess();
        DockSocketAccessibility accessibility;
        QTRY_COMPARE(accessibility.dockProcessIdentifier(), std::optional<qint64>(dockPid));
        QVERIFY(!accessibility.createObserver(dockPid + 1)); // not the Dock's process
        std::unique_ptr<AXObserver> observer = accessibility.createObserver(dockPid);
        QVERIFY(observer);
        const AXUIElement list{dockPid, DockWire::listElement};
        QCOMPARE(observer->addNotification(accessibility.createApplication(dockPid), QStringLiteral("AXSelectedChildrenChanged")),
                 AXError::NotificationUnsupported);
        QCOMPARE(observer->addNotification(list, QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
        QSignalSpy spy(observer.get(), &AXObserver::notificationReceived);
        m_state.setSelected(DockWire::firstTileIdentifier);
        // The registration goes out without this thread waiting: the Dock holds it a moment later.
        QTRY_VERIFY((m_server->notify(DockWire::listElement, QStringLiteral("AXSelectedChildrenChanged")), spy.count() > 0));
        QCOMPARE(spy.first().at(0).value<AXUIElement>(), list);
        QVariant value;
        QCOMPARE(accessibility.copyAttributeValue(list, QStringLiteral("AXSelectedChildren"), &value), AXError::Success);
        QCOMPARE(value.value<QList<AXUIElement>>(), (QList<AXUIElement>{{dockPid, DockWire::firstTileIdentifier}}));
        QCOMPARE(observer->removeNotification(list, QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
        QCOMPARE(observer->removeNotification(list, QStringLiteral("AXSelectedChildrenChanged")), AXError::NotificationNotRegistered);
        m_state.setSelected(std::nullopt);
    }

    void aTapGivesItsVerdictWhileTheDockWaits()
    {
        grantThisProcess();
        DockSocketEventTaps taps;
        QList<qint64> markers;
        std::unique_ptr<EventTap> tap = taps.createTap(CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert,
                                                       CGEventTapOptions::Default, eventMaskBit(CGEventType::LeftMouseDown),
                                                       [&](CGEventType, const CGEvent &event) {
                                                           markers.append(event.integerValueField(CGEventField::EventSourceUserData));
                                                           return markers.size() == 1 ? EventTapVerdict::Drop : EventTapVerdict::Pass;
                                                       });
        QVERIFY(tap);
        QTRY_COMPARE(m_hub->count(), 1);
        // The Dock's main thread waits for the verdict while this thread's event loop answers.
        const CGEvent press = CGEvent::mouseEvent(CGEventType::LeftMouseDown, QPointF(190, 850), CGMouseButton::Left);
        for (const bool expected : {false, true}) {
            std::atomic<int> passed{-1};
            std::thread dockMain([&] { passed = m_hub->deliver(press, CGEventTapLocation::HID) ? 1 : 0; });
            QTRY_VERIFY(passed != -1);
            dockMain.join();
            QCOMPARE(passed == 1, expected);
        }
        // A move is not in the tap's mask and passes without a question.
        CGEvent move;
        move.type = CGEventType::MouseMoved;
        QVERIFY(m_hub->deliver(move, CGEventTapLocation::HID));
        QCOMPARE(markers.size(), 2);
        tap.reset();
        QTRY_COMPARE(m_hub->count(), 0);
    }

    void postedEventsAndPromptsReachTheDock()
    {
        QSignalSpy posted(m_server, &DockServer::eventPosted);
        QSignalSpy prompts(m_server, &DockServer::promptRequested);
        DockSocketAccessibility accessibility;
        DockSocketEventTaps taps;
        grantThisProcess();
        QVERIFY(accessibility.isProcessTrustedWithPrompt());
        taps.postEvent(CGEventTapLocation::HID, CGEvent::mouseEvent(CGEventType::LeftMouseUp, QPointF(3, 4), CGMouseButton::Left));
        QTRY_COMPARE(posted.count(), 1);
        QCOMPARE(posted.first().at(0).value<CGEvent>().location, QPointF(3, 4));

        QVERIFY(QFile::remove(TrustStore::filePath()));
        QVERIFY(!accessibility.isProcessTrustedWithPrompt());
        QTRY_COMPARE(prompts.count(), 1);
        QCOMPARE(prompts.first().at(0).toString(), TrustStore::executableOfThisProcess());
        // Without a grant nothing is answered and nothing posted is taken.
        QCOMPARE(accessibility.copyAttributeValue(accessibility.createApplication(dockPid), QStringLiteral("AXRole"), nullptr),
                 AXError::APIDisabled);
        QVERIFY(!taps.createTap(CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, CGEventTapOptions::Default, 2,
                                [](CGEventType, const CGEvent &) { return EventTapVerdict::Pass; }));
        taps.postEvent(CGEventTapLocation::HID, CGEvent::mouseEvent(CGEventType::LeftMouseUp, QPointF(3, 4), CGMouseButton::Left));
        // A round trip after the post, from a thread that may wait for it.
        std::optional<qint64> pid;
        std::thread([&] { pid = accessibility.dockProcessIdentifier(); }).join();
        QCOMPARE(pid, std::optional<qint64>(dockPid));
        QCOMPARE(posted.count(), 1);
    }

    void aClientThatSpeaksGarbageIsDroppedAlone()
    {
        grantThisProcess();
        QLocalSocket rogue;
        rogue.connectToServer(DockWire::socketPath());
        QVERIFY(rogue.waitForConnected(2000));
        rogue.write(rawFrame(4, "\xa1\x61\x6f\xff"));
        rogue.flush();
        QTRY_COMPARE(rogue.state(), QLocalSocket::UnconnectedState);

        QLocalSocket oversized;
        oversized.connectToServer(DockWire::socketPath());
        QVERIFY(oversized.waitForConnected(2000));
        oversized.write(rawFrame(0xFFFFFFFF, "x"));
        oversized.flush();
        QTRY_COMPARE(oversized.state(), QLocalSocket::UnconnectedState);

        DockSocketAccessibility accessibility;
        QTRY_COMPARE(accessibility.dockProcessIdentifier(), std::optional<qint64>(dockPid));
    }

    void withoutADockTheAdaptersAnswerNothing()
    {
        const QByteArray saved = qgetenv("KESTROWAN_DOCK_SOCKET");
        const auto restore = qScopeGuard([&saved] { qputenv("KESTROWAN_DOCK_SOCKET", saved); });
        qputenv("KESTROWAN_DOCK_SOCKET", (QDir::homePath() + QStringLiteral("/no-dock.sock")).toUtf8());
        DockSocketAccessibility accessibility;
        DockSocketEventTaps taps;
        QCOMPARE(accessibility.dockProcessIdentifier(), std::nullopt);
        QCOMPARE(accessibility.copyAttributeValue(accessibility.createApplication(dockPid), QStringLiteral("AXRole"), nullptr),
                 AXError::CannotComplete);
        QVERIFY(!accessibility.createObserver(dockPid));
        // A tap asked for waits for a Dock to listen, holding nothing meanwhile.
        const std::unique_ptr<EventTap> tap =
            taps.createTap(CGEventTapLocation::Session, CGEventTapPlacement::TailAppend, CGEventTapOptions::ListenOnly, 32,
                           [](CGEventType, const CGEvent &) { return EventTapVerdict::Pass; });
        QVERIFY(tap);
        QVERIFY(!tap->isHeld());
        taps.postEvent(CGEventTapLocation::HID, CGEvent()); // goes nowhere, harms nothing
    }

    void aDockThatAnswersGarbageIsDropped()
    {
        const QByteArray saved = qgetenv("KESTROWAN_DOCK_SOCKET");
        const QString path = QDir::homePath() + QStringLiteral("/garbage.sock");
        qputenv("KESTROWAN_DOCK_SOCKET", path.toUtf8());
        QLocalServer server;
        QVERIFY(server.listen(path));
        connect(&server, &QLocalServer::newConnection, this, [&server] {
            QLocalSocket *socket = server.nextPendingConnection();
            connect(socket, &QLocalSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write(rawFrame(2, "\xff\xfe"));
            });
        });
        DockSocketAccessibility accessibility;
        std::optional<qint64> pid = 1;
        std::thread client([&] { pid = accessibility.dockProcessIdentifier(); }); // the server needs this thread's loop
        QTRY_VERIFY(!pid.has_value());
        client.join();
        qputenv("KESTROWAN_DOCK_SOCKET", saved);
    }

    // The copy of the Dock's tree takes only a tree of its own form (whole numbers where they
    // belong, frames of finite numbers): a Dock that sends anything else is refused with one line,
    // however often it is read; threads that may wait ask it instead.
    void aTreeThatIsNotOneIsNotKept_data()
    {
        QTest::addColumn<QCborValue>("version");
        QTest::addColumn<QString>("logged");
        QTest::newRow("unreadable") << QCborValue(DockWire::treeVersion) << QStringLiteral("the Dock sent an unreadable tree");
        QTest::newRow("another form") << QCborValue(DockWire::treeVersion + 1)
                                      << QStringLiteral("the Dock keeps its tree in form %1").arg(DockWire::treeVersion + 1);
        QTest::newRow("no form") << QCborValue() << QStringLiteral("the Dock keeps its tree in form ?");
    }

    void aTreeThatIsNotOneIsNotKept()
    {
        QFETCH(QCborValue, version);
        QFETCH(QString, logged);
        const QByteArray saved = qgetenv("KESTROWAN_DOCK_SOCKET");
        const QString path = QDir::homePath() + QStringLiteral("/hostile.sock");
        qputenv("KESTROWAN_DOCK_SOCKET", path.toUtf8());
        QLocalServer server;
        QVERIFY(server.listen(path));
        int attributeRequests = 0;
        int mirrorRequests = 0;
        connect(&server, &QLocalServer::newConnection, this, [&] {
            QLocalSocket *socket = server.nextPendingConnection();
            auto reader = std::make_shared<DockWire::FrameReader>();
            connect(socket, &QLocalSocket::readyRead, socket, [&, socket, reader] {
                reader->append(socket->readAll());
                while (const std::optional<QCborMap> request = reader->next()) {
                    const QString op = request->value(QStringLiteral("op")).toString();
                    QCborMap reply{{QStringLiteral("re"), request->value(QStringLiteral("seq"))}, {QStringLiteral("err"), 0},
                                   {QStringLiteral("pid"), 77}};
                    if (op == DockWire::Op::mirror) {
                        const QCborMap tile{{QStringLiteral("id"), 1e300}, {QStringLiteral("title"), QStringLiteral("x")},
                                            {QStringLiteral("sub"), QString()}, {QStringLiteral("path"), QStringLiteral("/x")},
                                            {QStringLiteral("frame"), QCborArray{0, 0, 10, 10}}};
                        reply.insert(QStringLiteral("layout"),
                                     QCborMap{{QStringLiteral("tiles"), QCborArray{tile}},
                                              {QStringLiteral("bar"), QCborArray{0, 0, qQNaN(), 10}},
                                              {QStringLiteral("shown"), true}});
                        reply.insert(QStringLiteral("sel"), 1e300);
                        if (!version.isUndefined())
                            reply.insert(QStringLiteral("v"), version);
                        ++mirrorRequests;
                    } else if (op == DockWire::Op::attribute) {
                        ++attributeRequests;
                        reply.insert(QStringLiteral("value"), DockWire::encodeValue(QStringLiteral("from the Dock")));
                    }
                    socket->write(DockWire::frame(reply));
                }
            });
        });
        grantThisProcess();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^No copy of the Dock's tree: ") + QRegularExpression::escape(logged)));
        DockSocketAccessibility accessibility;
        QVariant value;
        // This thread asks for the copy and does not wait: it cannot complete a read meanwhile.
        QCOMPARE(accessibility.copyAttributeValue(AXUIElement{77, DockWire::applicationElement}, QStringLiteral("AXTitle"), &value),
                 AXError::CannotComplete);
        QTRY_COMPARE(mirrorRequests, 1);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(accessibility.copyAttributeValue(AXUIElement{77, DockWire::applicationElement}, QStringLiteral("AXTitle"), &value),
                     AXError::CannotComplete);
            QCoreApplication::processEvents();
        }
        QCOMPARE(mirrorRequests, 1);
        AXError error = AXError::Failure;
        // The server needs this thread's loop.
        std::thread client([&] {
            error = accessibility.copyAttributeValue(AXUIElement{77, DockWire::applicationElement}, QStringLiteral("AXTitle"), &value);
        });
        QTRY_COMPARE(attributeRequests, 1);
        client.join();
        QCOMPARE(error, AXError::Success);
        QCOMPARE(value.toString(), QStringLiteral("from the Dock"));
        qputenv("KESTROWAN_DOCK_SOCKET", saved);
    }

    // The copy follows what the Dock sends: a tile added and the selection moved are read without
    // asking the Dock again.
    void theCopyFollowsTheDock()
    {
        grantThisProcess();
        DockSocketAccessibility accessibility;
        const AXUIElement list{dockPid, DockWire::listElement};
        QVariant value;
        QTRY_COMPARE(accessibility.copyAttributeValue(list, QStringLiteral("AXChildren"), &value), AXError::Success);
        QCOMPARE(value.value<QList<AXUIElement>>().size(), 2);
        DockTreeMirror *copy = accessibility.mirror();
        QVERIFY(copy);
        const quint64 updates = copy->updatesReceived();

        const quint64 added = DockWire::firstTileIdentifier + 2;
        m_state.setTiles({{DockWire::firstTileIdentifier, QStringLiteral("Mail"), QStringLiteral("AXApplicationDockItem"),
                           QStringLiteral("/apps/mail.desktop"), QRectF(100, 830, 56, 56)},
                          {added, QStringLiteral("Notes"), QStringLiteral("AXApplicationDockItem"),
                           QStringLiteral("/apps/notes.desktop"), QRectF(162, 830, 56, 56)},
                          {DockWire::firstTileIdentifier + 1, QStringLiteral("Work"), QStringLiteral("AXFolderDockItem"),
                           QStringLiteral("/home/u/Work Tools"), QRectF(224, 830, 56, 56)}},
                         QRectF(94, 824, 192, 68), true);
        m_server->publishLayout();
        QTRY_COMPARE(copy->updatesReceived(), updates + 1);
        QCOMPARE(accessibility.copyAttributeValue(list, QStringLiteral("AXChildren"), &value), AXError::Success);
        QCOMPARE(value.value<QList<AXUIElement>>().size(), 3);
        AXUIElement hit;
        QCOMPARE(accessibility.copyElementAtPosition(accessibility.createApplication(dockPid), QPointF(250, 850), &hit), AXError::Success);
        QCOMPARE(hit.elementIdentifier, DockWire::firstTileIdentifier + 1);
        QCOMPARE(accessibility.copyAttributeValue(AXUIElement{dockPid, added}, QStringLiteral("AXTitle"), &value), AXError::Success);
        QCOMPARE(value.toString(), QStringLiteral("Notes"));

        m_state.setSelected(added);
        m_server->notify(DockWire::listElement, QStringLiteral("AXSelectedChildrenChanged"));
        QTRY_COMPARE(copy->updatesReceived(), updates + 2);
        QCOMPARE(accessibility.copyAttributeValue(list, QStringLiteral("AXSelectedChildren"), &value), AXError::Success);
        QCOMPARE(value.value<QList<AXUIElement>>(), (QList<AXUIElement>{{dockPid, added}}));
        m_state.setSelected(std::nullopt);
        m_server->notify(DockWire::listElement, QStringLiteral("AXSelectedChildrenChanged"));
    }
    // The Dock keeps, beside its socket, the programs that have a tap that may drop events, for the
    // Dock that comes after it: not for a listen-only tap; for an active one before its answer goes;
    // and no longer once its connection has gone.
    void programsWithAnActiveTapAreKeptBesideTheSocket()
    {
        grantThisProcess();
        const TapClientsFile file(TapClientsFile::besideSocket(DockWire::socketPath()));
        const std::optional<TapClientsFile::Client> self = TapClientsFile::running(QCoreApplication::applicationPid());
        QVERIFY(self);
        QSignalSpy installed(m_server, &DockServer::activeTapInstalled);
        DockSocketEventTaps taps;
        const auto pass = [](CGEventType, const CGEvent &) { return EventTapVerdict::Pass; };
        std::unique_ptr<EventTap> listening = taps.createTap(CGEventTapLocation::Session, CGEventTapPlacement::TailAppend,
                                                             CGEventTapOptions::ListenOnly, 32, pass);
        QVERIFY(listening);
        QTRY_COMPARE(m_hub->count(), 1);
        QVERIFY(!file.read().contains(*self));
        QCOMPARE(installed.count(), 0);

        std::unique_ptr<EventTap> active = taps.createTap(CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert,
                                                          CGEventTapOptions::Default, 2, pass);
        QVERIFY(active);
        QTRY_COMPARE(installed.count(), 1);
        QCOMPARE(file.read(), QList<TapClientsFile::Client>{*self});
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(file.path()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0600));

        // Its decisions rest on its copy of the tiles: once it keeps one, the next Dock waits for
        // that too, and a copy of its own is no wait.
        {
            DockSocketAccessibility accessibility;
            QTRY_COMPARE(accessibility.dockProcessIdentifier(), std::optional<qint64>(dockPid));
            TapClientsFile::Client keeping = *self;
            keeping.keepsCopy = true;
            QTRY_COMPARE(file.read(), QList<TapClientsFile::Client>{keeping});
            QCOMPARE(file.stillRunning(), QList<TapClientsFile::Client>{}); // this very process
        }
        QTRY_COMPARE(file.read(), QList<TapClientsFile::Client>{*self});

        active.reset();
        QTRY_VERIFY(file.read().isEmpty());
        listening.reset();
        QTRY_COMPARE(m_hub->count(), 0);
    }

    // After a restart the bar's events wait for each program's tap and, where it kept one, for its
    // copy of the tiles, in either order; a program's listen-only tap or another's copy is no end to it.
    void aProgramIsWaitedForUntilItHasItsTapAndItsCopy()
    {
        TapHub hub([](quint64, const QByteArray &) {}, 500);
        const qint64 program = 4242;
        const qint64 other = 4343;
        hub.awaitTaps({program, other}, 60000, {program});
        QVERIFY(hub.awaitedFor() > 0);
        hub.add(1, CGEventTapLocation::HID, true, false, 2, true, other);
        hub.add(2, CGEventTapLocation::HID, true, true, 2, true, program);
        hub.copySent(other);
        QVERIFY(hub.awaitedFor() > 0);
        const quint64 tap = hub.add(3, CGEventTapLocation::HID, true, false, 2, true, program);
        QVERIFY2(hub.awaitedFor() > 0, "the tap is back, its copy is not");
        hub.copySent(program);
        QCOMPARE(hub.awaitedFor(), qint64(-1));

        hub.awaitTaps({program}, 60000, {program});
        hub.copySent(program);
        QVERIFY2(hub.awaitedFor() > 0, "the copy came first, the tap is not back");
        hub.remove(tap);
        hub.add(4, CGEventTapLocation::HID, true, false, 2, true, program);
        QCOMPARE(hub.awaitedFor(), qint64(-1));

        // A tap that goes while its copy is awaited is awaited again, and the copy still is.
        hub.awaitTaps({program}, 60000, {program});
        const quint64 replaced = hub.add(5, CGEventTapLocation::HID, true, false, 2, true, program);
        hub.remove(replaced, true);
        hub.add(6, CGEventTapLocation::HID, true, false, 2, true, program);
        QVERIFY(hub.awaitedFor() > 0);
        hub.copySent(program);
        QCOMPARE(hub.awaitedFor(), qint64(-1));
    }

    // What a Dock reads at its start is outside input: anything but the list it writes means that no
    // tap is expected back, and nothing in the file's place is written through or blocks the read.
    void aListOfTapClientsThatIsNotOneExpectsNobody()
    {
        const QString path = QDir::homePath() + QStringLiteral("/other.sock.tap-clients");
        const TapClientsFile file(path);
        QVERIFY(file.read().isEmpty());

        const qint64 parent = ::getppid();
        const std::optional<TapClientsFile::Client> running = TapClientsFile::running(parent);
        QVERIFY(running);
        const std::optional<TapClientsFile::Client> self = TapClientsFile::running(QCoreApplication::applicationPid());
        QVERIFY(self);
        // Another process given the parent's identifier later started later.
        const TapClientsFile::Client reused{parent, running->started + 1};
        const TapClientsFile::Client gone{qint64(INT_MAX) - 3, 12345};
        QVERIFY(file.write({*running, *self, reused, gone}));
        QCOMPARE(file.read(), (QList<TapClientsFile::Client>{*running, *self, reused, gone}));
        QCOMPARE(file.stillRunning(), QList<TapClientsFile::Client>{*running});

        // A list written before copies were kept in it holds programs that keep none.
        QFile first(path);
        QVERIFY(first.open(QIODevice::WriteOnly | QIODevice::Truncate));
        first.write("kestrowan-dock-tap-clients 1\n" + QByteArray::number(parent) + ' ' + QByteArray::number(running->started) + '\n');
        first.close();
        QCOMPARE(file.read(), QList<TapClientsFile::Client>{*running});
        TapClientsFile::Client keeping = *running;
        keeping.keepsCopy = true;
        QVERIFY(file.write({keeping}));
        QCOMPARE(file.stillRunning(), QList<TapClientsFile::Client>{keeping});

        const QByteArray header = "kestrowan-dock-tap-clients 2\n";
        const QByteArray valid = QByteArray::number(parent) + ' ' + QByteArray::number(running->started) + '\n';
        QByteArray many = header;
        for (int i = 0; i < 100; ++i)
            many += valid;
        QByteArray noise(4096, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 131 + 7) % 256);
        const QList<QByteArray> garbage{
            QByteArray(), "garbage", header.chopped(1), header + valid.chopped(1), header + "12 x\n", header + "-5 3\n",
            header + "0 3\n", header + "1 2 3\n", header + valid.chopped(1) + " copy copy\n",
            header + valid.chopped(1) + " Copy\n", "kestrowan-dock-tap-clients 1\n" + valid.chopped(1) + " copy\n", header + "99999999999999999999 1\n", header + " " + valid,
            "kestrowan-dock-tap-clients 3\n" + valid, valid + header, many, noise, header + QByteArray(100 * 1024, '1')};
        for (const QByteArray &bytes : garbage) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
            out.close();
            QVERIFY2(file.read().isEmpty(), bytes.left(60).toHex().constData());
            QVERIFY(file.stillRunning().isEmpty());
        }

        // A fifo is neither read (nothing would ever write to it) nor replaced.
        QVERIFY(QFile::remove(path));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(file.read().isEmpty());
        QVERIFY(!file.write({*running}));
        QVERIFY(QFileInfo(path).isFile() == false && QFileInfo::exists(path));
        QVERIFY(QFile::remove(path));

        // A link in its place is not written through.
        const QString elsewhere = QDir::homePath() + QStringLiteral("/elsewhere");
        {
            QFile target(elsewhere);
            QVERIFY(target.open(QIODevice::WriteOnly));
            target.write(header + valid);
        }
        QVERIFY(QFile::link(elsewhere, path));
        QVERIFY(!file.write({*self}));
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), header + valid);
        target.close();
        // Nor read through: what another file says is no list of this Dock's.
        QVERIFY2(file.read().isEmpty(), "read through a link");
        QVERIFY(QFile::remove(path));

        // A file that shares its contents with another name is not read, and is never written into
        // nor has its mode changed: the list gets a file of its own.
        QVERIFY(QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(::link(QFile::encodeName(elsewhere).constData(), QFile::encodeName(path).constData()), 0);
        QVERIFY2(file.read().isEmpty(), "read a file linked elsewhere");
        QVERIFY(file.write({*self}));
        QCOMPARE(file.read(), QList<TapClientsFile::Client>{*self});
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), header + valid);
        struct stat linked {};
        QCOMPARE(::stat(QFile::encodeName(elsewhere).constData(), &linked), 0);
        QCOMPARE(linked.st_mode & 07777, mode_t(0644));
        QCOMPARE(linked.st_nlink, nlink_t(1));
        struct stat own {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &own), 0);
        QCOMPARE(own.st_mode & 07777, mode_t(0600));
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::remove(elsewhere));
    }

    // The running applications a restarted Dock lays out from its start: what it reads is outside
    // input, and anything but the list a Dock writes expects nobody.
    void aListOfRunningApplicationsThatIsNotOneExpectsNobody()
    {
        const QString path = QDir::homePath() + QStringLiteral("/other.sock.running-applications");
        const RunningApplicationsFile file(path);
        QVERIFY(file.read().isEmpty());
        const std::optional<TapClientsFile::Client> self = TapClientsFile::running(QCoreApplication::applicationPid());
        QVERIFY(self);
        const RunningApplicationsFile::Application running{*self, QStringLiteral("Name with spaces ✓"),
                                                           QStringLiteral("/opt/a b/app"), QByteArray("\x89PNG\0 bytes", 11)};
        const RunningApplicationsFile::Application gone{{qint64(INT_MAX) - 3, 12345}, QString(), QStringLiteral("/bin/x"), {}};
        QVERIFY(file.write({running, gone}));
        QCOMPARE(file.read(), (QList<RunningApplicationsFile::Application>{running, gone}));
        QCOMPARE(file.stillRunning(), QList<RunningApplicationsFile::Application>{running});

        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray valid = in.readAll();
        in.close();
        const QByteArray header = valid.left(valid.indexOf('\n') + 1);
        const QByteArray line = valid.mid(header.size(), valid.indexOf('\n', header.size()) + 1 - header.size());
        const QList<QByteArray> garbage{QByteArray(), "garbage", valid.chopped(1), header + "1 2 3 4\n",
                                        header + QByteArray(line).replace(' ', "  "), header + "1 2 !! L2Jpbg== \n",
                                        header + "1 2 bmFtZQ== \n", "kestrowan-dock-running-applications 2\n" + valid.mid(header.size()),
                                        header + QByteArray(5 * 1024 * 1024, 'A')};
        for (const QByteArray &bytes : garbage) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(bytes);
            out.close();
            QVERIFY2(file.read().isEmpty(), bytes.left(60).toHex().constData());
        }
        // Never read through a link.
        QVERIFY(QFile::remove(path));
        const QString elsewhere = QDir::homePath() + QStringLiteral("/running-elsewhere");
        QVERIFY(RunningApplicationsFile(elsewhere).write({running}));
        QVERIFY(QFile::link(elsewhere, path));
        QVERIFY(file.read().isEmpty());
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::remove(elsewhere));
    }
};

KESTROWAN_TEST_MAIN(TestDockWire)
#include "tst_dockwire.moc"
