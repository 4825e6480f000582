#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QLinearGradient>
#include <QRectF>

// The kit's design tokens: colours that follow the appearance, corner radii, spacings, font sizes,
// icon sizes and blur radii, all lengths in points (one point is one device-independent pixel).
namespace DS {

// Colours: light value and alpha, then dark.
inline constexpr DynamicColor bg = DynamicColor::dynamic(0xFAF8F5, 0x131211, 1.0, 1.0);
inline constexpr DynamicColor bgSecondary = DynamicColor::dynamic(0xF3F0ED, 0x1C1B19, 1.0, 1.0);
inline constexpr DynamicColor bgWarm = DynamicColor::dynamic(0xFFF5F0, 0x1A1410, 1.0, 1.0);
inline constexpr DynamicColor surface = DynamicColor::dynamic(0xFFFFFF, 0x1A1A1A, 1.0, 1.0);
inline constexpr DynamicColor surfaceElevated = DynamicColor::dynamic(0xFFFFFF, 0x222222, 1.0, 1.0);
inline constexpr DynamicColor bgHover = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.024, 0.031);
inline constexpr DynamicColor bgInput = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.024, 0.031);
inline constexpr DynamicColor bgBadge = DynamicColor::dynamic(0xF0F0F0, 0x2A2A2A, 1.0, 1.0);
inline constexpr DynamicColor accent = DynamicColor::dynamic(0xFF7A44, 0xFF9966, 1.0, 1.0);
inline constexpr DynamicColor accentHover = DynamicColor::dynamic(0xE86A35, 0xFF9060, 1.0, 1.0);
inline constexpr DynamicColor accentPressed = DynamicColor::dynamic(0xD45E2D, 0xFF7A44, 1.0, 1.0);
inline constexpr DynamicColor accentSub = DynamicColor::dynamic(0xFFF0E8, 0x2D1E14, 1.0, 1.0);
inline constexpr DynamicColor accentSubtle = DynamicColor::dynamic(0xFF7A44, 0xFF7A44, 0.071, 0.125);
inline constexpr DynamicColor accentStroke = DynamicColor::dynamic(0xFF9B7A, 0xFF9B7A, 1.0, 0.502);
inline constexpr DynamicColor accentGlow = DynamicColor::dynamic(0xFF7A44, 0xFF7A44, 0.188, 0.251);
inline constexpr DynamicColor accentGradientTop = DynamicColor::dynamic(0xFF7B5A, 0xFF8C66, 1.0, 1.0);
inline constexpr DynamicColor accentGradientBottom = DynamicColor::dynamic(0xFF4520, 0xE85A30, 1.0, 1.0);
inline constexpr DynamicColor accent2 = DynamicColor::dynamic(0x007AFF, 0x409CFF, 1.0, 1.0);
inline constexpr DynamicColor accent2Glow = DynamicColor::dynamic(0x007AFF, 0x409CFF, 0.125, 0.188);
inline constexpr DynamicColor success = DynamicColor::dynamic(0x34C759, 0x30D158, 1.0, 1.0);
inline constexpr DynamicColor successSubtle = DynamicColor::dynamic(0xEEFBF4, 0x0F3A22, 1.0, 1.0);
inline constexpr DynamicColor danger = DynamicColor::dynamic(0xFF3B30, 0xFF453A, 1.0, 1.0);
inline constexpr DynamicColor dangerSubtle = DynamicColor::dynamic(0xFFF0F0, 0x3A1618, 1.0, 1.0);
inline constexpr DynamicColor warning = DynamicColor::dynamic(0xFF9500, 0xFFB340, 1.0, 1.0);
inline constexpr DynamicColor warningSubtle = DynamicColor::dynamic(0xFFF7E0, 0x3A2A10, 1.0, 1.0);
inline constexpr DynamicColor info = DynamicColor::dynamic(0x007AFF, 0x0A84FF, 1.0, 1.0);
inline constexpr DynamicColor infoSubtle = DynamicColor::dynamic(0xEBF5FF, 0x0A2A44, 1.0, 1.0);
inline constexpr DynamicColor text1 = DynamicColor::dynamic(0x1A1A1A, 0xEEEEEE, 1.0, 1.0);
inline constexpr DynamicColor text2 = DynamicColor::dynamic(0x666666, 0x999999, 1.0, 1.0);
inline constexpr DynamicColor text3 = DynamicColor::dynamic(0x999999, 0x666666, 1.0, 1.0);
inline constexpr DynamicColor text4 = DynamicColor::dynamic(0xBBBBBB, 0x444444, 1.0, 1.0);
inline constexpr DynamicColor iconBg = DynamicColor::dynamic(0xE8E4DF, 0x2A2A2A, 1.0, 1.0);
inline constexpr DynamicColor border = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.039, 0.059);
inline constexpr DynamicColor borderStrong = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.094, 0.122);
inline constexpr DynamicColor borderCard = DynamicColor::dynamic(0x000000, 0xFFFFFF, 0.031, 0.039);
inline constexpr DynamicColor borderFocus = DynamicColor::dynamic(0xFF7A44, 0xFF7A44, 0.4, 0.502);
inline constexpr DynamicColor borderDanger = DynamicColor::dynamic(0xE54538, 0xFF6B5C, 0.2, 0.251);
inline constexpr DynamicColor divider = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.039, 0.031);
inline constexpr DynamicColor shadow = DynamicColor::dynamic(0x1A120A, 0x000000, 0.031, 0.188);
inline constexpr DynamicColor shadowMd = DynamicColor::dynamic(0x1A120A, 0x000000, 0.071, 0.314);
inline constexpr DynamicColor shadowLg = DynamicColor::dynamic(0x1A120A, 0x000000, 0.125, 0.439);
inline constexpr DynamicColor shadowAccent = DynamicColor::dynamic(0xFF7A44, 0xFF7A44, 0.094, 0.188);
inline constexpr DynamicColor glassFill = DynamicColor::dynamic(0xFFFFFF, 0x1A1A1A, 0.667, 0.533);
inline constexpr DynamicColor glassStroke = DynamicColor::dynamic(0xFFFFFF, 0xFFFFFF, 0.188, 0.063);
inline constexpr DynamicColor scrim = DynamicColor::dynamic(0x000000, 0x000000, 0.314, 0.541);
inline constexpr DynamicColor scrimHeavy = DynamicColor::dynamic(0x000000, 0x000000, 0.502, 0.702);
inline constexpr DynamicColor hover = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.031, 0.039);
inline constexpr DynamicColor pressed = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.071, 0.078);
inline constexpr DynamicColor disabledBg = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.024, 0.024);
inline constexpr DynamicColor disabledText = DynamicColor::dynamic(0x1A120A, 0xFFFFFF, 0.2, 0.2);
inline constexpr DynamicColor btnHighlight = DynamicColor::dynamic(0xFFFFFF, 0xFFFFFF, 1.0, 0.094);
inline constexpr DynamicColor btnSecondaryFill = DynamicColor::dynamic(0xF0F0EE, 0x2A2A28, 1.0, 1.0);
inline constexpr DynamicColor btnSecondaryStroke = DynamicColor::dynamic(0xE8E4DF, 0x3A3A38, 1.0, 1.0);

