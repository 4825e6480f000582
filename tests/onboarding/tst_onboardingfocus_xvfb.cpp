// The first run's keyboard place on a real X server, as the user moves through it with the pointer:
// controls come and go with each step and the keyboard moves on with them, but a ring shows only
// once a key is pressed. Read from the window's pixels.

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/onboarding/AppChip.h"
#include "Kestrowan/onboarding/GroupMakingStep.h"
#include "Kestrowan/onboarding/OnboardingView.h"
#include "Kestrowan/onboarding/TextButton.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "tests/onboarding/OnboardingTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QLineEdit>

namespace {

constexpr int timeout = 20000;

// The pixels of the focus ring's blue in the band around `control` where the ring is drawn.
int ringPixels(QWidget *control)
{
    QWidget *window = control->window();
    const QImage picture = window->grab().toImage();
    const qreal scale = picture.devicePixelRatio();
    const QColor ring = DS::accent2.resolve(window);
    const QRect box(control->mapTo(window, QPoint(0, 0)), control->size());
    const int outset = KeyboardFocusRing::outset;
    const QRect band = box.adjusted(-outset, -outset, outset, outset);
    int count = 0;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = band.left(); x <= band.right(); ++x) {
            const QPoint at(int(x * scale), int(y * scale));
            if (box.contains(x, y) || !picture.rect().contains(at))
                continue;
            const QColor c = picture.pixelColor(at);
            count += std::abs(c.red() - ring.red()) < 40 && std::abs(c.green() - ring.green()) < 40
                     && std::abs(c.blue() - ring.blue()) < 40;
        }
    }
    return count;
}

bool settled(QWidget &view)
{
    return QTest::qWaitFor([&view] {
        for (const QAbstractAnimation *animation : view.findChildren<QAbstractAnimation *>()) {
            if (animation->state() == QAbstractAnimation::Running)
                return false;
        }
        return true;
    }, timeout);
}

} // namespace

class TestOnboardingFocus : public QObject {
    Q_OBJECT

    std::unique_ptr<GroupManager> m_store;
    SettablePermissions m_permissions;
    bool m_started = false;

    std::unique_ptr<OnboardingView> makeView()
    {
        auto view = std::make_unique<OnboardingView>(OnboardingFlow::Services{m_store.get(), nullptr, &m_permissions}, [] {}, [] {});
        m_started = false;
        view->flow().setSignalSink([this](const QString &name, const QMap<QString, QString> &) {
            if (name == QLatin1String("onboarding.started"))
                m_started = true;
        });
        view->resize(640, 520);
        view->show();
        if (!QTest::qWaitFor([this] { return m_started; }, timeout))
            return nullptr;
        QList<DockReader::DockApp> apps;
        for (const QString &name : {QStringLiteral("Mail"), QStringLiteral("Notes"), QStringLiteral("Music"), QStringLiteral("Maps")})
            apps << dockApp(name);
        view->flow().setDockApps(apps, {});
        view->activateWindow();
        if (!QTest::qWaitForWindowActive(view.get()))
            return nullptr;
        return view;
    }

private slots:
    void initTestCase()
    {
        KeyboardFocusRing::install();
        const QString program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(program, "#!/bin/sh\n");
        installSucceedingProcessRunner();
        m_store = startedManager(program);
    }

    // Continue clicked on every step, or the application tiles clicked on the group step: the
    // control the keyboard moves on to (Skip, Back) shows no ring; the first Tab brings one.
    void aClickLeavesNoRingWhereTheFocusMovesOn_data()
    {
        QTest::addColumn<bool>("tiles");
        QTest::newRow("continue") << false;
        QTest::newRow("application tiles") << true;
    }

    void aClickLeavesNoRingWhereTheFocusMovesOn()
    {
        QFETCH(bool, tiles);
        auto view = makeView();
        QVERIFY(view);
        const auto noRing = [&](QWidget *control, const QByteArray &where) {
            QVERIFY2(settled(*view), where);
            KeyboardFocusRing *ring = KeyboardFocusRing::shown();
            QVERIFY2(!ring, where + " rings a " + (ring ? ring->target()->metaObject()->className() : ""));
            QVERIFY2(control && control->isVisible(), where);
            const int pixels = ringPixels(control);
            QVERIFY2(pixels == 0, where + ": " + QByteArray::number(pixels) + " ring pixels");
        };
        if (!tiles) {
            for (int step = 1; step <= 4; ++step) {
                QTest::mouseClick(view->forwardControls().last(), Qt::LeftButton);
                QTRY_COMPARE_WITH_TIMEOUT(view->flow().step(), step, timeout);
                noRing(view->skipButton(), "step " + QByteArray::number(step) + ", Skip");
                if (QTest::currentTestFailed())
                    return;
            }
        } else {
            QTest::mouseClick(view->forwardControls().first(), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(view->flow().step(), 1, timeout);
            // The new group's name is open for typing, as the user finds it.
            QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QLineEdit *>(QApplication::focusWidget()), timeout);
            for (int tile = 0; tile < 3; ++tile) {
                GroupMakingStep *step = nullptr;
                QTRY_VERIFY_WITH_TIMEOUT((step = qobject_cast<GroupMakingStep *>(view->stepContent())) && step->chips().size() > tile, timeout);
                QTest::mouseClick(step->chips().at(tile), Qt::LeftButton);
                noRing(view->backButton(), "tile " + QByteArray::number(tile + 1) + ", Back");
                if (QTest::currentTestFailed())
                    return;
            }
        }
        // The keyboard's first press brings the ring, drawn where it is read.
        QWidget *from = QApplication::focusWidget() ? QApplication::focusWidget() : view.get();
        QTest::keyClick(from, Qt::Key_Tab);
        QTRY_VERIFY_WITH_TIMEOUT(KeyboardFocusRing::shown(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ringPixels(KeyboardFocusRing::shown()->target()) > 20, timeout);
    }
};

KESTROWAN_TEST_MAIN(TestOnboardingFocus)
#include "tst_onboardingfocus_xvfb.moc"
