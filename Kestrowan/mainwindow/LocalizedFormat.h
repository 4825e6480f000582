#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// Fills a localised format ("%@, %lld items") with its arguments in order. Understands %@, %lld,
// %ld and %d, their positional forms ("%2$@") and "%%"; anything else stays as written, and a
// specifier without an argument is left out.
QString formatLocalizedText(const QString &format, const QVariantList &arguments);

// localized(key) used as a format.
QString localizedFormat(const QString &key, const QVariantList &arguments);
