#include "Platform/XmlPropertyListEditor.h"

#include "Platform/PropertyList.h"

#include <QList>
#include <QSet>

#include <algorithm>

namespace {

// Where one entry of the root dictionary stands in the text.
struct Entry {
    QString key;
    qsizetype start = 0; // the "<" of its <key>
    qsizetype end = 0; // just past its value's element
};

struct Layout {
    QList<Entry> entries;
    qsizetype closing = 0; // the "<" of the root dictionary's end tag
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Scanner {
public:
    explicit Scanner(const QByteArray &text)
        : m_text(text)
    {
    }

    std::optional<Layout> layout()
    {
        if (m_text.startsWith("\xEF\xBB\xBF"))
            m_at = 3;
        // The prolog: declarations, comments and the document type, then <plist> or the dictionary.
        for (;;) {
            if (!skipMisc())
                return std::nullopt;
            if (startsWith("<!DOCTYPE")) {
                if (!skipDoctype())
                    return std::nullopt;
                continue;
            }
            break;
        }
        std::optional<QByteArray> name = startTag();
        if (name == "plist") {
            if (!skipMisc())
                return std::nullopt;
            name = startTag();
        }
        if (name != "dict" || m_selfClosed)
            return std::nullopt;
        Layout result;
        for (;;) {
            if (!skipMisc())
                return std::nullopt;
            if (startsWith("</dict")) {
                result.closing = m_at;
                return result;
            }
            Entry entry;
            entry.start = m_at;
            const std::optional<QString> key = keyElement();
            if (!key || !skipMisc())
                return std::nullopt;
            entry.key = *key;
            if (!skipElement())
                return std::nullopt;
            entry.end = m_at;
            result.entries.append(entry);
        }
    }

private:
    bool startsWith(const char *prefix) const { return QByteArrayView(m_text).sliced(m_at).startsWith(prefix); }

    // Skips to just past `terminator`; false when it never comes.
    bool skipPast(const char *terminator)
    {
        const qsizetype found = m_text.indexOf(terminator, m_at);
        if (found < 0)
            return false;
        m_at = found + qsizetype(qstrlen(terminator));
        return true;
    }

    // White space, comments and processing instructions.
    bool skipMisc()
    {
        for (;;) {
            while (m_at < m_text.size() && isSpace(m_text.at(m_at)))
                ++m_at;
            if (startsWith("<!--")) {
                if (!skipPast("-->"))
                    return false;
            } else if (startsWith("<?")) {
                if (!skipPast("?>"))
                    return false;
            } else {
                return m_at < m_text.size();
            }
        }
    }

    bool skipDoctype()
    {
        // An internal subset in brackets may hold ">" of its own.
        int brackets = 0;
        for (; m_at < m_text.size(); ++m_at) {
            const char c = m_text.at(m_at);
            if (c == '[')
                ++brackets;
            else if (c == ']')
                --brackets;
            else if (c == '>' && brackets <= 0) {
                ++m_at;
                return true;
            }
        }
        return false;
    }

    // Reads a start tag at the current place; its name, with `m_selfClosed` telling whether it ends
    // in "/>".
    std::optional<QByteArray> startTag()
    {
        if (!startsWith("<") || startsWith("</") || startsWith("<!") || startsWith("<?"))
            return std::nullopt;
        qsizetype nameEnd = m_at + 1;
        while (nameEnd < m_text.size() && !isSpace(m_text.at(nameEnd)) && m_text.at(nameEnd) != '>' && m_text.at(nameEnd) != '/')
            ++nameEnd;
        const QByteArray name = m_text.mid(m_at + 1, nameEnd - m_at - 1);
        char quote = 0;
        for (qsizetype i = nameEnd; i < m_text.size(); ++i) {
            const char c = m_text.at(i);
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                m_selfClosed = m_text.at(i - 1) == '/';
                m_at = i + 1;
                return name;
            }
        }
        return std::nullopt;
    }

    // Skips one element with everything inside it.
    bool skipElement()
    {
        const std::optional<QByteArray> name = startTag();
        if (!name)
            return false;
        if (m_selfClosed)
            return true;
        int depth = 1;
        while (depth > 0) {
            const qsizetype next = m_text.indexOf('<', m_at);
            if (next < 0)
                return false;
            m_at = next;
            if (startsWith("<!--")) {
                if (!skipPast("-->"))
                    return false;
            } else if (startsWith("<![CDATA[")) {
                if (!skipPast("]]>"))
                    return false;
            } else if (startsWith("<?")) {
                if (!skipPast("?>"))
                    return false;
            } else if (startsWith("</")) {
                if (!skipPast(">"))
                    return false;
                --depth;
            } else {
                if (!startTag())
                    return false;
                if (!m_selfClosed)
                    ++depth;
            }
        }
        return true;
    }

