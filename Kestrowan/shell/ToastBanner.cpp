#include "Kestrowan/shell/ToastBanner.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

namespace {

QFont textFont()
{
    return SystemFont::font(ToastBanner::textSize, QFont::Medium);
}

QStringList stripMarks(QStringList lines)
{
    for (QString &line : lines)
        line = LineBreaking::visibleText(line);
    return lines;
}

} // namespace

ToastBanner::ToastBanner(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
    applyPointerCursor(this);
}

void ToastBanner::setToast(const AppToast &toast)
{
    m_toast = toast;
    updateGeometry();
    update();
}

void ToastBanner::setOpacity(qreal opacity)
{
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

void ToastBanner::setMaximumBannerWidth(int width)
{
    m_maximumWidth = qMax(1, width);
    updateGeometry();
}

qreal ToastBanner::textWidthLimit() const
{
    return qMax<qreal>(20, m_maximumWidth - 2 * horizontalPadding - symbolSize - spacing);
}

QStringList ToastBanner::layoutLines(qreal width) const
{
    QStringList lines;
    const QFont font = textFont();
    const QFontMetricsF metrics(font);
    QTextLayout layout(m_toast.text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (!m_toast.whole && lines.size() == maximumLines - 1) {
            // The last line takes the rest of the text, cut with an ellipsis when it is too long.
            const QString rest = m_toast.text.mid(line.textStart()).simplified();
            lines.append(metrics.elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(m_toast.text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

QStringList ToastBanner::visibleLines() const
{
    const qreal limit = textWidthLimit();
    const qsizetype wholeLines = LineBreaking::wrappedLines(textFont(), m_toast.text, limit).size();
    // A text cut with "…" already fills its lines.
    if (wholeLines < 2 || (wholeLines > maximumLines && !m_toast.whole))
        return stripMarks(layoutLines(limit));
    // Even lines: a word left alone on the second line looks like a mistake.
    return stripMarks(layoutLines(LineBreaking::balancedWidth(textFont(), m_toast.text, limit)));
}

QSize ToastBanner::sizeHint() const
{
    const QFontMetricsF metrics(textFont());
    qreal textWidth = 0;
    const QStringList lines = visibleLines();
    for (const QString &line : lines)
        textWidth = qMax(textWidth, metrics.horizontalAdvance(line));
    const qreal textHeight = metrics.height() * qMax<qsizetype>(1, lines.size());
    const qreal contentHeight = qMax<qreal>(textHeight, symbolSize);
    return QSize(qCeil(2 * horizontalPadding + symbolSize + spacing + textWidth),
                 qCeil(2 * verticalPadding + contentHeight));
}

void ToastBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(m_opacity);
    const QRectF bounds(rect());
    painter.fillPath(ContinuousShape::capsule(bounds), AppColors::surfaceElevated.resolve(this));

    const QRectF content = bounds.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    if (const std::optional<SymbolImage> symbol = SymbolImage::named(AppToast::symbolName(m_toast.kind))) {
        const SymbolImage tinted = symbol->configured(symbolSize, SymbolImage::Weight::Regular, AppToast::color(m_toast.kind).resolve(this));
        const QSizeF size = tinted.size();
        tinted.render(painter, QRectF(content.left() + (symbolSize - size.width()) / 2, content.center().y() - size.height() / 2,
                                      size.width(), size.height()));
    }

    const QFont font = textFont();
    const QFontMetricsF metrics(font);
    const QStringList lines = visibleLines();
    painter.setFont(font);
    painter.setPen(AppColors::text1.resolve(this));
    const qreal textLeft = content.left() + symbolSize + spacing;
    qreal y = content.center().y() - metrics.height() * lines.size() / 2;
    for (const QString &line : lines) {
        painter.drawText(QPointF(textLeft, y + metrics.ascent()), line);
        y += metrics.height();
    }
}

void ToastBanner::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
