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
inline constexpr DynamicColor text3 = DynamicColor::dynamic(0x999999, 0x8E8E8E, 1.0, 1.0);
inline constexpr DynamicColor text4 = DynamicColor::dynamic(0xBBBBBB, 0x6F6F6F, 1.0, 1.0);
inline constexpr DynamicColor icon = DynamicColor::dynamic(0x888888, 0xAAAAAA, 1.0, 1.0);
inline constexpr DynamicColor shadowLg = DynamicColor::dynamic(0x1A120A, 0x000000, 0.125, 0.2);

} // namespace AppColors
