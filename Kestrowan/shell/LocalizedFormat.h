#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// Fills a localised format ("%@, %lld items") with its arguments in order. Understands %@, %lld,
// %ld and %d, their positional forms ("%2$@") and "%%"; anything else stays as written, and a
// specifier without an argument is left out.
QString formatLocalizedText(const QString &format, const QVariantList &arguments);

// localized(key) used as a format. Where a count among the arguments is one, the singular is used if
// the language has it: the text under the key with a form added for each count in order, "one" or
// "other" ("onboarding.done.subtitle.one.other" for one group of several apps).
QString localizedFormat(const QString &key, const QVariantList &arguments);
