// Sync All in the real program beside the stand-in Dock, over many groups of documents, pictures,
// folders and applications, run twice: every group reaches the Dock and nothing the program draws
// meanwhile (folder icons, card icons, the window) is ever drawn by two painters at once, which Qt
// reports on the program's output.

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/shell/AppColors.h"
#include "tests/app/ProgramOnX.h"
#include "tests/app/SyncAllButton.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>

namespace {

constexpr int timeout = 60000;
constexpr int groupCount = 16;

// A picture of its own for each group, so that no two folder icons come out alike.
QByteArray pictureBytes(int seed)
{
    QImage image(96, 64, QImage::Format_ARGB32);
    image.fill(QColor::fromHsv((seed * 37) % 360, 180, 220));
    {
        QPainter painter(&image);
        painter.setBrush(QColor::fromHsv((seed * 91) % 360, 200, 120));
        painter.drawEllipse(QRect(10 + seed % 30, 8, 40, 40));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestSyncAllPainting : public QObject {
    Q_OBJECT
private:
    ProgramOnX m_run;
    XTestPointer m_pointer;

    static AppItem item(const QString &path)
    {
        return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
    }

    // Groups of two to four items of every kind, the applications and pictures of each its own.
    static QList<AppGroup> groups()
    {
        const QString home = QDir::homePath();
        QList<AppGroup> groups;
        for (int i = 0; i < groupCount; ++i) {
            const QString folder = home + QStringLiteral("/Documents/set%1").arg(i);
            QDir().mkpath(folder);
            const QString picture = folder + QStringLiteral("/photo%1.png").arg(i);
            writeTestFile(picture, pictureBytes(i));
            const QString text = folder + QStringLiteral("/notes%1.txt").arg(i);
            writeTestFile(text, "notes " + QByteArray::number(i));
            const QString application = home + QStringLiteral("/Applications/tool%1.desktop").arg(i);
            writeTestFile(application, "[Desktop Entry]\nType=Application\nName=Tool " + QByteArray::number(i) + "\nExec=/bin/true\n");
            AppGroup group;
            group.id = QUuid::createUuid();
            group.name = QStringLiteral("Group %1").arg(i);
            group.iconStyle = AppGroup::IconStyle(i % 3);
            group.apps = {item(picture), item(application), item(text), item(folder)};
            group.apps = group.apps.mid(0, 2 + i % 3);
            groups.append(group);
        }
        return groups;
    }

    QImage screen() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

    std::optional<X11Windows::Window> mainWindow() { return m_run.mainWindow(); }

    // Lines where Qt says a painter could not begin, or painted where another painter was at work.
    QStringList painterWarnings()
    {
        static const QRegularExpression warning(QStringLiteral("QPainter|paint device|QPaintDevice|painters"));
        return m_run.output().split(u'\n').filter(warning);
    }

    // The Dock's folder tiles; the program may have restarted the Dock since it last looked.
    int folderTiles()
    {
        if (const std::optional<qint64> dock = m_run.dock.tiles.dockProcess())
            m_run.dock.tiles.setDock(*dock);
        return int(m_run.dock.tiles.tiles().filter(QStringLiteral("(AXFolderDockItem)")).size());
    }

    int syncedIcons() const
    {
        // Each synced group's folder holds its icon file.
        const QString storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        int synced = 0;
        QDirIterator it(storage, {QStringLiteral("Icon\r")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++synced;
        }
        return synced;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_run.windows.isValid() && m_pointer.isValid(), "needs an X server");
        const QString dockFailure = m_run.startDock(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));
        ProgramOnX::skipOnboarding();
        const QString storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        QVERIFY(QDir().mkpath(storage));
        QVERIFY(writeTestFile(storage + QStringLiteral("/groups.json"), QJsonDocument(AppGroup::listToJson(groups())).toJson()));
        QVERIFY(m_run.start(QStringLiteral(KESTROWAN_PROGRAM)));
    }

    void cleanupTestCase() { m_run.end(timeout); }

    void syncAllDrawsEveryGroupWithOnePainterPerPicture()
    {
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow().has_value(), timeout);
        for (int run = 0; run < 2; ++run) {
            const QRect window = mainWindow().value_or(X11Windows::Window{}).geometry;
            // The button stands still (the same label twice) before it is clicked.
            QRect label;
            QTRY_VERIFY_WITH_TIMEOUT([&] {
                const QRect first = SyncAllButton::label(screen(), window);
                label = SyncAllButton::label(screen(), window);
                return label == first && SyncAllButton::isLabelSized(label);
            }(), timeout);
            m_pointer.click(label.center());
            QTRY_COMPARE_WITH_TIMEOUT(syncedIcons(), groupCount, timeout);
            QTRY_COMPARE_WITH_TIMEOUT(folderTiles(), groupCount, timeout);
            // The button shows its done mark once the run is over.
            const QColor green = AppColors::successInk.light();
            QTRY_VERIFY_WITH_TIMEOUT([&] {
                const QImage shot = screen();
                for (int dx = -40; dx <= 40; ++dx) {
                    for (int dy = -8; dy <= 8; ++dy) {
                        if (shot.pixelColor(label.center() + QPoint(dx, dy)) == green)
                            return true;
                    }
                }
                return false;
            }(), timeout);
            QVERIFY2(painterWarnings().isEmpty(), qPrintable(painterWarnings().join(u'\n')));
        }
    }
};

KESTROWAN_TEST_MAIN(TestSyncAllPainting)
#include "tst_syncallpainting_e2e.moc"
