#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/support/TestFiles.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QByteArray skinJson(const QString &id, const QString &name, const QJsonArray &layers = {}, int canvasSize = 512)
{
    return QJsonDocument(QJsonObject{{"id", id}, {"name", name}, {"version", 1}, {"canvasSize", canvasSize}, {"layers", layers}, {"slots", QJsonArray{}}})
        .toJson();
}

QStringList names(const QList<SkinDefinition> &skins)
{
    QStringList list;
    for (const SkinDefinition &skin : skins)
        list.append(skin.name);
    return list;
}


} // namespace

class TestSkinManager : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstLaunchInstallsAndSortsShippedSkins();
    void unchangedSkinsAreNotCopiedAgain();
    void editedSkinJsonIsReplacedByTheShippedFiles();
    void aFileSavedUnderAShippedNameAsItIsInstalledStays();
    void retiredSkinsGoOnlyWhenSomethingIsShipped();
    void brokenInstalledSkinsStayOnDiskUnlisted();
    void skinsThatReachOutsideTheirFolderAreRefused();
    void aLinkedSkinIsLeftAsTheUserMadeIt();
    void skinWithIDIsExact();
    void unusableSkinsDirectory();
    void defaultsToTheProgramsFolders();

private:
    QString shipped(const QString &rel = {}) const { return m_root->filePath("Shipped/" + rel); }
    QString installed(const QString &rel = {}) const { return m_root->filePath("Skins/" + rel); }
    void ship(const QString &folder, const QString &id, const QString &name)
    {
        QVERIFY(writeTestFile(shipped(folder + "/skin.json"), skinJson(id, name, {QJsonObject{{"imageName", "art.png"}, {"zOrder", "background"}, {"opacity", 1}, {"blendMode", "normal"}}})));
        QVERIFY(writeTestFile(shipped(folder + "/art.png"), "shipped art"));
    }
    std::unique_ptr<QTemporaryDir> m_root;
};

void TestSkinManager::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QVERIFY(QDir().mkpath(shipped()));
}

void TestSkinManager::cleanup()
{
    m_root.reset();
}

void TestSkinManager::firstLaunchInstallsAndSortsShippedSkins()
{
    ship("beta", "beta", "Beta");
    ship("lower", "lower", "alpha");
    ship("upper", "upper", "Alpha");
    ship("accent", "accent", QStringLiteral("A\u0301ccent")); // decomposed: sorts as its composed form
    QVERIFY(QDir().mkpath(shipped("no-description")));
    QVERIFY(writeTestFile(shipped("no-description/art.png"), "x"));
    QVERIFY(writeTestFile(shipped("loose-file.json"), skinJson("loose", "Loose")));

    const SkinManager manager(installed(), shipped());
    QCOMPARE(names(manager.availableSkins()), (QStringList{"Alpha", "Beta", "alpha", QStringLiteral("A\u0301ccent")}));
    QCOMPARE(readTestFile(installed("beta/art.png")), QByteArray("shipped art"));
    QVERIFY(!QFileInfo::exists(installed("no-description")));
    QVERIFY(!QFileInfo::exists(installed("loose-file.json")));
    // Installed copies are the user's to change.
    QVERIFY(QFileInfo(installed("beta/art.png")).isWritable());
    QCOMPARE(manager.skinsDirectory(), installed());
}

void TestSkinManager::unchangedSkinsAreNotCopiedAgain()
{
    ship("beta", "beta", "Beta");
    { SkinManager first(installed(), shipped()); }
    // The user changed an image and added a file: both survive the next start.
    QVERIFY(writeTestFile(installed("beta/art.png"), "my own art"));
    QVERIFY(writeTestFile(installed("beta/notes.txt"), "mine"));
    const SkinManager second(installed(), shipped());
    QCOMPARE(readTestFile(installed("beta/art.png")), QByteArray("my own art"));
    QVERIFY(QFileInfo::exists(installed("beta/notes.txt")));
    QCOMPARE(names(second.availableSkins()), QStringList{"Beta"});
}

