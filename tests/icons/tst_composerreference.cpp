// Composed group icons compared against reference pictures kept in tests/icons/reference: whatever
// is made faster inside the composer, the pictures may move by at most two levels per channel (wide
// shadows are blurred at half resolution; a level or two is beyond what anyone sees).
// Run with KESTROWAN_WRITE_REFERENCE_PICTURES=1 to write the references afresh (only when the look is
// meant to change).
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTemporaryDir>

using Style = AppGroup::IconStyle;

namespace {

QString referenceFolder()
{
    return QStringLiteral(KESTROWAN_SOURCE_DIR "/tests/icons/reference");
}

bool writingReferences()
{
    return qEnvironmentVariableIntValue("KESTROWAN_WRITE_REFERENCE_PICTURES") == 1;
}

QIcon appIcon(const QColor &top, const QColor &bottom)
{
    return drawnAppIcon(top, bottom, [](QPainter &p) {
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(256, 256), 110, 110);
    });
}

QImage photo()
{
    QImage image(900, 600, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0, QColor(255, 170, 110));
    sky.setColorAt(1, QColor(60, 110, 90));
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(255, 240, 200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(600, 250), 80, 80);
    return image;
}

void writeDocument(const QString &path)
{
    writeReportDocument(path, [](QPainter &p, int unit) {
        for (int line = 0; line < 12; ++line)
            p.fillRect(QRect(unit * 2, unit * (7 + line * 2), unit * (line % 3 == 2 ? 9 : 16), unit / 2), QColor(150, 150, 150));
    });
}

// The largest difference of any channel of any pixel, both taken premultiplied.
int largestDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            largest = std::max({largest, std::abs(qRed(p[column]) - qRed(q[column])), std::abs(qGreen(p[column]) - qGreen(q[column])),
                                std::abs(qBlue(p[column]) - qBlue(q[column])), std::abs(qAlpha(p[column]) - qAlpha(q[column]))});
        }
    }
    return largest;
}

} // namespace

class TestComposerReference : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void matchesReference_data();
    void matchesReference();
    void secondComposeIsTheSame();
    void changedFilesAreDrawnAgain();

private:
    AppItem item(const QString &path) const
    {
        return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
    }
    QImage compose(const QString &items, Style style, const QString &skinId) const;

    QTemporaryDir m_dir;
    QMap<QChar, AppItem> m_items;
    std::unique_ptr<SkinManager> m_skins;
};

