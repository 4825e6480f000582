// A process killed in the middle of saving leaves "groups.json" whole: the old content or the new,
// never a part of either.
#include "Kestrowan/groups/AppGroup.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <variant>

namespace {

constexpr int groupsPerGeneration = 300;

// The generation the file holds, or a reason why it is not one whole generation.
std::variant<qint64, QString> generationIn(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("not JSON: %1 (%2 bytes)").arg(error.errorString()).arg(bytes.size());
    const std::optional<QList<AppGroup>> groups = AppGroup::listFromJson(document.array());
    if (!document.isArray() || !groups)
        return QStringLiteral("not a list of groups");
    if (groups->size() != groupsPerGeneration)
        return QStringLiteral("%1 groups").arg(groups->size());
    const QString name = groups->first().name;
    for (const AppGroup &group : *groups) {
        if (group.name != name)
            return QStringLiteral("mixed generations");
    }
    return name.section(u' ', 1).toLongLong();
}

} // namespace

class TestSaveKill : public QObject {
    Q_OBJECT

private slots:
    void killedSavesLeaveOldOrNewContent()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/groups.json");
        int observed = 0;
        for (int round = 0; round < 40; ++round) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(STORE_SAVE_LOOP_PATH), {dir.path(), QString::number(groupsPerGeneration)});
            QVERIFY(child.waitForStarted());
            // Saves are written in the background: the first round lets one reach the file, however
            // slowly the child starts, so that every later round has an old content to keep.
            if (round == 0)
                QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(file), 20000);
            // Let it run for a random while, so the kill lands anywhere in the loop.
            QThread::msleep(QRandomGenerator::global()->bounded(5, 120));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished());
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);

            if (!QFileInfo::exists(file))
                continue; // killed before its first save
            const std::variant<qint64, QString> generation = generationIn(readBytes(file));
            if (const QString *reason = std::get_if<QString>(&generation))
                QFAIL(qPrintable(QStringLiteral("round %1: %2").arg(round).arg(*reason)));
            ++observed;
        }
        QVERIFY(observed > 0);
    }
};

KESTROWAN_TEST_MAIN(TestSaveKill)
#include "tst_savekill.moc"
