#pragma once

#include "Kestrowan/shell/AppToast.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <optional>

class QVariantAnimation;
class QWidget;
class ToastBanner;

// Shows a toast over the top centre of a window's content while the toast state holds one. The
// state is the owner's to set: setToast(...) shows or changes the banner, setToast(std::nullopt)
// hides it. The modifier clears the state itself 3 s after the banner came on screen, or at once
// when the banner is clicked. The state always changes first; the slide and fade only follow it.
class AppToastModifier : public QObject {
    Q_OBJECT
public:
    static constexpr int displayDurationMs = 3000;
    static constexpr int showHideDurationMs = 400; // a softly damped spring settles in this time
    static constexpr int clickDismissDurationMs = 200;
    static constexpr int timeoutDismissDurationMs = 300;
    static constexpr int outerHorizontalPadding = 20;
    static constexpr int outerTopPadding = 16;

    // Overlays `content` (which owns the modifier).
    explicit AppToastModifier(QWidget *content);

    std::optional<AppToast> toast() const { return m_toast; }
    void setToast(const std::optional<AppToast> &toast);

    // The banner, while it is shown or on its way out; nullptr otherwise.
    ToastBanner *banner() const;
    // How far the banner has come in: 0 hidden above the top edge, 1 in place.
    qreal presentation() const { return m_progress; }
    bool isAnimating() const;
    // The wait that clears the toast; running from the moment the banner came on screen.
    const QTimer &dismissTimer() const { return m_dismissTimer; }
    // How long a toast stays (tests shorten it).
    void setDisplayDuration(int ms) { m_displayDuration = ms; }

signals:
    void toastChanged(const std::optional<AppToast> &toast);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clear(int animationMs, const QEasingCurve &curve);
    void ensureOverlay();
    void placeOverlay(qreal progress);
    void animateTo(qreal target, int durationMs, const QEasingCurve &curve);
    void setProgress(qreal progress);

    QWidget *m_content;
    std::optional<AppToast> m_toast;
    QTimer m_dismissTimer;
    int m_displayDuration = displayDurationMs;

    // The overlay: a container with room for the banner's shadow, holding the banner.
    QPointer<QWidget> m_overlay;
    ToastBanner *m_banner = nullptr;
    QVariantAnimation *m_animation = nullptr;
    qreal m_progress = 0; // 0 hidden above the top edge, 1 fully shown
};
