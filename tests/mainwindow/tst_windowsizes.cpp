// Every page of the main window at its smallest size (600 by 400) and on a large screen (1920 by
// 1080), in all five languages: the first run's five steps, the group list, the settings and a
// group's editor keep every control and every word whole (inside the window and every parent, or
// inside the scrolling content they can be scrolled to). Pictures of each, light and dark, and in
// Japanese, are saved to "<build>/screenshots" for people to look at.
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainWindowContent.h"
#include "Kestrowan/onboarding/OnboardingView.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RealApps.h"
#include "tests/support/SettledIcons.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>

namespace {

constexpr int timeout = 20000;

QString describe(const QWidget *widget)
{
    QString text;
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        text = label->text();
    else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        text = button->text();
    return QStringLiteral("%1 \"%2\" %3").arg(widget->metaObject()->className(), widget->objectName(), text.left(40));
}

// The scrolling content a widget lies in, or none.
QWidget *scrolledContent(QWidget *widget, QWidget *window)
{
    for (QWidget *parent = widget->parentWidget(); parent && parent != window; parent = parent->parentWidget()) {
        QWidget *viewport = parent->parentWidget();
        if (viewport && qobject_cast<QAbstractScrollArea *>(viewport->parentWidget())
            && static_cast<QAbstractScrollArea *>(viewport->parentWidget())->viewport() == viewport)
            return parent;
    }
    return nullptr;
}

// The controls and words that a parent or the window cuts, or that are narrower than their words.
QStringList cutControls(QWidget *window)
{
    QStringList cut;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        // A box squeezed below what its layout needs overlaps or cuts what it holds.
        if (widget->isVisibleTo(window) && widget->layout() && widget->height() + 1 < widget->layout()->minimumSize().height())
            cut << describe(widget) + QStringLiteral(" is squeezed (%1 < %2)").arg(widget->height()).arg(widget->layout()->minimumSize().height());
        const bool control = qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
            || qobject_cast<QComboBox *>(widget) || qobject_cast<QLabel *>(widget);
        if (!control || !widget->isVisibleTo(window) || widget->size().isEmpty())
            continue;
        const QRect box(widget->mapTo(window, QPoint(0, 0)), widget->size());
        QWidget *content = scrolledContent(widget, window);
        for (QWidget *parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
            const QRect room = parent == window ? window->rect() : QRect(parent->mapTo(window, QPoint(0, 0)), parent->size());
            if (!room.adjusted(-1, -1, 1, 1).contains(box)) {
                cut << describe(widget) + QStringLiteral(" cut by ") + describe(parent);
                break;
            }
            if (parent == window || parent == content)
                break;
        }
        if (const auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty() && label->pixmap().isNull()) {
            if (!label->wordWrap() && label->minimumSizeHint().width() > label->width() + 1)
                cut << describe(widget) + QStringLiteral(" is narrower than its words");
            const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->minimumSizeHint().height();
            if (needed > label->height() + 1)
                cut << describe(widget) + QStringLiteral(" is shorter than its words (%1 < %2)").arg(label->height()).arg(needed);
        }
    }
    return cut;
}

QString suffix(bool dark, const QString &language)
{
    return QString(dark ? QStringLiteral("-dark") : QStringLiteral("-light")) + (language == QLatin1String("en") ? QString() : u'-' + language);
}

} // namespace

class TestWindowSizes : public QObject {
    Q_OBJECT

    std::unique_ptr<GroupManager> m_store;
    AppNavigation m_navigation;
    FakeInstalledApps m_apps;
    AppEnvironment m_environment;
    QList<AppItem> m_realApps;
    QUuid m_groupID;

