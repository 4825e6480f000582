#include "Kestrowan/shell/Appearance.h"

#include "Platform/SystemAppearance.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

Appearance &Appearance::shared()
{
    static Appearance *instance = new Appearance();
    return *instance;
}

namespace {

struct Colours {
    QColor window, base, alternateBase, text, secondaryText, disabledText, button, highlight, highlightedText,
        link, toolTipBase, toolTipText, light, mid, dark, shadow;
};

QPalette paletteFrom(const Colours &c)
{
    QPalette p;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = disabled ? c.disabledText : c.text;
        p.setColor(group, QPalette::Window, c.window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, c.base);
        p.setColor(group, QPalette::AlternateBase, c.alternateBase);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::PlaceholderText, c.secondaryText);
        p.setColor(group, QPalette::Button, c.button);
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::BrightText, Qt::white);
        p.setColor(group, QPalette::Highlight, disabled ? c.mid : c.highlight);
        p.setColor(group, QPalette::HighlightedText, c.highlightedText);
        p.setColor(group, QPalette::Link, c.link);
        p.setColor(group, QPalette::LinkVisited, c.link);
        p.setColor(group, QPalette::ToolTipBase, c.toolTipBase);
        p.setColor(group, QPalette::ToolTipText, c.toolTipText);
        p.setColor(group, QPalette::Light, c.light);
        p.setColor(group, QPalette::Midlight, c.light);
        p.setColor(group, QPalette::Mid, c.mid);
        p.setColor(group, QPalette::Dark, c.dark);
        p.setColor(group, QPalette::Shadow, c.shadow);
    }
    p.setColor(QPalette::Inactive, QPalette::Highlight, c.mid);
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, c.text);
    return p;
}

} // namespace

QPalette Appearance::lightPalette()
{
    return paletteFrom({
        .window = QColor(0xEC, 0xEC, 0xEC),
        .base = QColor(0xFF, 0xFF, 0xFF),
        .alternateBase = QColor(0xF4, 0xF5, 0xF5),
        .text = QColor(0x1D, 0x1D, 0x1F),
        // Placeholders read at 4.5:1 on white and on the tinted fields of the warm page.
        .secondaryText = QColor(0x6B, 0x6B, 0x70),
        .disabledText = QColor(0xAE, 0xAE, 0xB2),
        .button = QColor(0xFF, 0xFF, 0xFF),
        .highlight = QColor(0x00, 0x7A, 0xFF),
        .highlightedText = QColor(0xFF, 0xFF, 0xFF),
        .link = QColor(0x00, 0x68, 0xDA),
        .toolTipBase = QColor(0xFF, 0xFF, 0xFF),
        .toolTipText = QColor(0x1D, 0x1D, 0x1F),
        .light = QColor(0xFF, 0xFF, 0xFF),
        .mid = QColor(0xC7, 0xC7, 0xCC),
        .dark = QColor(0xA0, 0xA0, 0xA5),
        .shadow = QColor(0x00, 0x00, 0x00, 0x40),
    });
}

QPalette Appearance::darkPalette()
{
    return paletteFrom({
        .window = QColor(0x1E, 0x1E, 0x20),
        .base = QColor(0x28, 0x28, 0x2B),
        .alternateBase = QColor(0x2F, 0x2F, 0x33),
        .text = QColor(0xF2, 0xF2, 0xF7),
        .secondaryText = QColor(0x98, 0x98, 0x9F),
        .disabledText = QColor(0x63, 0x63, 0x68),
        .button = QColor(0x3A, 0x3A, 0x3C),
        .highlight = QColor(0x0A, 0x84, 0xFF),
        .highlightedText = QColor(0xFF, 0xFF, 0xFF),
        .link = QColor(0x41, 0x9C, 0xFF),
        .toolTipBase = QColor(0x3A, 0x3A, 0x3C),
        .toolTipText = QColor(0xF2, 0xF2, 0xF7),
        .light = QColor(0x48, 0x48, 0x4A),
        .mid = QColor(0x48, 0x48, 0x4A),
        .dark = QColor(0x14, 0x14, 0x16),
        .shadow = QColor(0x00, 0x00, 0x00, 0x80),
    });
}

void Appearance::apply(std::optional<bool> forcedDark)
{
    m_forcedDark = forcedDark;
    const bool dark = forcedDark.value_or(SystemAppearance::shared().prefersDark());
    if (m_applied && dark == m_dark)
        return;
    if (!m_applied) {
        if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
            QApplication::setStyle(fusion);
    }
    m_applied = true;
    m_dark = dark;
    // The application's palette reaches every widget that has not set its own; windows repaint.
    QApplication::setPalette(dark ? darkPalette() : lightPalette());
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            window->update();
    }
    emit changed(dark);
}
