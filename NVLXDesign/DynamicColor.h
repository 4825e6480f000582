#pragma once

#include "NVLXDesign/EffectiveAppearance.h"

#include <QColor>
#include <QtGlobal>

// A fixed sRGB colour from 0xRRGGBB and an opacity from 0 to 1.
QColor colorFromHex(quint32 hex, qreal alpha = 1.0);

// A colour with one value per appearance, chosen each time it is drawn, so switching the appearance
// needs no rebuilding of anything that holds one.
class DynamicColor {
public:
    constexpr DynamicColor(quint32 lightHex, quint32 darkHex, qreal lightAlpha = 1.0, qreal darkAlpha = 1.0)
        : m_lightHex(lightHex), m_darkHex(darkHex), m_lightAlpha(lightAlpha), m_darkAlpha(darkAlpha)
    {
    }
    // The same colour in both appearances.
    static constexpr DynamicColor fixed(quint32 hex, qreal alpha = 1.0) { return DynamicColor(hex, hex, alpha, alpha); }
    // The light value and alpha, then the dark ones.
    static constexpr DynamicColor dynamic(quint32 light, quint32 dark, qreal lightAlpha, qreal darkAlpha)
    {
        return DynamicColor(light, dark, lightAlpha, darkAlpha);
    }

    QColor resolve(EffectiveAppearance appearance) const;
    // The value for the appearance `widget` is drawn in.
    QColor resolve(const QWidget *widget) const { return resolve(effectiveAppearance(widget)); }
    // The value with its opacity multiplied by `factor` (a token "at opacity 0.1").
    QColor resolve(EffectiveAppearance appearance, qreal factor) const;
    QColor resolve(const QWidget *widget, qreal factor) const { return resolve(effectiveAppearance(widget), factor); }

    QColor light() const { return resolve(EffectiveAppearance::Light); }
    QColor dark() const { return resolve(EffectiveAppearance::Dark); }

    constexpr bool operator==(const DynamicColor &) const = default;

private:
    quint32 m_lightHex;
    quint32 m_darkHex;
    qreal m_lightAlpha;
    qreal m_darkAlpha;
};