void TestComposerReference::initTestCase()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    FakeWorkspace &workspace = installFakeWorkspace();
    QVERIFY(m_dir.isValid());
    workspace.fileIcons.insert(QStringLiteral("/Applications/Red.app"), appIcon(QColor(255, 94, 120), QColor(214, 40, 90)));
    workspace.fileIcons.insert(QStringLiteral("/Applications/Blue.app"), appIcon(QColor(70, 160, 255), QColor(30, 90, 220)));
    QVERIFY(photo().save(m_dir.filePath("Evening.jpg"), "jpg", 90));
    writeDocument(m_dir.filePath("Report.pdf"));
    QVERIFY(QDir().mkpath(m_dir.filePath("Projects")));
    QFile notes(m_dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("notes");
    notes.close();
    // One letter per item, so that a row of the table below reads as the group's items.
    m_items.insert(u'r', item("/Applications/Red.app"));
    m_items.insert(u'b', item("/Applications/Blue.app"));
    m_items.insert(u'j', item(m_dir.filePath("Evening.jpg")));
    m_items.insert(u'p', item(m_dir.filePath("Report.pdf")));
    m_items.insert(u'f', item(m_dir.filePath("Projects")));
    m_items.insert(u't', item(m_dir.filePath("notes.txt")));
    m_items.insert(u'l', AppItem{QUuid::createUuid(), "url:https://example.invalid/", "Example", "https://example.invalid/"});
    m_skins = std::make_unique<SkinManager>(m_dir.filePath("Skins"), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
    if (writingReferences())
        QVERIFY(QDir().mkpath(referenceFolder()));
}

QImage TestComposerReference::compose(const QString &items, Style style, const QString &skinId) const
{
    QList<AppItem> apps;
    for (const QChar letter : items)
        apps.append(m_items.value(letter));
    const auto skin = skinId.isEmpty() ? std::nullopt : m_skins->skinWithID(skinId);
    return settledGroupIcon(apps, style, skin, m_skins.get());
}

void TestComposerReference::matchesReference_data()
{
    QTest::addColumn<QString>("items");
    QTest::addColumn<Style>("style");
    QTest::addColumn<QString>("skinId");
    QTest::newRow("shelf-empty") << "" << Style::Shelf << "";
    QTest::newRow("shelf-1") << "j" << Style::Shelf << "";
    QTest::newRow("shelf-2") << "rp" << Style::Shelf << "";
    QTest::newRow("shelf-3") << "ftl" << Style::Shelf << "";
    QTest::newRow("shelf-5") << "rbjpf" << Style::Shelf << "";
    QTest::newRow("glass-4") << "rbjp" << Style::Glass << "";
    QTest::newRow("gradient-4") << "jpfl" << Style::Gradient << "";
    QTest::newRow("minimal-2") << "bt" << Style::Minimal << "";
    QTest::newRow("pelko-4") << "rbjp" << Style::Pelko << "";
    QTest::newRow("pelko-empty") << "" << Style::Pelko << "";
    QTest::newRow("skin-aurora-4") << "rbjp" << Style::Skin << "aurora";
    QTest::newRow("skin-ember-1") << "p" << Style::Skin << "ember";
    QTest::newRow("skin-tidepool-3") << "rft" << Style::Skin << "tidepool";
    QTest::newRow("skin-missing") << "rb" << Style::Skin << "";
}

void TestComposerReference::matchesReference()
{
    QFETCH(QString, items);
    QFETCH(Style, style);
    QFETCH(QString, skinId);
    const QImage icon = compose(items, style, skinId);
    const QString path = referenceFolder() + u'/' + QString::fromLatin1(QTest::currentDataTag()) + ".png";
    if (writingReferences()) {
        QVERIFY(icon.save(path, "png"));
        return;
    }
    const QImage reference(path);
    QVERIFY2(!reference.isNull(), qPrintable(path));
    QCOMPARE(icon.size(), reference.size());
    const int difference = largestDifference(icon, reference);
    if (difference > 2)
        icon.save(QStringLiteral(KESTROWAN_BINARY_DIR "/composer-mismatch-") + QTest::currentDataTag() + ".png", "png");
    QVERIFY2(difference <= 2, qPrintable(QStringLiteral("differs by %1 levels").arg(difference)));
}

void TestComposerReference::secondComposeIsTheSame()
{
    // Whatever is kept between calls must give the very same picture again.
    for (const Style style : {Style::Shelf, Style::Pelko, Style::Gradient}) {
        const QImage first = compose("rjpf", style, {});
        const QImage second = compose("rjpf", style, {});
        QCOMPARE(largestDifference(first, second), 0);
    }
    const QImage first = compose("bj", Style::Skin, "ember");
    QCOMPARE(largestDifference(first, compose("bj", Style::Skin, "ember")), 0);
}

void TestComposerReference::changedFilesAreDrawnAgain()
{
    // What is kept of a picture must follow the file: rewritten, replaced or removed.
    const QString path = m_dir.filePath("Changing.png");
    QVERIFY(writeSolidPicture(path, QSize(300, 300), QColor(220, 30, 30)));
    const QList<AppItem> apps{item(path)};
    const auto centre = [&] { return pointColor(settledGroupIcon(apps, Style::Minimal), 256, 270); };
    QCOMPARE_COLOR(centre(), QColor(220, 30, 30), 8);
    QVERIFY(writeSolidPicture(path, QSize(300, 300), QColor(30, 30, 220)));
    QCOMPARE_COLOR(centre(), QColor(30, 30, 220), 8);
    const QString other = m_dir.filePath("Other.png");
    QVERIFY(writeSolidPicture(other, QSize(300, 300), QColor(30, 200, 30)));
    QVERIFY(QFile::remove(path) && QFile::rename(other, path));
    QCOMPARE_COLOR(centre(), QColor(30, 200, 30), 8);
    QVERIFY(QFile::remove(path));
    // Gone: the file badge, on its paper-coloured card.
    QVERIFY(!sameColor(centre(), QColor(30, 200, 30), 60));
}

KESTROWAN_TEST_MAIN(TestComposerReference)
#include "tst_composerreference.moc"
