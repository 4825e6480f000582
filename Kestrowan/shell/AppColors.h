#pragma once

#include "NVLXDesign/DS.h"
#include "NVLXDesign/DynamicColor.h"

// The application's colour tokens. Each picks its light or dark value when it is drawn, from the
// appearance of the widget it is drawn into (`AppColors::accent.resolve(this)`), or for an appearance
// given outright (`resolve(EffectiveAppearance::Dark)`). Most are the design kit's own; the secondary
// texts, the icon tint and the large shadow are lighter in the dark, so they are the application's.
namespace AppColors {

using DS::bg;
using DS::surface;
using DS::surfaceElevated;
// bgHover and bgInput are equal: the popup uses bgInput, the other windows bgHover.
using DS::bgHover;
using DS::bgInput;
using DS::bgBadge;
using DS::accent;
using DS::accentOn;
using DS::accentSubtle;
using DS::accentStroke;
using DS::accent2;
using DS::accent2Glow;
using DS::success;
using DS::danger;
using DS::warning;
using DS::info;
using DS::text1;
using DS::border;
using DS::borderStrong;
using DS::borderCard;
using DS::divider;
using DS::shadow;
using DS::shadowMd;
using DS::shadowAccent;
using DS::hover;
using DS::pressed;

// Light value and alpha, then dark.
inline constexpr DynamicColor text2 = DynamicColor::dynamic(0x666666, 0xB8B8B8, 1.0, 1.0);
// Deep enough that text in it reads at 4.5:1 or more on every surface of either look (the page, a
// card, a raised panel, a tinted field), still lighter than the secondary text.
inline constexpr DynamicColor text3 = DynamicColor::dynamic(0x6B6B6B, 0x999999, 1.0, 1.0);
inline constexpr DynamicColor text4 = DynamicColor::dynamic(0xBBBBBB, 0x6F6F6F, 1.0, 1.0);
inline constexpr DynamicColor icon = DynamicColor::dynamic(0x888888, 0xAAAAAA, 1.0, 1.0);
inline constexpr DynamicColor shadowLg = DynamicColor::dynamic(0x1A120A, 0x000000, 0.125, 0.2);

// The accent and the state colours as text. The bright tones are made for fills, dots and
// symbols: words drawn in them in the light look fall to 2:1 to 3.5:1 on white. These shades keep
// the hue and reach 4.5:1 on the page, a card and their own tinted fill in either look.
inline constexpr DynamicColor accentInk = DynamicColor::dynamic(0xB84A1A, 0xFF9966, 1.0, 1.0);
inline constexpr DynamicColor successInk = DynamicColor::dynamic(0x1E7B34, 0x30D158, 1.0, 1.0);
inline constexpr DynamicColor warningInk = DynamicColor::dynamic(0xA35200, 0xFFB340, 1.0, 1.0);
inline constexpr DynamicColor dangerInk = DynamicColor::dynamic(0xC4261D, 0xFF453A, 1.0, 1.0);
inline constexpr DynamicColor infoInk = DynamicColor::dynamic(0x0062CC, 0x409CFF, 1.0, 1.0);

// The colour words take when they are drawn in `tone`: its text shade for the accent and the state
// colours, `tone` itself for every other token.
constexpr DynamicColor textInk(const DynamicColor &tone)
{
    if (tone == accent)
        return accentInk;
    if (tone == success)
        return successInk;
    if (tone == warning)
        return warningInk;
    if (tone == danger)
        return dangerInk;
    if (tone == info)
        return infoInk;
    return tone;
}

} // namespace AppColors
