#include "NVLXDesign/NVLXButton.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/DynamicShadowEffect.h"
#include "NVLXDesign/PointerCursor.h"
#include "NVLXDesign/SystemFont.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr qreal kIconTextSpacing = 6;

} // namespace

NVLXButtonLook NVLXButtonLook::of(NVLXButtonStyle style, bool pressed, EffectiveAppearance appearance)
{
    NVLXButtonLook look;
    switch (style) {
    case NVLXButtonStyle::Primary:
        look.font = SystemFont::font(DS::fsSm, QFont::DemiBold);
        look.textColor = DS::accentOn.resolve(appearance);
        look.horizontalInset = DS::sp16;
        look.verticalInset = DS::sp8;
        look.cornerRadius = DS::rBtn;
        look.fill = (pressed ? DS::accentPressed : DS::accent).resolve(appearance);
        look.shadow = Shadow{DS::shadowAccent.resolve(appearance), 8, QPointF(0, 3)};
        look.opacity = pressed ? 0.92 : 1.0;
        break;
    case NVLXButtonStyle::Secondary:
        look.font = SystemFont::font(DS::fsSm, QFont::DemiBold);
        look.textColor = DS::text1.resolve(appearance);
        look.horizontalInset = DS::sp16;
        look.verticalInset = DS::sp8;
        look.cornerRadius = DS::rBtn;
        look.fill = DS::btnSecondaryFill.resolve(appearance);
        look.stroke = DS::btnSecondaryStroke.resolve(appearance);
        look.shadow = Shadow{DS::shadow.resolve(appearance), 4, QPointF(0, 1)};
        look.opacity = pressed ? 0.88 : 1.0;
        break;
    case NVLXButtonStyle::Ghost:
        look.font = SystemFont::font(DS::fsSm, QFont::Medium);
        look.textColor = DS::text2.resolve(appearance);
        look.horizontalInset = DS::sp10;
        look.verticalInset = DS::sp6;
        look.cornerRadius = DS::rSm;
        look.fill = pressed ? DS::pressed.resolve(appearance) : QColor(Qt::transparent);
        break;
    case NVLXButtonStyle::Plain:
        look.opacity = pressed ? 0.85 : 1.0;
        break;
    }
    return look;
}

NVLXButton::NVLXButton(NVLXButtonStyle style, const QString &text, QWidget *parent)
    : QAbstractButton(parent), m_style(style), m_pointer(NVLXDesign::pointerCursor(this))
{
    setText(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    // Reached by Tab, not taken by a click: the focus ring then only shows for keyboard use.
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::pressed, this, qOverload<>(&QWidget::update));
    connect(this, &QAbstractButton::released, this, qOverload<>(&QWidget::update));
    updateShadow();
}

void NVLXButton::setButtonStyle(NVLXButtonStyle style)
{
    if (m_style == style)
        return;
    m_style = style;
    updateShadow();
    updateGeometry();
    update();
}

NVLXButtonLook NVLXButton::currentLook() const
{
    const EffectiveAppearance appearance = effectiveAppearance(this);
    NVLXButtonLook look = NVLXButtonLook::of(m_style, isDown(), appearance);
    if (m_adjuster)
        m_adjuster(look, appearance);
    return look;
}

void NVLXButton::setLookAdjuster(LookAdjuster adjuster)
{
    m_adjuster = std::move(adjuster);
    updateShadow();
    updateGeometry();
    update();
}

void NVLXButton::updateShadow()
{
    const NVLXButtonLook look = NVLXButtonLook::of(m_style, false, effectiveAppearance(this));
    if (m_style == NVLXButtonStyle::Primary)
        DynamicShadowEffect::apply(this, DS::shadowAccent, look.shadow->radius, look.shadow->offset);
    else if (m_style == NVLXButtonStyle::Secondary)
        DynamicShadowEffect::apply(this, DS::shadow, look.shadow->radius, look.shadow->offset);
    else
        setGraphicsEffect(nullptr);
}

QSize NVLXButton::sizeHint() const
{
    const NVLXButtonLook look = currentLook();
    const QFontMetricsF metrics(look.font.value_or(font()));
    qreal width = metrics.horizontalAdvance(text());
    qreal height = metrics.height();
    if (!icon().isNull()) {
        width += iconSize().width() + (text().isEmpty() ? 0 : kIconTextSpacing);
        height = qMax(height, qreal(iconSize().height()));
    }
    return QSize(qCeil(width + 2 * look.horizontalInset), qCeil(height + 2 * look.verticalInset));
}

QSize NVLXButton::minimumSizeHint() const
{
    return sizeHint();
}

void NVLXButton::paintEvent(QPaintEvent *)
{
    const NVLXButtonLook look = currentLook();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? look.opacity : look.opacity * 0.5);
    const QRectF bounds = QRectF(rect());
    const QPainterPath shape = ContinuousShape::roundedRect(bounds, look.cornerRadius);
    if (look.fill.alpha() > 0)
        painter.fillPath(shape, look.fill);
    if (look.stroke) {
        QPen pen(*look.stroke, 1);
        painter.setPen(pen);
        painter.drawPath(ContinuousShape::roundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), look.cornerRadius - 0.5));
    }
    const QFont labelFont = look.font.value_or(font());
    const QColor labelColor = look.textColor.value_or(palette().color(QPalette::ButtonText));
    const QFontMetricsF metrics(labelFont);
    const qreal textWidth = metrics.horizontalAdvance(text());
    const bool hasIcon = !icon().isNull();
    const qreal iconWidth = hasIcon ? iconSize().width() : 0;
    const qreal spacing = hasIcon && !text().isEmpty() ? kIconTextSpacing : 0;
    qreal x = bounds.center().x() - (iconWidth + spacing + textWidth) / 2;
    if (hasIcon) {
        const QRectF iconRect(x, bounds.center().y() - iconSize().height() / 2.0, iconSize().width(), iconSize().height());
        icon().paint(&painter, iconRect.toRect());
        x += iconWidth + spacing;
    }
    painter.setFont(labelFont);
    painter.setPen(labelColor);
    painter.drawText(QRectF(x, bounds.top(), textWidth + 1, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

void NVLXButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        updateGeometry();
        update();
    }
    QAbstractButton::changeEvent(event);
}

PlainContentButton::PlainContentButton(PointerCursorCount &cursorCount, QWidget *parent)
    : QAbstractButton(parent), m_pointer(new PointerCursorModifier(this, cursorCount)),
      m_opacity(new QGraphicsOpacityEffect(this))
{
    m_opacity->setOpacity(pressedOpacity);
    m_opacity->setEnabled(false);
    setGraphicsEffect(m_opacity);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    connect(this, &QAbstractButton::pressed, this, [this] { m_opacity->setEnabled(true); });
    connect(this, &QAbstractButton::released, this, [this] { m_opacity->setEnabled(false); });
}

void PlainContentButton::setContent(QWidget *content)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content) {
        content->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout()->addWidget(content);
    }
    updateGeometry();
}

qreal PlainContentButton::currentOpacity() const
{
    return m_opacity->isEnabled() ? m_opacity->opacity() : 1.0;
}

QSize PlainContentButton::sizeHint() const
{
    return m_content ? m_content->sizeHint() : QSize(0, 0);
}

void PlainContentButton::paintEvent(QPaintEvent *) {}

NVLXPlainButton::NVLXPlainButton(QWidget *parent) : PlainContentButton(NVLXDesign::pointerCursorState(), parent) {}
