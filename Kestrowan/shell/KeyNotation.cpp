#include "Kestrowan/shell/KeyNotation.h"

#include "Platform/VirtualKeys.h"

namespace {

// Qt calls the Super key "Meta"; the desktop, its key caps and its settings call it Super.
QString desktopWords(QString text)
{
    return text.replace(QStringLiteral("Meta"), QStringLiteral("Super"));
}

} // namespace

namespace KeyNotation {

QString text(quint64 modifierFlags, const QString &keyName)
{
    // Qt's own words and order for the modifiers, from a sequence whose key is then cut off: the
    // key name comes from the program's key table, which also names keys Qt has no code for. The
    // untranslated words, as the desktop shows them in every language and as the text tables name
    // them: with Qt's own translations loaded, Spanish native text would say "Control".
    const QKeySequence sample(QKeyCombination(VirtualKeys::qtModifiers(modifierFlags), Qt::Key_A));
    QString modifiers = sample.toString(QKeySequence::PortableText);
    modifiers.chop(1);
    return desktopWords(modifiers) + keyName;
}

QString text(const QKeySequence &sequence)
{
    if (sequence.isEmpty())
        return {};
    return desktopWords(QKeySequence(sequence[0]).toString(QKeySequence::PortableText));
}

} // namespace KeyNotation