    std::unique_ptr<QWidget> makeWindow(bool onboardingDone, QSize size)
    {
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, onboardingDone);
        std::unique_ptr<QWidget> content(makeMainWindowContent(m_environment, nullptr));
        content->resize(size);
        content->show();
        if (!QTest::qWaitForWindowExposed(content.get()))
            return nullptr;
        return content;
    }

    // Checks the window as it stands and, when a picture is wanted, saves one.
    void look(QWidget *window, const QString &name, bool picture)
    {
        // A page that slides in is cut until it has arrived.
        QStringList cut;
        (void)QTest::qWaitFor([&] { return (cut = cutControls(window)).isEmpty(); }, 5000);
        if (picture)
            savePicture(window, name);
        QVERIFY2(cut.isEmpty(), qPrintable(name + QStringLiteral(": ") + cut.join(QStringLiteral("; "))));
    }

    static void savePicture(QWidget *window, const QString &name)
    {
        settleDecodedIcons(window);
        const auto composed = [window] {
            for (const GroupIconView *icon : window->findChildren<GroupIconView *>()) {
                if (!icon->visibleRegion().isEmpty() && !icon->isComposed())
                    return false;
            }
            return true;
        };
        if (!QTest::qWaitFor(composed, timeout))
            qWarning("%s: an icon was still being composed when pictured", qPrintable(name));
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        if (!window->grab().toImage().save(folder + u'/' + name + QStringLiteral(".png")))
            qWarning("%s: not saved", qPrintable(name));
    }

    // The window with a question over it, where the window system shows it.
    static void saveWithQuestion(QWidget *window, QWidget *question, const QString &name)
    {
        QTRY_VERIFY(question->isVisible());
        QImage picture = window->grab().toImage();
        {
            QPainter painter(&picture);
            painter.drawImage(window->mapFromGlobal(question->mapToGlobal(QPoint(0, 0))), question->grab().toImage());
        }
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }

    static bool pageSettled(MainView *view)
    {
        // In place: the page that slides in has arrived at the window's edge.
        // (The old page leaves as a picture over the new one's host until the slide ends.)
        QWidget *host = view->shownPage() ? view->shownPage()->parentWidget() : nullptr;
        return host && view->shownPage()->isVisible() && view->shownPage()->mapTo(view, QPoint(0, 0)).isNull()
            && host->findChildren<QLabel *>(Qt::FindDirectChildrenOnly).isEmpty();
    }

