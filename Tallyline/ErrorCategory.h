#pragma once

#include <QString>

#include <optional>

// The broad kind of a reported error.
enum class ErrorCategory { thrownException, userInput, appState };

// "thrown-exception", "user-input", "app-state".
QString errorCategoryRawValue(ErrorCategory category);
// Only the exact raw values name a category.
std::optional<ErrorCategory> errorCategoryFromRawValue(const QString &rawValue);
