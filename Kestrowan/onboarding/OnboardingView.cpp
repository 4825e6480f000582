#include "Kestrowan/onboarding/OnboardingView.h"

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/onboarding/DoneStep.h"
#include "Kestrowan/onboarding/FilledButton.h"
#include "Kestrowan/onboarding/GroupMakingStep.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/PermissionStep.h"
#include "Kestrowan/onboarding/PreviewStep.h"
#include "Kestrowan/onboarding/StepIndicator.h"
#include "Kestrowan/onboarding/TextButton.h"
#include "Kestrowan/onboarding/WelcomeStep.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

using namespace OnboardingColors;

namespace {

constexpr int stepAnimationMilliseconds = 200;

FilledButton::Look primaryLook()
{
    FilledButton::Look look;
    look.symbol = QStringLiteral("arrow.right");
    look.symbolTrailing = true;
    look.fill = accent;
    look.shadow = accentShadow;
    return look;
}

} // namespace

OnboardingView::OnboardingView(OnboardingFlow::Services services, OnboardingFlow::Action onFinish, OnboardingFlow::Action onSkip,
                               QWidget *parent)
    : QWidget(parent)
    , m_flow(new OnboardingFlow(services, std::move(onFinish), std::move(onSkip), this))
    , m_services(services)
    , m_frame(new QWidget(this))
    , m_stepHolder(new QVBoxLayout)
    , m_indicator(new StepIndicator(OnboardingFlow::totalSteps))
    , m_bar(new QHBoxLayout)
{
    setObjectName(QStringLiteral("onboardingView"));
    m_column = new QVBoxLayout(m_frame);
    QVBoxLayout *column = m_column;
    column->setContentsMargins(28, 24, 28, 28);
    column->setSpacing(0);
    m_stepHolder->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_stepHolder, 1);
    column->addWidget(m_indicator);
    // The buttons carry room for their shadows; the bar's own padding takes that into account.
    m_bar->setContentsMargins(4, 2, -6, -10);
    // A filled button's shadow room keeps it 10 points from its neighbour already.
    m_bar->setSpacing(0);
    column->addLayout(m_bar);

    TextButton::Look skipLook;
    skipLook.titleWeight = QFont::Medium;
    skipLook.color = secondaryText;
    m_skip = new TextButton(localized(QStringLiteral("onboarding.skip")), skipLook, m_frame);
    m_skip->setObjectName(QStringLiteral("skipButton"));
    m_skip->setAccessibleDescription(localized(QStringLiteral("ax.skipOnboarding.hint")));
    connect(m_skip, &QAbstractButton::clicked, m_flow, &OnboardingFlow::skip);
    // Once the finish runs there is nothing left to skip.
    m_skip->setEnabled(!m_flow->isFinishing());

    connect(m_flow, &OnboardingFlow::stepChanged, this, [this] { showStep(true); });
    connect(m_flow, &OnboardingFlow::changed, this, [this] {
        // The Dock's applications arrive after the first step is on screen.
        if (m_flow->step() == 0 && m_step && m_step->property("dockApps").toInt() != m_flow->dockApps().size())
            showStep(false);
    });
    connect(m_flow, &OnboardingFlow::finishingChanged, this, [this](bool finishing) {
        for (QAbstractButton *button : std::as_const(m_forward))
            button->setEnabled(!finishing);
        if (m_back)
            m_back->setEnabled(!finishing);
        m_skip->setEnabled(!finishing);
    });
    if (PermissionManagerInterface *permissions = services.permissionManager) {
        connect(permissions, &PermissionManagerInterface::accessibilityGrantedChanged, this, [this] {
            if (m_flow->step() == 3)
                showStep(false);
        });
    }
    showStep(false);
}

void OnboardingView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        qCInfo(appLogger, "First run: showing the onboarding");
        // The first step is on screen first; the Dock is read right after.
        QTimer::singleShot(0, m_flow, &OnboardingFlow::appear);
    }
}

