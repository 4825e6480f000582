#include "Kestrowan/shell/AppToast.h"

#include "Kestrowan/shell/AppColors.h"

QString AppToast::symbolName(Kind kind)
{
    switch (kind) {
    case Kind::Success: return QStringLiteral("checkmark.circle.fill");
    case Kind::Error: return QStringLiteral("xmark.circle.fill");
    case Kind::Warning: return QStringLiteral("exclamationmark.triangle.fill");
    case Kind::Info: return QStringLiteral("info.circle.fill");
    }
    return QString();
}

DynamicColor AppToast::color(Kind kind)
{
    switch (kind) {
    case Kind::Success: return AppColors::success;
    case Kind::Error: return AppColors::danger;
    case Kind::Warning: return AppColors::warning;
    case Kind::Info: return AppColors::accent; // the accent, not the info blue
    }
    return AppColors::accent;
}
