#include "NVLXDesign/SystemFont.h"

#include <QApplication>

namespace {

QStringList &currentFamilies()
{
    static QStringList families = SystemFont::families();
    return families;
}

} // namespace

QStringList SystemFont::families(const QString &languageCode)
{
    const QString japanese = QStringLiteral("Noto Sans CJK JP");
    const QString chinese = QStringLiteral("Noto Sans CJK SC");
    // Names may hold emoji, which none of the text faces draws; the colour emoji face comes last
    // so it never takes a letter from them.
    const QString emoji = QStringLiteral("Noto Color Emoji");
    if (languageCode.startsWith(QLatin1String("zh")))
        return {QStringLiteral("Inter"), chinese, japanese, emoji};
    return {QStringLiteral("Inter"), japanese, chinese, emoji};
}

void SystemFont::applyToApplication(const QString &languageCode)
{
    currentFamilies() = families(languageCode);
    QApplication::setFont(font(13));
}

QFont SystemFont::font(qreal points, QFont::Weight weight)
{
    QFont result;
    result.setFamilies(currentFamilies());
    result.setPixelSize(qMax(1, qRound(points)));
    result.setWeight(weight);
    result.setStyleStrategy(QFont::PreferAntialias);
    result.setHintingPreference(QFont::PreferNoHinting);
    return result;
}

QFont SystemFont::monospacedFont(qreal points, QFont::Weight weight)
{
    QFont result = font(points, weight);
    QStringList families{QStringLiteral("DejaVu Sans Mono")};
    families += result.families();
    result.setFamilies(families);
    return result;
}
