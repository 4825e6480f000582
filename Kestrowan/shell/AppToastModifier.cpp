#include "Kestrowan/shell/AppToastModifier.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/ToastBanner.h"
#include "NVLXDesign/DynamicShadowEffect.h"

#include <QEvent>
#include <QVariantAnimation>
#include <QWidget>

namespace {

// Room around the banner for its shadow (radius 14, 6 points down).
constexpr int kShadowSide = 18;
constexpr int kShadowTop = 12;
constexpr int kShadowBottom = 26;

QEasingCurve springCurve()
{
    // A spring damped to 0.8 overshoots barely; OutBack with a small overshoot follows it closely.
    QEasingCurve curve(QEasingCurve::OutBack);
    curve.setOvershoot(0.6);
    return curve;
}

} // namespace

AppToastModifier::AppToastModifier(QWidget *content) : QObject(content), m_content(content)
{
    m_dismissTimer.setSingleShot(true);
    connect(&m_dismissTimer, &QTimer::timeout, this,
            [this] { clear(timeoutDismissDurationMs, QEasingCurve(QEasingCurve::InOutQuad)); });
    content->installEventFilter(this);
}

ToastBanner *AppToastModifier::banner() const
{
    return m_overlay ? m_banner : nullptr;
}

bool AppToastModifier::isAnimating() const
{
    return m_overlay && m_animation && m_animation->state() == QAbstractAnimation::Running;
}

void AppToastModifier::setToast(const std::optional<AppToast> &toast)
{
    if (toast == m_toast)
        return;
    const bool wasShown = m_toast.has_value();
    m_toast = toast;
    if (toast) {
        ensureOverlay();
        m_banner->setToast(*toast);
        if (!wasShown) {
            // The wait belongs to the banner's arrival; changing the toast in place keeps it.
            m_dismissTimer.start(m_displayDuration);
            animateTo(1, showHideDurationMs, springCurve());
        } else {
            placeOverlay(m_progress);
        }
    } else {
        m_dismissTimer.stop();
        animateTo(0, showHideDurationMs, QEasingCurve(QEasingCurve::OutCubic));
    }
    emit toastChanged(m_toast);
}

void AppToastModifier::clear(int animationMs, const QEasingCurve &curve)
{
    if (!m_toast)
        return;
    m_toast.reset();
    m_dismissTimer.stop();
    animateTo(0, animationMs, curve);
    emit toastChanged(m_toast);
}

void AppToastModifier::ensureOverlay()
{
    if (m_overlay)
        return;
    m_overlay = new QWidget(m_content);
    m_overlay->setObjectName(QStringLiteral("toastOverlay"));
    m_banner = new ToastBanner(m_overlay);
    DynamicShadowEffect::apply(m_banner, AppColors::shadowLg, 14, QPointF(0, 6));
    connect(m_banner, &ToastBanner::clicked, this,
            [this] { clear(clickDismissDurationMs, QEasingCurve(QEasingCurve::InOutQuad)); });
    m_animation = new QVariantAnimation(m_overlay);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) { setProgress(value.toReal()); });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        if (m_toast || !m_overlay)
            return;
        QWidget *gone = m_overlay;
        m_overlay = nullptr;
        m_banner = nullptr;
        gone->deleteLater();
    });
    m_progress = 0;
    m_overlay->show();
    m_overlay->raise(); // above everything else in the window
    placeOverlay(0);
}

void AppToastModifier::animateTo(qreal target, int durationMs, const QEasingCurve &curve)
{
    if (!m_overlay)
        return;
    m_animation->stop();
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(curve);
    m_animation->start();
}

void AppToastModifier::setProgress(qreal progress)
{
    m_progress = progress;
    placeOverlay(progress);
}

void AppToastModifier::placeOverlay(qreal progress)
{
    if (!m_overlay)
        return;
    m_banner->setMaximumBannerWidth(qMax(1, m_content->width() - 2 * outerHorizontalPadding));
    const QSize bannerSize = m_banner->sizeHint();
    const QSize overlaySize(bannerSize.width() + 2 * kShadowSide, bannerSize.height() + kShadowTop + kShadowBottom);
    m_banner->setGeometry(kShadowSide, kShadowTop, bannerSize.width(), bannerSize.height());
    // Shown: the banner 16 points below the top; hidden: entirely above the top edge.
    const qreal shownTop = outerTopPadding - kShadowTop;
    const qreal hiddenTop = -overlaySize.height();
    const int top = qRound(hiddenTop + (shownTop - hiddenTop) * progress);
    m_overlay->setGeometry((m_content->width() - overlaySize.width()) / 2, top, overlaySize.width(), overlaySize.height());
    m_banner->setOpacity(qBound<qreal>(0, progress, 1));
    m_overlay->raise();
}

bool AppToastModifier::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content && event->type() == QEvent::Resize)
        placeOverlay(m_progress);
    if (watched == m_content && event->type() == QEvent::ChildAdded && m_overlay)
        m_overlay->raise();
    return false;
}