void OnboardingView::showStep(bool animated)
{
    if (m_step) {
        m_stepHolder->removeWidget(m_step);
        m_step->hide();
        m_step->deleteLater();
    }
    QWidget *content = nullptr;
    switch (m_flow->step()) {
    case 0:
        content = new WelcomeStep(*m_flow);
        content->setProperty("dockApps", int(m_flow->dockApps().size()));
        break;
    case 1:
        content = new GroupMakingStep(*m_flow);
        break;
    case 2:
        content = new PreviewStep(*m_flow);
        break;
    case 3:
        content = new PermissionStep(m_services.permissionManager);
        break;
    default:
        content = new DoneStep(*m_flow);
        break;
    }
    m_step = content;
    fitStepSpacing(m_frame->height() < frameHeight);
    m_stepHolder->addWidget(content);
    m_indicator->setCurrent(m_flow->step());
    rebuildNavigationBar();
    m_skip->raise();
    if (animated) {
        auto *fade = new QGraphicsOpacityEffect(content);
        fade->setOpacity(0);
        content->setGraphicsEffect(fade);
        auto *animation = new QPropertyAnimation(fade, "opacity", content);
        animation->setDuration(stepAnimationMilliseconds);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        connect(animation, &QPropertyAnimation::finished, content, [content] { content->setGraphicsEffect(nullptr); });
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

void OnboardingView::rebuildNavigationBar()
{
    while (QLayoutItem *item = m_bar->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    m_back = nullptr;
    m_forward.clear();
    const int step = m_flow->step();
    const bool finishing = m_flow->isFinishing();
    if (step > 0) {
        TextButton::Look backLook;
        backLook.symbol = QStringLiteral("arrow.left");
        backLook.color = secondaryText;
        m_back = new TextButton(localized(QStringLiteral("onboarding.back")), backLook);
        m_back->setObjectName(QStringLiteral("backButton"));
        m_back->setAccessibleName(localized(QStringLiteral("ax.onboarding.back")));
        m_back->setEnabled(!finishing);
        connect(m_back, &QAbstractButton::clicked, m_flow, &OnboardingFlow::stepBack);
        m_bar->addWidget(m_back, 0, Qt::AlignVCenter);
    }
    m_bar->addStretch();
    const auto addForward = [this, finishing](QAbstractButton *button) {
        button->setEnabled(!finishing);
        m_forward << button;
        m_bar->addWidget(button, 0, Qt::AlignVCenter);
    };
    if (step == 1) {
        TextButton::Look laterLook;
        laterLook.titlePoints = 11;
        laterLook.titleWeight = QFont::Medium;
        laterLook.color = secondaryText;
        auto *later = new TextButton(localized(QStringLiteral("onboarding.group.createLater")), laterLook);
        later->setObjectName(QStringLiteral("createLaterButton"));
        later->setAccessibleName(localized(QStringLiteral("ax.onboarding.createLater")));
        connect(later, &QAbstractButton::clicked, m_flow, [this] { m_flow->setStep(2); });
        addForward(later);
    }
    if (step < OnboardingFlow::lastStep) {
        const QString title = localized(step == 0 ? QStringLiteral("onboarding.organize") : QStringLiteral("onboarding.continue"));
        auto *next = new FilledButton(title, primaryLook());
        next->setObjectName(QStringLiteral("continueButton"));
        if (step == 1)
            next->setAccessibleDescription(localized(QStringLiteral("ax.onboarding.continue.hint")));
        connect(next, &QAbstractButton::clicked, m_flow, &OnboardingFlow::stepForward);
        addForward(next);
        return;
    }
    const bool hasApps = m_flow->anyDraftHasApps();
    FilledButton::Look finish;
    finish.symbol = hasApps ? QStringLiteral("checkmark.circle") : QStringLiteral("arrow.right");
    finish.symbolPoints = 15;
    finish.horizontalPadding = 16;
    finish.fill = hasApps ? successGreen : accent;
    finish.shadow = finish.fill;
    finish.shadowOpacity = 0.15;
    finish.shadowOffset = 2;
    auto *button = new FilledButton(localized(hasApps ? QStringLiteral("onboarding.syncStart") : QStringLiteral("onboarding.getStarted")), finish);
    button->setObjectName(QStringLiteral("finishButton"));
    button->setAccessibleDescription(localized(hasApps ? QStringLiteral("ax.syncStart.hint") : QStringLiteral("ax.getStarted.hint")));
    connect(button, &QAbstractButton::clicked, m_flow, &OnboardingFlow::finish);
    addForward(button);
}

void OnboardingView::placeFrame()
{
    // The frame keeps its size where the window has room and shrinks with a smaller window (down to
    // the window's least size), so that the title, Skip and the bar's buttons stay whole; its
    // margins tighten when it is shorter than its own height.
    QRect frame(QPoint(0, 0), QSize(std::min(frameWidth, width()), std::min(frameHeight, height())));
    frame.moveCenter(rect().center());
    const bool short_ = frame.height() < frameHeight;
    m_column->setContentsMargins(28, short_ ? 14 : 24, 28, short_ ? 12 : 28);
    fitStepSpacing(short_);
    m_frame->setGeometry(frame);
    const QSize skip = m_skip->sizeHint();
    m_skip->setGeometry(frame.width() - 16 - skip.width(), short_ ? 10 : 14, skip.width(), skip.height());
}

void OnboardingView::fitStepSpacing(bool shortFrame)
{
    // A short frame brings a step's parts closer together: the room between them is what gives.
    auto *column = m_step ? qobject_cast<QBoxLayout *>(m_step->layout()) : nullptr;
    if (!column)
        return;
    if (!column->property("roomySpacing").isValid())
        column->setProperty("roomySpacing", column->spacing());
    const int roomy = column->property("roomySpacing").toInt();
    column->setSpacing(shortFrame ? std::min(roomy, 6) : roomy);
}

void OnboardingView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeFrame();
}

void OnboardingView::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), raisedBackground.resolve(this));
}