// The shipped files replace the installed ones the install left as it made them; a file the user
// edited is theirs and stays, and so does what the user added.
void TestSkinManager::editedSkinJsonIsReplacedByTheShippedFiles()
{
    ship("beta", "beta", "Beta");
    { SkinManager first(installed(), shipped()); }
    QVERIFY(writeTestFile(installed("beta/art.png"), "my own art"));
    QVERIFY(writeTestFile(installed("beta/notes.txt"), "mine"));
    QVERIFY(writeTestFile(shipped("beta/art.png"), "shipped art two"));
    QVERIFY(writeTestFile(shipped("beta/skin.json"), skinJson("beta", "Beta Two")));
    const SkinManager second(installed(), shipped());
    QCOMPARE(readTestFile(installed("beta/skin.json")), readTestFile(shipped("beta/skin.json")));
    QCOMPARE(readTestFile(installed("beta/art.png")), QByteArray("my own art"));
    QCOMPARE(readTestFile(installed("beta/notes.txt")), QByteArray("mine"));
    QCOMPARE(names(second.availableSkins()), QStringList{"Beta Two"});

    // The user's own "skin.json" is theirs too: a later shipped change leaves it.
    QVERIFY(writeTestFile(installed("beta/skin.json"), skinJson("beta", "My Beta")));
    QVERIFY(writeTestFile(shipped("beta/skin.json"), skinJson("beta", "Beta Three")));
    const SkinManager third(installed(), shipped());
    QCOMPARE(names(third.availableSkins()), QStringList{"My Beta"});
}

// The user saves a file under a shipped file's name after the install looked and before it put
// its copy there: the user's stays, and is not taken for the install's at the next start either.
void TestSkinManager::aFileSavedUnderAShippedNameAsItIsInstalledStays()
{
    ship("beta", "beta", "Beta");
    const QString records = QFileInfo(installed()).absolutePath() + "/Made Entries";
    const QString art = installed("beta/art.png");
    bool reached = false;
    // The moment: a write of the record once it names the file as about to be made.
    SafeWrite::refuseUnnamedFiles(true);
    SafeWrite::watchNamedTemporaries([&](const QString &path) {
        if (reached || !path.startsWith(records) || QFileInfo::exists(art))
            return;
        for (const QString &record : QDir(records).entryList(QDir::Files)) {
            QFile file(records + u'/' + record);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(QByteArray("beta/art.png").toHex())) {
                reached = writeTestFile(art, "my own art");
                return;
            }
        }
    });
    { SkinManager first(installed(), shipped()); }
    SafeWrite::watchNamedTemporaries(nullptr);
    SafeWrite::refuseUnnamedFiles(false);
    QVERIFY(reached);
    QCOMPARE(readTestFile(art), QByteArray("my own art"));
    QVERIFY(writeTestFile(shipped("beta/art.png"), "shipped art two"));
    QVERIFY(writeTestFile(shipped("beta/skin.json"), skinJson("beta", "Beta Two")));
    const SkinManager second(installed(), shipped());
    QCOMPARE(readTestFile(art), QByteArray("my own art"));
    QCOMPARE(names(second.availableSkins()), QStringList{"Beta Two"});
}

void TestSkinManager::retiredSkinsGoOnlyWhenSomethingIsShipped()
{
    for (const char *id : {"midnight-ink", "mint-grid", "peach-cloud"})
        QVERIFY(writeTestFile(installed(QString::fromLatin1(id) + "/skin.json"), skinJson(id, id)));
    {
        const SkinManager noShipped(installed(), m_root->filePath("Nowhere"));
        QCOMPARE(noShipped.availableSkins().size(), 3);
    }
    {
        const SkinManager emptySource(installed(), QString());
        QCOMPARE(emptySource.availableSkins().size(), 3);
    }
    // An empty shipped folder still counts as a source, but folders the program did not install stay.
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Kept the retired skin folder "));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Kept the retired skin folder "));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Kept the retired skin folder "));
    const SkinManager withSource(installed(), shipped());
    QCOMPARE(withSource.availableSkins().size(), 3);

    // What an install put there goes at once.
    for (const char *id : {"midnight-ink", "mint-grid", "peach-cloud"})
        QVERIFY(QDir(installed(QString::fromLatin1(id))).removeRecursively());
    ship("mint-grid", "mint-grid", "Mint");
    const SkinManager installedThenRetired(installed(), shipped());
    QVERIFY(installedThenRetired.availableSkins().isEmpty());
    QVERIFY(!QFileInfo::exists(installed("mint-grid")));
}

void TestSkinManager::brokenInstalledSkinsStayOnDiskUnlisted()
{
    QVERIFY(writeTestFile(installed("good/skin.json"), skinJson("good", "Good")));
    QVERIFY(writeTestFile(installed("garbage/skin.json"), "{ not json"));
    QVERIFY(writeTestFile(installed("typed/skin.json"), QByteArray(skinJson("typed", "Typed")).replace("\"version\": 1", "\"version\": \"1\"")));
    QVERIFY(QDir().mkpath(installed("bare")));
    QVERIFY(writeTestFile(installed("stray.json"), skinJson("stray", "Stray")));
    LogCapture log;
    const SkinManager manager(installed(), shipped());
    QCOMPARE(names(manager.availableSkins()), QStringList{"Good"});
    for (const char *left : {"garbage/skin.json", "typed/skin.json", "bare", "stray.json"})
        QVERIFY(QFileInfo::exists(installed(QString::fromLatin1(left))));
    QCOMPARE(log.countText("garbage"), 1);
    QCOMPARE(log.countText("typed"), 1);
}

