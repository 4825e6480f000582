#include "Platform/BinaryPropertyListEditor.h"
#include "Platform/PropertyList.h"
#include "Platform/XmlPropertyListEditor.h"

namespace PropertyList {
namespace {

// What `value` reads back as once written: the file's own types, not the caller's.
std::optional<QVariant> asWritten(const QString &key, const QVariant &value)
{
    const std::optional<QVariantMap> alone = storedDictionary(toBinary(QVariantMap{{key, value}}));
    if (!alone || !alone->contains(key))
        return std::nullopt;
    return alone->value(key);
}

// Whether `written` reads back as `before` with `changes` made, and is a file the reader takes.
std::optional<QString> readBackProblem(const QVariantMap &before, const QByteArray &written, const QVariantMap &changes)
{
    if (written.size() > maximumInputSize)
        return QStringLiteral("it would hold %1 bytes, more than the reader takes").arg(written.size());
    const std::optional<QVariantMap> after = storedDictionary(written);
    if (!after)
        return QStringLiteral("it would not read back");
    QVariantMap expected = before;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (!it.value().isValid()) {
            expected.remove(it.key());
            continue;
        }
        const std::optional<QVariant> value = asWritten(it.key(), it.value());
        if (!value)
            return QStringLiteral("the value of %1 would not read back").arg(it.key());
        expected.insert(it.key(), *value);
    }
    if (!sameValue(expected, *after))
        return QStringLiteral("it would not read back with the values it was meant to hold");
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> withTopLevelChanges(const QByteArray &stored, const QVariantMap &changes, QString *failure)
{
    const auto fail = [failure](const QString &reason) -> std::optional<QByteArray> {
        if (failure)
            *failure = reason;
        return std::nullopt;
    };
    const std::optional<QVariantMap> before = storedDictionary(stored);
    if (!before)
        return fail(QStringLiteral("the stored file is no dictionary this program reads"));
    std::optional<QByteArray> written;
    QString reason;
    if (before->isEmpty()) {
        // Nothing stored to keep: the file is written afresh.
        QVariantMap fresh;
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            if (it.value().isValid())
                fresh.insert(it.key(), it.value());
        }
        written = toStoredForm(fresh);
    } else if (stored.startsWith("bplist00")) {
        written = BinaryPropertyListEditor::withChanges(stored, changes, &reason);
    } else {
        bool changesFitXml = true;
        for (auto it = changes.cbegin(); it != changes.cend() && changesFitXml; ++it)
            changesFitXml = !it.value().isValid() || fitsXml(it.value());
        if (changesFitXml)
            written = XmlPropertyListEditor::withChanges(stored, changes, &reason);
        // A value XML cannot hold, or text laid out beyond what the editor follows: the file goes
        // binary, which holds whatever XML does.
        if (!written) {
            if (const std::optional<QByteArray> binary = asBinary(stored))
                written = BinaryPropertyListEditor::withChanges(*binary, changes, &reason);
        }
    }
    if (!written)
        return fail(reason.isEmpty() ? QStringLiteral("the stored file could not be followed") : reason);
    if (const std::optional<QString> problem = readBackProblem(*before, *written, changes))
        return fail(*problem);
    return written;
}

} // namespace PropertyList
