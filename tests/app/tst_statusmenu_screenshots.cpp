// Draws the status menu with two groups under its item, in light and dark and once in Japanese, and
// saves the pictures under screenshots/ in the build folder.
#include "Kestrowan/app/AppDelegate.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/InterfaceFont.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/StatusGlyph.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/linux/TrayStatusItem.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QMenu>
#include <QPainter>

class TestStatusMenuScreenshots : public QObject {
    Q_OBJECT
private:
    QImage shoot(bool dark, bool japanese = false)
    {
        Appearance::shared().apply(dark);
        AppDelegate delegate;
        delegate.setUpStatusItem();
        AppGroup design, writing;
        design.id = QUuid::createUuid();
        design.name = japanese ? QStringLiteral("デザイン") : QStringLiteral("Design");
        writing.id = QUuid::createUuid();
        writing.name = japanese ? QStringLiteral("執筆とメモ") : QStringLiteral("Writing & Notes");
        delegate.updateStatusMenu({design, writing});
        QMenu *menu = delegate.statusMenu();
        menu->ensurePolished();
        menu->adjustSize();
        const QPixmap rendered = menu->grab();

        // The menu as it opens under its item in the menu bar.
        const QSize canvas(rendered.width() + 160, rendered.height() + 70);
        QImage picture(canvas, QImage::Format_ARGB32_Premultiplied);
        picture.fill(dark ? QColor(0x2B, 0x2D, 0x31) : QColor(0xE4, 0xE6, 0xEA));
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const int bar = 24;
        painter.fillRect(QRect(0, 0, canvas.width(), bar), QColor(0x1E, 0x1E, 0x22));
        const QImage glyph = TrayStatusItem::trayPicture(statusGlyph()).scaled(22, 22, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QRect item(canvas.width() - 60, 1, 22, 22);
        painter.fillRect(item.adjusted(-4, -1, 4, 1), QColor(255, 255, 255, 40));
        painter.drawImage(item, glyph);
        const QPoint origin(item.left() - rendered.width() + 40, bar + 2);
        // A soft shadow as the desktop draws under a menu.
        for (int i = 6; i > 0; --i) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 10));
            painter.drawRoundedRect(QRectF(QPointF(origin), QSizeF(rendered.size()) / rendered.devicePixelRatio())
                                        .adjusted(-i, -i + 3, i, i + 3), 6 + i, 6 + i);
        }
        painter.drawPixmap(origin, rendered);
        painter.end();
        return picture;
    }

    void save(const QImage &picture, const QString &name)
    {
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }

private slots:
    void initTestCase()
    {
        StatusItem::installFactory([] { return std::make_unique<FakeStatusItem>(); });
        installInterfaceFont();
    }

    void statusMenuWithTwoGroups()
    {
        for (bool dark : {false, true}) {
            const QImage picture = shoot(dark);
            QVERIFY(!picture.isNull());
            save(picture, QStringLiteral("status-menu-groups-") + (dark ? QStringLiteral("dark") : QStringLiteral("light")));
        }
    }

    void japanese()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("ja"));
        const QImage picture = shoot(false, true);
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("system"));
        QVERIFY(!picture.isNull());
        save(picture, QStringLiteral("status-menu-groups-light-ja"));
    }
};

KESTROWAN_TEST_MAIN(TestStatusMenuScreenshots)
#include "tst_statusmenu_screenshots.moc"