void TestSkinManager::skinsThatReachOutsideTheirFolderAreRefused()
{
    const auto layer = [](const QString &name) {
        return QJsonArray{QJsonObject{{"imageName", name}, {"zOrder", "background"}, {"opacity", 1}, {"blendMode", "normal"}}};
    };
    QVERIFY(writeTestFile(installed("renamed/skin.json"), skinJson("elsewhere", "Renamed")));
    QVERIFY(writeTestFile(installed("climber/skin.json"), skinJson("climber", "Climber", layer("../renamed/skin.json"))));
    QVERIFY(writeTestFile(installed("absolute/skin.json"), skinJson("absolute", "Absolute", layer("/etc/hostname"))));
    QVERIFY(writeTestFile(installed("giant/skin.json"), skinJson("giant", "Giant", {}, 1 << 20)));
    QVERIFY(writeTestFile(installed("speck/skin.json"), skinJson("speck", "Speck", {}, 0)));
    QVERIFY(writeTestFile(installed("fine/skin.json"), skinJson("fine", "Fine", layer("sub/art.png"))));
    LogCapture log;
    const SkinManager manager(installed(), shipped());
    QCOMPARE(names(manager.availableSkins()), QStringList{"Fine"});
    for (const char *folder : {"renamed", "climber", "absolute", "giant", "speck"})
        QCOMPARE(log.countText(QStringLiteral("Refused skin folder %1").arg(QLatin1String(folder))), 1);
    QVERIFY(!manager.skinWithID("elsewhere").has_value());
}

void TestSkinManager::aLinkedSkinIsLeftAsTheUserMadeIt()
{
    // An installed "beta" that is a link to a folder of the user's: nothing is written or removed through it.
    const QString outside = m_root->filePath("UserFolder");
    QVERIFY(writeTestFile(outside + "/skin.json", skinJson("beta", "Old")));
    QVERIFY(writeTestFile(outside + "/precious.txt", "keep me"));
    QVERIFY(QDir().mkpath(installed()));
    QVERIFY(QFile::link(outside, installed("beta")));
    ship("beta", "beta", "Beta");
    // A link inside a shipped skin is not followed into the copy either.
    QVERIFY(QFile::link(outside + "/precious.txt", shipped("beta/linked.txt")));
    QTest::ignoreMessage(QtCriticalMsg, "Refused to install skin beta: beta is a link");
    const SkinManager manager(installed(), shipped());
    QCOMPARE(readTestFile(outside + "/precious.txt"), QByteArray("keep me"));
    QVERIFY(QFileInfo(installed("beta")).isSymLink());
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), (QStringList{"precious.txt", "skin.json"}));
    QCOMPARE(names(manager.availableSkins()), QStringList{"Old"});

    // Elsewhere, a link inside a shipped skin is not followed into the copy.
    ship("gamma", "gamma", "Gamma");
    QVERIFY(QFile::link(outside + "/precious.txt", shipped("gamma/linked.txt")));
    QTest::ignoreMessage(QtCriticalMsg, "Refused to install skin beta: beta is a link");
    const SkinManager again(installed(), shipped());
    QVERIFY(QFileInfo::exists(installed("gamma/art.png")));
    QVERIFY(!QFileInfo::exists(installed("gamma/linked.txt")) && !QFileInfo(installed("gamma/linked.txt")).isSymLink());
}

void TestSkinManager::skinWithIDIsExact()
{
    ship("beta", "beta", "Beta");
    ship("gamma", "gamma", "Gamma");
    const SkinManager manager(installed(), shipped());
    QCOMPARE(manager.skinWithID("gamma")->name, QStringLiteral("Gamma"));
    QVERIFY(!manager.skinWithID("Gamma").has_value());
    QVERIFY(!manager.skinWithID("").has_value());
}

void TestSkinManager::unusableSkinsDirectory()
{
    // The skins directory's place is taken by a file: nothing can be installed or listed.
    QVERIFY(writeTestFile(m_root->filePath("Blocked"), "a file"));
    ship("beta", "beta", "Beta");
    const SkinManager manager(m_root->filePath("Blocked"), shipped());
    QVERIFY(manager.availableSkins().isEmpty());
    QCOMPARE(readTestFile(m_root->filePath("Blocked")), QByteArray("a file"));
}

void TestSkinManager::defaultsToTheProgramsFolders()
{
    const SkinManager manager;
    QCOMPARE(manager.skinsDirectory(), skinsDirectoryURL());
    QVERIFY(QFileInfo(skinsDirectoryURL()).isDir());
}

KESTROWAN_TEST_MAIN(TestSkinManager)
#include "tst_skinmanager.moc"
