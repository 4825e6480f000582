// Draws the popup as people will see it, in the grid and list styles, searching, empty and without
// results, in light and dark and in Japanese, and saves each picture under screenshots/ in the
// build folder. The checks are what a picture can prove: the panel's size and that it has content.
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupItemCell.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"
#include "tests/support/SettledIcons.h"

#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace PopupTest;
using Style = AppGroup::DisplayStyle;

class PopupScreenshotsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeWorkspaceOpener *m_opener = nullptr;
    RecordingItemStates m_states;
    std::unique_ptr<PopupWindowController> m_controller;
    AppGroup m_studio;
    QList<GroupShortcut> m_shortcuts;

    AppGroup studio(Style style) const
    {
        AppGroup group = m_studio;
        group.displayStyle = style;
        return group;
    }

    // The popup on the desktop's background, as it floats over it.
    QImage shoot(const AppGroup &group, bool dark, const std::function<void()> &steps = {})
    {
        QApplication::setPalette(dark ? Appearance::darkPalette() : Appearance::lightPalette());
        // The picture of the popup once it has grown in.
        InteractivePopupPanel *panel = showGrownIn(*m_controller, group);
        if (!panel)
            return {};
        if (steps)
            steps();
        QCoreApplication::processEvents();
        settleDecodedIcons(panel);
        const QPixmap popup = panel->grab();
        QImage picture(popup.size() + QSize(48, 48), QImage::Format_ARGB32_Premultiplied);
        picture.fill(dark ? QColor(0x2B2D31) : QColor(0xE4E6EA));
        QPainter painter(&picture);
        painter.drawPixmap(24, 24, popup);
        painter.end();
        m_controller->closePopupImmediately();
        return picture;
    }

    void save(const QImage &picture, const QString &name)
    {
        QVERIFY(!picture.isNull());
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }

    void typeInto(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(m_controller->panel(), c.toLatin1());
    }

private slots:
    void initTestCase()
    {
        m_opener = installFakePlatform();
        const QString folder = m_dir.path();
        // Real applications with their own icons; the editor is the one documents open with.
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        const QList<AppItem> &apps = found.items;
        const AppItem calculator = apps[0], viewer = apps[1], paint = apps[2], archiver = apps[5], editor = apps[6];
        QList<AppItem> items{calculator, editor, archiver, viewer, paint};
        QDir().mkpath(folder + QStringLiteral("/Projects"));
        items.append(document(QStringLiteral("Projects"), folder + QStringLiteral("/Projects")));
        items.append(document(QStringLiteral("Quarterly plan.txt"), folder + QStringLiteral("/Quarterly plan.txt")));
        items.append(link(QStringLiteral("Team wiki"), QStringLiteral("https://wiki.example.org/team")));
        items.append(hiddenItem());
        m_studio = group(QStringLiteral("Studio"), items, Style::Grid);
        m_studio.openerRules = OpenerRules{{{QStringLiteral("txt"), editor.path}}, {}, std::nullopt};
        m_states.active = {calculator.name, editor.name, QStringLiteral("Team wiki")};
        m_shortcuts = {{m_studio.id, 18, GroupShortcut::controlModifier}};
    }
    void init()
    {
        m_controller = makeController(&m_states, [this] { return m_shortcuts; });
    }
    void cleanup()
    {
        m_controller.reset();
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    void shots_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << false << QStringLiteral("en");
        QTest::newRow("dark") << true << QStringLiteral("en");
        QTest::newRow("light ja") << false << QStringLiteral("ja");
    }
    void shots()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        LanguageManager::shared().setCurrentLanguage(language);
        const bool japanese = language == QStringLiteral("ja");
        const QString appearance = (dark ? QStringLiteral("dark") : QStringLiteral("light")) + (japanese ? QStringLiteral("-ja") : QString());
        const QImage grid = shoot(studio(Style::Grid), dark, [] {});
        QCOMPARE(grid.size(), QSize(482 + 48, 382 + 48));
        save(grid, QStringLiteral("popup-grid-") + appearance);
        save(shoot(studio(Style::Grid), dark, [this] {
                 QTest::keyClick(m_controller->panel(), Qt::Key_Right);
                 QTest::keyClick(m_controller->panel(), Qt::Key_Right);
             }),
             QStringLiteral("popup-grid-focus-") + appearance);
        const QImage list = shoot(studio(Style::List), dark);
        QCOMPARE(list.size(), QSize(420 + 48, 580 + 48));
        save(list, QStringLiteral("popup-list-") + appearance);
        save(shoot(studio(Style::List), dark, [this] { typeInto(QStringLiteral("pa")); }),
             QStringLiteral("popup-list-search-") + appearance);
        save(shoot(studio(Style::Grid), dark, [this] { typeInto(QStringLiteral("ar")); }),
             QStringLiteral("popup-grid-search-") + appearance);
        save(shoot(studio(Style::Grid), dark, [this] { typeInto(QStringLiteral("zebra")); }),
             QStringLiteral("popup-noresults-") + appearance);
        save(shoot(group(japanese ? QStringLiteral("新しいグループ") : QStringLiteral("New group"), {}, Style::Grid), dark),
             QStringLiteral("popup-empty-") + appearance);
        // A document that could not be opened: the line saying so takes room of its own.
        const AppItem plan = m_studio.apps.at(6);
        m_opener->failing.insert(plan.itemURL(), QStringLiteral("No such file"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open Quarterly plan")));
        const QImage failed = shoot(studio(Style::Grid), dark, [this] {
            auto *content = qobject_cast<PopupContentView *>(m_controller->panel()->content());
            QTest::mouseClick(content->cellAt(6), Qt::LeftButton);
        });
        m_opener->failing.clear();
        QVERIFY(failed.height() > 382 + 48);
        save(failed, QStringLiteral("popup-grid-openfailed-") + appearance);
    }

    void japaneseDark()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("ja"));
        save(shoot(studio(Style::List), true, [this] { typeInto(QStringLiteral("pa")); }), QStringLiteral("popup-list-search-dark-ja"));
    }
};

KESTROWAN_TEST_MAIN(PopupScreenshotsTest)
#include "tst_popupscreenshots.moc"
