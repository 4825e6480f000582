#include "NVLXDesign/DynamicColor.h"

QColor colorFromHex(quint32 hex, qreal alpha)
{
    QColor color = QColor::fromRgbF(float(((hex >> 16) & 0xFF) / 255.0), float(((hex >> 8) & 0xFF) / 255.0),
                                    float((hex & 0xFF) / 255.0));
    color.setAlphaF(float(qBound(0.0, alpha, 1.0)));
    return color;
}

QColor DynamicColor::resolve(EffectiveAppearance appearance) const
{
    return appearance == EffectiveAppearance::Dark ? colorFromHex(m_darkHex, m_darkAlpha)
                                                   : colorFromHex(m_lightHex, m_lightAlpha);
}

QColor DynamicColor::resolve(EffectiveAppearance appearance, qreal factor) const
{
    QColor color = resolve(appearance);
    color.setAlphaF(float(qBound(0.0, color.alphaF() * factor, 1.0)));
    return color;
}
