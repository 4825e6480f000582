#include "Kestrowan/editor/DisplayStyleSection.h"

#include "Kestrowan/editor/DisplayStyleChoice.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorSectionHeader.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SoftShadow.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr qreal kSymbolSize = 13;
constexpr qreal kTitleSize = 11;
constexpr qreal kSpacing = 5;
constexpr qreal kMinimumHeight = 32;
constexpr qreal kSegmentRadius = 10;
constexpr qreal kTrackRadius = 9;

QFont titleFont(bool selected)
{
    return SystemFont::font(kTitleSize, selected ? QFont::DemiBold : QFont::Medium);
}

} // namespace

DisplayStyleSegment::DisplayStyleSegment(AppGroup::DisplayStyle style, QWidget *parent) : QAbstractButton(parent), m_style(style)
{
    setText(localized(DisplayStyleChoice::titleKey(style)));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

void DisplayStyleSegment::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    updateGeometry();
    update();
}

QColor DisplayStyleSegment::foreground() const
{
    if (!isEnabled())
        return AppColors::text4.resolve(this);
    if (m_selected)
        return AppColors::accentInk.resolve(this);
    return AppColors::text3.resolve(this);
}

QSize DisplayStyleSegment::sizeHint() const
{
    const QFontMetricsF metrics(titleFont(true));
    const qreal width = kSymbolSize + kSpacing + metrics.horizontalAdvance(text()) + 24;
    return QSize(qCeil(width), qCeil(qMax(kMinimumHeight, metrics.height() + 12)));
}

QSize DisplayStyleSegment::minimumSizeHint() const
{
    return sizeHint();
}

void DisplayStyleSegment::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF bounds(rect());
    if (m_selected) {
        // The raised card follows the selection alone, also while the segment is disabled.
        const QRectF card = bounds.adjusted(1, 0, -1, -1);
        paintSoftShadow(painter, card, kSegmentRadius, AppColors::shadow.resolve(this), 1, QPointF(0, 1));
        painter.fillPath(ContinuousShape::roundedRect(card, kSegmentRadius), AppColors::surfaceElevated.resolve(this));
    }
    const QColor color = foreground();
    const QFont font = titleFont(m_selected);
    const QFontMetricsF metrics(font);
    const qreal textWidth = metrics.horizontalAdvance(text());
    QSizeF symbolSize(kSymbolSize, kSymbolSize);
    std::optional<SymbolImage> symbol = SymbolImage::named(DisplayStyleChoice::symbolName(m_style));
    if (symbol) {
        symbol = symbol->configured(kSymbolSize, SymbolImage::Weight::Medium, color);
        symbolSize = symbol->size();
    }
    const qreal total = symbolSize.width() + kSpacing + textWidth;
    qreal x = bounds.center().x() - total / 2;
    if (symbol)
        symbol->render(painter, QRectF(x, bounds.center().y() - symbolSize.height() / 2, symbolSize.width(), symbolSize.height()));
    x += symbolSize.width() + kSpacing;
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(x, bounds.top(), textWidth + 2, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

DisplayStyleSection::DisplayStyleSection(DisplayStyleChoice *choice, QWidget *parent) : QWidget(parent), m_choice(choice)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(makeEditorSectionHeader(localized(QStringLiteral("editor.displayStyle"))));

    auto *track = new SurfaceFrame([](EffectiveAppearance appearance) {
        RoundedSurface surface{kTrackRadius, AppColors::bgHover.resolve(appearance), Qt::transparent, 0};
        return surface;
    });
    auto *segments = new QHBoxLayout(track);
    segments->setContentsMargins(3, 3, 3, 3);
    segments->setSpacing(2);
    for (AppGroup::DisplayStyle style : allDisplayStyles()) {
        auto *segment = new DisplayStyleSegment(style);
        connect(segment, &QAbstractButton::clicked, choice, [choice, style] { choice->selectDisplayStyle(style); });
        segments->addWidget(segment);
        m_segments.append(segment);
    }
    applyPelkoPointer(track, true);
    layout->addWidget(track);

    m_hint = new TokenLabel(localized(QStringLiteral("editor.fanDisabledHint")), AppColors::text3, SystemFont::font(11));
    m_hint->setWordWrap(true);
    layout->addWidget(m_hint);

    refresh();
    connect(choice, &DisplayStyleChoice::interceptionChanged, this, &DisplayStyleSection::refresh);
    connect(choice->draft(), &EditorDraft::draftChanged, this, &DisplayStyleSection::refresh);
}

void DisplayStyleSection::refresh()
{
    for (DisplayStyleSegment *segment : std::as_const(m_segments)) {
        segment->setEnabled(!m_choice->isDisabled(segment->style()));
        segment->setSelected(m_choice->isSelected(segment->style()));
    }
    m_hint->setVisible(m_choice->isDockTileIntercepted());
}
