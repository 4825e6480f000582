#pragma once

#include <QMap>
#include <QString>

#include <optional>

// Units of each currency that one US dollar buys: a fixed snapshot, 161 currencies, "USD" not among
// them. Built once on first use, read-only afterwards.
const QMap<QString, double> &usdExchangeRates();
// Exact, case-sensitive lookup.
std::optional<double> usdExchangeRate(const QString &currencyCode);
