// Application icons that exist only as scalable pictures in "hicolor", on a system whose "hicolor"
// has no index of its own (the theme's index comes in a package of its own): the picker's row
// draws the picture, not the generic symbol or nothing.

#include "Kestrowan/mainwindow/AppPickerList.h"
#include "Platform/linux/DesktopIcons.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

class TestPickerIcons : public QObject {
    Q_OBJECT
private slots:
    void aScalableThemeIconDrawsInThePickerRow()
    {
        const QString entry = installApplicationWithScalableIcon(QStringLiteral("kestrowan-test-terminal"), QStringLiteral("#12c48b"));
        AppPickerList list([](const QString &) { return false; });
        list.resize(360, 200);
        list.setRows({AppItem{QUuid::createUuid(), QStringLiteral("mini.xterm"), QStringLiteral("XTerm"), entry}});
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        // The icon sits 8 points in from the row's top left, 32 points square; it is decoded out of
        // the program, and drawn once it is in.
        const QRect row = list.rowRect(0);
        const auto colorAt = [&list, &row](QPoint at) {
            const QImage shot = list.viewport()->grab().toImage();
            return shot.pixelColor((QPointF(row.topLeft() + at) * shot.devicePixelRatio()).toPoint()).name();
        };
        for (const QPoint at : {QPoint(12, 12), QPoint(24, 24), QPoint(36, 36)})
            QTRY_COMPARE_WITH_TIMEOUT(colorAt(at), QStringLiteral("#12c48b"), 60000);
    }

    // A theme index that is no index, a picture that is none and a name that is a path: nothing
    // found, nothing broken.
    void aDamagedThemeIndexFindsNothingAndBreaksNothing()
    {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QByteArray garbage("[Icon Theme]\nInherits=hicolor,hicolor,,Damaged\nDirectories=../../../etc,x,\xff\xfe,");
        garbage += QByteArray(200000, '\x01') + "\n[x]\nSize=-5\n[../../../etc]\nSize=48\n";
        writeTestFile(data + QStringLiteral("/icons/hicolor/index.theme"), garbage);
        writeTestFile(data + QStringLiteral("/icons/hicolor/x/broken.png"), "not a picture");
        QVERIFY(DesktopIcons::named(QStringLiteral("../../../../etc/passwd")).isNull());
        QVERIFY(DesktopIcons::named(QStringLiteral("no-such-icon")).isNull());
        QVERIFY(DesktopIcons::named(QStringLiteral("broken")).pixmap(32, 32).toImage().isNull());
        QFile::remove(data + QStringLiteral("/icons/hicolor/index.theme"));
        // A scalable picture beyond any real icon's size is passed over.
        writeTestFile(data + QStringLiteral("/icons/hicolor/scalable/apps/huge.svg"),
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\"><!--"
                          + QByteArray(DesktopIcons::scalableIconSizeLimit, 'x') + "--></svg>");
        QVERIFY(DesktopIcons::named(QStringLiteral("huge")).isNull());
    }
};

int main(int argc, char *argv[])
{
    const QString home = prepareIsolatedTestEnvironment("TestPickerIcons");
    // The system's shared data is a folder of the test's own, where "hicolor" has no index.
    const QString shared = home + QStringLiteral("/system-share");
    QDir().mkpath(shared + QStringLiteral("/icons/hicolor"));
    qputenv("XDG_DATA_DIRS", shared.toUtf8());
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestPickerIcons test;
    return runTestObject(&test, argc, argv);
}

#include "tst_pickericons.moc"
