#include "Kestrowan/shell/LocalizedFormat.h"

#include "Kestrowan/shell/Localization.h"

namespace {

// The length of the conversion after '%' (and after a "n$" position), 0 when it is none we know.
qsizetype conversionLength(QStringView rest)
{
    for (const QStringView conversion : {u"@", u"lld", u"ld", u"d"}) {
        if (rest.startsWith(conversion))
            return conversion.size();
    }
    return 0;
}

bool isCount(const QVariant &argument)
{
    switch (argument.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return true;
    default: return false;
    }
}

} // namespace

QString formatLocalizedText(const QString &format, const QVariantList &arguments)
{
    QString out;
    out.reserve(format.size() + 16);
    qsizetype nextArgument = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%' || i + 1 >= format.size()) {
            out.append(format[i]);
            continue;
        }
        if (format[i + 1] == u'%') {
            out.append(u'%');
            ++i;
            continue;
        }
        qsizetype at = i + 1;
        qsizetype index = -1;
        qsizetype digits = at;
        while (digits < format.size() && format[digits].isDigit())
            ++digits;
        if (digits > at && digits < format.size() && format[digits] == u'$') {
            index = QStringView(format).mid(at, digits - at).toLongLong() - 1;
            at = digits + 1;
        }
        const qsizetype length = conversionLength(QStringView(format).mid(at));
        if (length == 0) {
            out.append(format[i]);
            continue;
        }
        if (index < 0)
            index = nextArgument++;
        if (index >= 0 && index < arguments.size())
            out.append(arguments.at(index).toString());
        i = at + length - 1;
    }
    return out;
}

QString localizedFormat(const QString &key, const QVariantList &arguments)
{
    QStringList forms;
    for (const QVariant &argument : arguments) {
        if (isCount(argument))
            forms << (argument.toLongLong() == 1 ? QStringLiteral("one") : QStringLiteral("other"));
    }
    if (forms.contains(QStringLiteral("one"))) {
        const QString variant = key + u'.' + forms.join(u'.');
        const QString text = localized(variant);
        if (text != variant)
            return formatLocalizedText(text, arguments);
    }
    return formatLocalizedText(localized(key), arguments);
}
