#include "Tallyline/ErrorCategory.h"

namespace {

struct Entry
{
    ErrorCategory category;
    const char *rawValue;
};

constexpr Entry entries[] = {
    {ErrorCategory::thrownException, "thrown-exception"},
    {ErrorCategory::userInput, "user-input"},
    {ErrorCategory::appState, "app-state"},
};

} // namespace

QString errorCategoryRawValue(ErrorCategory category)
{
    for (const Entry &entry : entries) {
        if (entry.category == category)
            return QString::fromLatin1(entry.rawValue);
    }
    return {};
}

std::optional<ErrorCategory> errorCategoryFromRawValue(const QString &rawValue)
{
    for (const Entry &entry : entries) {
        if (rawValue == QLatin1String(entry.rawValue))
            return entry.category;
    }
    return std::nullopt;
}
