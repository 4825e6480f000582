#pragma once

#include "NVLXDesign/DynamicColor.h"

// The application's colour tokens. Each picks its light or dark value when it is drawn, from the
// appearance of the widget it is drawn into (`AppColors::accent.resolve(this)`), or for an appearance
// given outright (`resolve(EffectiveAppearance::Dark)`). Close to the design kit's set, but not equal
// in every token.
namespace AppColors {

// Light value and alpha, then dark.
inline constexpr DynamicColor bg = DynamicColor::dynamic(0xFAF8F5, 0x131211, 1.0, 1.0);
inline constexpr DynamicColor surface = DynamicColor::dynamic(0xFFFFFF, 0x1A1A1A, 1.0, 1.0);
inline constexpr DynamicColor surfaceElevated = DynamicColor::dynamic(0xFFFFFF, 0x222222, 1.0, 1.0);
// bgHover and bgInput are equal: the popup uses bgInput, the other windows bgHover.
inline constexpr DynamicColor bgHover = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.024, 0.031);
inline constexpr DynamicColor bgInput = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.024, 0.031);
inline constexpr DynamicColor bgBadge = DynamicColor::dynamic(0xF0F0F0, 0x2A2A2A, 1.0, 1.0);
inline constexpr DynamicColor accent = DynamicColor::dynamic(0xFF7A44, 0xFF9966, 1.0, 1.0);
inline constexpr DynamicColor accentOn = DynamicColor::fixed(0xFFFFFF);
inline constexpr DynamicColor accentSubtle = DynamicColor::dynamic(0xFF7A44, 0xFF7A44, 0.071, 0.125);
inline constexpr DynamicColor accentStroke = DynamicColor::dynamic(0xFF9B7A, 0xFF9B7A, 1.0, 0.502);
inline constexpr DynamicColor accent2 = DynamicColor::dynamic(0x007AFF, 0x409CFF, 1.0, 1.0);
inline constexpr DynamicColor accent2Glow = DynamicColor::dynamic(0x007AFF, 0x409CFF, 0.125, 0.188);
inline constexpr DynamicColor success = DynamicColor::dynamic(0x34C759, 0x30D158, 1.0, 1.0);
inline constexpr DynamicColor danger = DynamicColor::dynamic(0xFF3B30, 0xFF453A, 1.0, 1.0);
inline constexpr DynamicColor warning = DynamicColor::dynamic(0xFF9500, 0xFFB340, 1.0, 1.0);
inline constexpr DynamicColor info = DynamicColor::dynamic(0x007AFF, 0x0A84FF, 1.0, 1.0);
inline constexpr DynamicColor text1 = DynamicColor::dynamic(0x1A1A1A, 0xEEEEEE, 1.0, 1.0);
inline constexpr DynamicColor text2 = DynamicColor::dynamic(0x666666, 0xB8B8B8, 1.0, 1.0);
inline constexpr DynamicColor text3 = DynamicColor::dynamic(0x999999, 0x8E8E8E, 1.0, 1.0);
inline constexpr DynamicColor text4 = DynamicColor::dynamic(0xBBBBBB, 0x6F6F6F, 1.0, 1.0);
inline constexpr DynamicColor icon = DynamicColor::dynamic(0x888888, 0xAAAAAA, 1.0, 1.0);
inline constexpr DynamicColor border = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.039, 0.059);
inline constexpr DynamicColor borderStrong = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.094, 0.122);
inline constexpr DynamicColor borderCard = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.031, 0.039);
inline constexpr DynamicColor divider = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.039, 0.031);
inline constexpr DynamicColor shadow = DynamicColor::dynamic(0x1A120A, 0x000000, 0.031, 0.188);
inline constexpr DynamicColor shadowMd = DynamicColor::dynamic(0x1A120A, 0x000000, 0.071, 0.314);
inline constexpr DynamicColor shadowLg = DynamicColor::dynamic(0x1A120A, 0x000000, 0.125, 0.2);
inline constexpr DynamicColor shadowAccent = DynamicColor::dynamic(0xFF7A44, 0xFF7A44, 0.094, 0.188);
inline constexpr DynamicColor hover = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.031, 0.039);
inline constexpr DynamicColor pressed = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.071, 0.078);

} // namespace AppColors