private slots:
    void initTestCase()
    {
        KeyboardFocusRing::install();
        const QString program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(program, "#!/bin/sh\n");
        installSucceedingProcessRunner();
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        m_realApps = found.items;
        m_store = startedManager(program);
        const QString projects = makeFolder(QDir::homePath() + QStringLiteral("/Projects"));
        const QString notes = QDir::homePath() + QStringLiteral("/Documents/Meeting notes.txt");
        writeBytes(notes, "notes\n");
        AppGroup work = m_store->createGroup();
        work.name = QStringLiteral("Work");
        work.apps = {m_realApps[6], m_realApps[4], m_realApps[0], makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects),
                     makeItem(QStringLiteral("file:") + notes, QStringLiteral("Meeting notes"), notes)};
        m_store->updateGroup(work);
        m_groupID = work.id;
        AppGroup media = m_store->createGroup();
        media.name = QStringLiteral("Media");
        media.apps = {m_realApps[1], m_realApps[2], m_realApps[3]};
        m_store->updateGroup(media);
        m_environment.groupManager = m_store.get();
        m_environment.appsService = &m_apps;
        m_environment.navigation = &m_navigation;
        installMainViewPages(m_environment);
    }

    void cleanup()
    {
        Appearance::shared().apply(false);
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
        m_navigation.setSelectedPage(std::nullopt);
    }

    void everyPage_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("picture");
        for (const auto &[size, sizeName] : {std::pair{QSize(600, 400), QStringLiteral("small")}, std::pair{QSize(1920, 1080), QStringLiteral("large")}}) {
            QTest::addRow("%s light", qPrintable(sizeName)) << size << false << QStringLiteral("en") << true;
            QTest::addRow("%s dark", qPrintable(sizeName)) << size << true << QStringLiteral("en") << true;
            QTest::addRow("%s light ja", qPrintable(sizeName)) << size << false << QStringLiteral("ja") << true;
            for (const QString &language : {QStringLiteral("es"), QStringLiteral("pt-BR"), QStringLiteral("zh-Hans")})
                QTest::addRow("%s light %s", qPrintable(sizeName), qPrintable(language)) << size << false << language << false;
        }
    }

    void everyPage()
    {
        QFETCH(QSize, size);
        QFETCH(bool, dark);
        QFETCH(QString, language);
        QFETCH(bool, picture);
        LanguageManager::shared().setCurrentLanguage(language);
        applyLook(dark, language);
        const QString sizeName = size.width() <= 600 ? QStringLiteral("small") : QStringLiteral("large");
        const QString tail = u'-' + sizeName + suffix(dark, language);

        {
            const auto window = makeWindow(false, size);
            QVERIFY(window);
            auto *onboarding = window->findChild<OnboardingView *>();
            QVERIFY(onboarding);
            OnboardingFlow &flow = onboarding->flow();
            QList<DockReader::DockApp> dock;
            for (const AppItem &item : std::as_const(m_realApps))
                dock << DockReader::DockApp{item.bundleIdentifier, item.name, item.path};
            QTRY_VERIFY_WITH_TIMEOUT(flow.step() == 0, timeout);
            flow.setDockApps(dock, {dock[1].bundleIdentifier});
            const QStringList steps{"welcome", "groups", "preview", "permission", "done"};
            for (int step = 0; step < OnboardingFlow::totalSteps; ++step) {
                flow.setStep(step);
                if (step == 1 && flow.groups().size() == 1 && flow.groups().first().appBundleIDs.isEmpty()) {
                    for (int i : {0, 4, 5, 2})
                        flow.toggleAppInActiveGroup(dock[i].bundleIdentifier);
                }
                QTRY_VERIFY_WITH_TIMEOUT(onboarding->stepContent() && onboarding->stepContent()->graphicsEffect() == nullptr, timeout);
                look(window.get(), QStringLiteral("onboarding-") + steps[step] + tail, picture);
            }
        }

        const auto window = makeWindow(true, size);
        QVERIFY(window);
        auto *view = qobject_cast<MainView *>(window.get());
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(pageSettled(view), timeout);
        look(window.get(), QStringLiteral("main-grid") + tail, picture);
        if (picture) {
            // The keyboard on Sync All, its ring drawn.
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
            auto *grid = window->findChild<GroupGridPage *>();
            QVERIFY(grid);
            for (int press = 0; press < 12 && QApplication::focusWidget() != grid->syncAllButton(); ++press)
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(grid->syncAllButton()));
            QTRY_VERIFY(KeyboardFocusRing::shown());
            savePicture(window.get(), QStringLiteral("main-grid-focus") + tail);
        }
        m_navigation.setSelectedPage(DetailPage::settings());
        QTRY_VERIFY_WITH_TIMEOUT(pageSettled(view) && view->shownPage()->metaObject()->className() == QByteArray("SettingsPanel"), timeout);
        look(window.get(), QStringLiteral("settings-page") + tail, picture);
        if (picture) {
            auto *panel = qobject_cast<SettingsPanel *>(view->shownPage());
            QVERIFY(panel);
            panel->findChild<QAbstractButton *>(QStringLiteral("resetAll"))->click();
            QTRY_VERIFY_WITH_TIMEOUT(panel->confirmation() && panel->confirmation()->isVisible(), timeout);
            QTRY_VERIFY(KeyboardFocusRing::shown() && KeyboardFocusRing::shown()->target() == panel->confirmation()->cancelButton());
            saveWithQuestion(window.get(), panel->confirmation(), QStringLiteral("settings-resetconfirm") + tail);
            QTest::keyClick(panel->confirmation(), Qt::Key_Escape);
            QTRY_VERIFY_WITH_TIMEOUT(!panel->confirmation(), timeout);
        }
        m_navigation.setSelectedPage(DetailPage::group(m_groupID));
        QTRY_VERIFY_WITH_TIMEOUT(pageSettled(view) && view->shownPage()->metaObject()->className() != QByteArray("SettingsPanel"), timeout);
        look(window.get(), QStringLiteral("editor-page") + tail, picture);
        if (picture) {
            auto *page = qobject_cast<GroupEditorPage *>(view->shownPage());
            QVERIFY(page);
            // (From elsewhere first: the pointer may rest there from the last picture.)
            QTest::mouseMove(window.get(), QPoint(2, 2));
            QTest::mouseMove(page->itemSection()->cells().at(4));
            QTRY_VERIFY(page->itemSection()->cells().at(4)->isHovering());
            QTest::mouseClick(page->itemSection()->cells().at(4)->removeButton(), Qt::LeftButton);
            ConfirmationAlert *alert = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"))) && alert->isVisible(), timeout);
            saveWithQuestion(window.get(), alert, QStringLiteral("editor-removeconfirm") + tail);
            QTest::keyClick(alert, Qt::Key_Escape);
            QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert")), timeout);
        }
    }
};

KESTROWAN_TEST_MAIN(TestWindowSizes)
#include "tst_windowsizes.moc"
