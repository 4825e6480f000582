#pragma once

#include "Kestrowan/shell/AppToast.h"

#include <QWidget>

// The capsule a toast is drawn as: the kind's symbol and the text (at most two lines, or all of a
// toast shown whole) on the elevated surface. Clicking it reports `clicked`.
class ToastBanner : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal symbolSize = 15;
    static constexpr qreal textSize = 13;
    static constexpr qreal spacing = 8;
    static constexpr qreal horizontalPadding = 16;
    static constexpr qreal verticalPadding = 10;
    static constexpr int maximumLines = 2;

    explicit ToastBanner(QWidget *parent = nullptr);

    void setToast(const AppToast &toast);
    AppToast toast() const { return m_toast; }
    // The widest the banner may grow; its text wraps (and is cut after two lines) within it.
    void setMaximumBannerWidth(int width);
    // The whole banner fades with this (its shadow follows).
    void setOpacity(qreal opacity);
    qreal opacity() const { return m_opacity; }
    // The text as shown, one entry per line (the last one cut short with an ellipsis when needed).
    QStringList visibleLines() const;

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QStringList layoutLines(qreal width) const;
    qreal textWidthLimit() const;

    AppToast m_toast;
    int m_maximumWidth = 600;
    qreal m_opacity = 1.0;
};