// The same in both appearances. Ink on an accent (or success) fill is dark: white on the light
// orange of either appearance stays near 2:1, under what small text needs to be read.
inline constexpr DynamicColor accentOn = DynamicColor::fixed(0x1A120A);
inline constexpr DynamicColor icon = DynamicColor::fixed(0x888888);

// Top-centre to bottom-centre over two fixed colours; it does not follow the appearance.
QLinearGradient accentGradient(const QRectF &rect);

// Corner radii.
inline constexpr qreal rPanel = 14, rCard = 12, rBtn = 10, rBadge = 6, rSm = 6, rIcon = 5, rXs = 4, rPill = 40;
// Spacing scale.
inline constexpr qreal sp2 = 2, sp4 = 4, sp6 = 6, sp8 = 8, sp10 = 10, sp12 = 12, sp16 = 16, sp20 = 20, sp24 = 24,
                       sp32 = 32, sp40 = 40, sp48 = 48, sp64 = 64;
// Spacing by role.
inline constexpr qreal spPage = 14, spSection = 10, spItem = 6, spTight = 4, spCard = 16, spModal = 24;
// Font sizes.
inline constexpr qreal fsXs = 11, fsSm = 13, fsBase = 15, fsMd = 17, fsLg = 21, fsXl = 28, fsDisplay = 36;
// Icon sizes.
inline constexpr qreal iconXs = 12, iconSm = 16, iconMd = 20, iconBase = 24, iconLg = 32, iconXl = 48;
// Blur radii.
inline constexpr qreal blurSm = 8, blurMd = 16, blurLg = 24, blurXl = 40;

} // namespace DS
