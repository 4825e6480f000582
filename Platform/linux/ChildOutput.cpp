#include "Platform/linux/ChildOutput.h"

#include <QLoggingCategory>
#include <QStringDecoder>

namespace {

Q_LOGGING_CATEGORY(childOutputLog, "com.kestrowan.app.app")

} // namespace

void ChildOutput::append(const QByteArray &bytes)
{
    const qsizetype room = std::max<qsizetype>(0, keptBytes - m_kept.size());
    m_kept += bytes.left(room);
    m_dropped += bytes.size() - std::min(room, bytes.size());
}

QString ChildOutput::text(const QString &name) const
{
    const QByteArray trimmed = m_kept.trimmed();
    if (trimmed.isEmpty())
        return {};
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString said = decoder.decode(trimmed);
    for (QChar &c : said) {
        if (c != u'\n' && c.category() == QChar::Other_Control)
            c = u'?';
    }
    QString text = name + QStringLiteral(" said:");
    for (const QString &line : said.split(u'\n', Qt::SkipEmptyParts))
        text += QStringLiteral("\n    ") + line;
    if (m_dropped == 1)
        text += QStringLiteral("\n    … and 1 byte more");
    else if (m_dropped > 0)
        text += QStringLiteral("\n    … and %1 bytes more").arg(m_dropped);
    return text;
}

void ChildOutput::log(const QString &name) const
{
    const QString said = text(name);
    if (!said.isEmpty())
        qCInfo(childOutputLog, "%s", qUtf8Printable(said));
}