    // A <key> element; its text with references and character data resolved.
    std::optional<QString> keyElement()
    {
        const std::optional<QByteArray> name = startTag();
        if (name != "key")
            return std::nullopt;
        if (m_selfClosed)
            return QString();
        QByteArray text;
        for (;;) {
            if (m_at >= m_text.size())
                return std::nullopt;
            if (startsWith("</key")) {
                if (!skipPast(">"))
                    return std::nullopt;
                return QString::fromUtf8(text);
            }
            if (startsWith("<![CDATA[")) {
                const qsizetype from = m_at + 9;
                if (!skipPast("]]>"))
                    return std::nullopt;
                text.append(m_text.mid(from, m_at - 3 - from));
            } else if (startsWith("<!--")) {
                if (!skipPast("-->"))
                    return std::nullopt;
            } else if (startsWith("<")) {
                return std::nullopt;
            } else if (startsWith("&")) {
                const qsizetype end = m_text.indexOf(';', m_at);
                if (end < 0)
                    return std::nullopt;
                const std::optional<QByteArray> resolved = reference(m_text.mid(m_at + 1, end - m_at - 1));
                if (!resolved)
                    return std::nullopt;
                text.append(*resolved);
                m_at = end + 1;
            } else {
                text.append(m_text.at(m_at++));
            }
        }
    }

    static std::optional<QByteArray> reference(const QByteArray &name)
    {
        if (name == "lt")
            return QByteArray("<");
        if (name == "gt")
            return QByteArray(">");
        if (name == "amp")
            return QByteArray("&");
        if (name == "quot")
            return QByteArray("\"");
        if (name == "apos")
            return QByteArray("'");
        if (!name.startsWith('#'))
            return std::nullopt;
        const bool hex = name.size() > 1 && (name.at(1) == 'x' || name.at(1) == 'X');
        bool ok = false;
        const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || code == 0 || code > 0x10FFFF)
            return std::nullopt;
        const char32_t character = code;
        return QString::fromUcs4(&character, 1).toUtf8();
    }

    const QByteArray &m_text;
    qsizetype m_at = 0;
    bool m_selfClosed = false;
};

// The text of one entry as the property-list writer lays it out, one level in: "<key>…</key>", a
// line break and the value, with the indentation of the lines inside the value.
std::optional<QByteArray> entryText(const QString &key, const QVariant &value)
{
    const QByteArray whole = PropertyList::toXml(QVariantMap{{key, value}});
    const qsizetype open = whole.indexOf("<dict>");
    const qsizetype close = whole.lastIndexOf("</dict>");
    if (open < 0 || close < open)
        return std::nullopt;
    QByteArray inner = whole.mid(open + 6, close - open - 6).trimmed();
    return inner.isEmpty() ? std::nullopt : std::optional(inner);
}

// The start of the line `at` stands on when only white space comes before it there, else `at`.
qsizetype lineStart(const QByteArray &text, qsizetype at)
{
    qsizetype i = at;
    while (i > 0 && (text.at(i - 1) == ' ' || text.at(i - 1) == '\t'))
        --i;
    return i == 0 || text.at(i - 1) == '\n' ? i : at;
}

} // namespace

std::optional<QByteArray> XmlPropertyListEditor::withChanges(const QByteArray &stored, const QVariantMap &changes, QString *failure)
{
    const auto fail = [failure](const QString &reason) -> std::optional<QByteArray> {
        if (failure)
            *failure = reason;
        return std::nullopt;
    };
    const std::optional<Layout> layout = Scanner(stored).layout();
    if (!layout)
        return fail(QStringLiteral("its text is not laid out as a dictionary of entries"));
    QSet<QString> seen;
    for (const Entry &entry : layout->entries) {
        // Which of two entries of one key a reader keeps is its own choice; such a file is not edited.
        if (seen.contains(entry.key))
            return fail(QStringLiteral("it holds the key %1 twice").arg(entry.key));
        seen.insert(entry.key);
    }

    // Edits from the end backwards, so that every place found still holds.
    QByteArray text = stored;
    QByteArray added;
    const QByteArray indent = [&] {
        // New entries are indented as the last one is.
        if (layout->entries.isEmpty())
            return QByteArray("\t");
        const qsizetype start = layout->entries.last().start;
        const qsizetype line = lineStart(stored, start);
        return line < start ? stored.mid(line, start - line) : QByteArray("\t");
    }();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (!it.value().isValid() || seen.contains(it.key()))
            continue;
        const std::optional<QByteArray> entry = entryText(it.key(), it.value());
        if (!entry)
            return fail(QStringLiteral("the value of %1 could not be written").arg(it.key()));
        added += indent + *entry + '\n';
    }
    if (!added.isEmpty()) {
        const qsizetype at = lineStart(text, layout->closing);
        text.insert(at, at == layout->closing ? '\n' + added : added);
    }
    for (auto entry = layout->entries.crbegin(); entry != layout->entries.crend(); ++entry) {
        if (!changes.contains(entry->key))
            continue;
        const QVariant value = changes.value(entry->key);
        if (value.isValid()) {
            const std::optional<QByteArray> replacement = entryText(entry->key, value);
            if (!replacement)
                return fail(QStringLiteral("the value of %1 could not be written").arg(entry->key));
            text.replace(entry->start, entry->end - entry->start, *replacement);
            continue;
        }
        // A removed entry takes its own lines with it.
        const qsizetype from = lineStart(text, entry->start);
        qsizetype to = entry->end;
        while (to < text.size() && (text.at(to) == ' ' || text.at(to) == '\t' || text.at(to) == '\r'))
            ++to;
        if (from < entry->start && to < text.size() && text.at(to) == '\n')
            ++to;
        else
            to = entry->end;
        text.remove(from, to - from);
    }
    return text;
}
