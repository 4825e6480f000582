#include "Kestrowan/shell/StringsTable.h"

#include "Kestrowan/shell/Log.h"

#include "Platform/BoundedFile.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace {

// Larger tables than this are not text tables of ours; refuse rather than read them whole.
constexpr qint64 maximumTableSize = 8 * 1024 * 1024;

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto encoding = bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return decoder.decode(QByteArrayView(bytes).sliced(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    return QString::fromUtf8(bytes);
}

bool isBareCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'-' || c == u'$' || c == u':' || c == u'/';
}

class Parser {
public:
    explicit Parser(const QString &text) : m_text(text) {}

    StringsTable run()
    {
        StringsTable table;
        for (;;) {
            if (!skipSpaceAndComments(table))
                break;
            if (atEnd())
                break;
            const int entryLine = m_line;
            QString key;
            QString value;
            QString error;
            if (!readToken(key, error)) {
                fail(table, entryLine, error);
                continue;
            }
            skipSpaceAndComments(table);
            if (peek() == u';') {
                // "key"; is shorthand for "key" = "key";
                ++m_pos;
                table.entries.insert(key, key);
                continue;
            }
            if (peek() != u'=') {
                fail(table, entryLine, QStringLiteral("expected '=' after key \"%1\"").arg(key));
                continue;
            }
            ++m_pos;
            skipSpaceAndComments(table);
            if (!readToken(value, error)) {
                fail(table, entryLine, error);
                continue;
            }
            skipSpaceAndComments(table);
            if (peek() != u';') {
                fail(table, entryLine, QStringLiteral("expected ';' after the value of \"%1\"").arg(key));
                continue;
            }
            ++m_pos;
            table.entries.insert(key, value);
        }
        return table;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek(int ahead = 0) const { return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead) : QChar(); }

    bool atLineStart() const
    {
        int back = m_pos - 1;
        while (back >= 0 && (m_text.at(back) == u' ' || m_text.at(back) == u'\t'))
            --back;
        return back < 0 || m_text.at(back) == u'\n';
    }

    QChar advance()
    {
        const QChar c = m_text.at(m_pos++);
        if (c == u'\n')
            ++m_line;
        return c;
    }

    // Returns false only on an unterminated block comment (which swallows the rest of the file).
    bool skipSpaceAndComments(StringsTable &table)
    {
        while (!atEnd()) {
            const QChar c = peek();
            if (c.isSpace()) {
                advance();
            } else if (c == u'/' && peek(1) == u'*') {
                const int startLine = m_line;
                m_pos += 2;
                while (!atEnd() && !(peek() == u'*' && peek(1) == u'/'))
                    advance();
                if (atEnd()) {
                    fail(table, startLine, QStringLiteral("unterminated comment"));
                    return false;
                }
                m_pos += 2;
            } else if (c == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n')
                    advance();
            } else {
                break;
            }
        }
        return true;
    }

    bool readToken(QString &out, QString &error)
    {
        if (peek() == u'"')
            return readQuoted(out, error);
        const int start = m_pos;
        while (!atEnd() && isBareCharacter(peek()))
            advance();
        if (m_pos == start) {
            error = atEnd() ? QStringLiteral("unexpected end of file") : QStringLiteral("unexpected character '%1'").arg(peek());
            return false;
        }
        out = m_text.mid(start, m_pos - start);
        return true;
    }

    bool readQuoted(QString &out, QString &error)
    {
        ++m_pos; // opening quote
        out.clear();
        while (!atEnd()) {
            const QChar c = advance();
            if (c == u'"')
                return true;
            if (c != u'\\') {
                out.append(c);
                continue;
            }
            if (atEnd())
                break;
            const QChar e = advance();
            switch (e.unicode()) {
            case 'n': out.append(u'\n'); break;
            case 't': out.append(u'\t'); break;
            case 'r': out.append(u'\r'); break;
            case 'a': out.append(QChar(7)); break;
            case 'b': out.append(QChar(8)); break;
            case 'f': out.append(QChar(12)); break;
            case 'v': out.append(QChar(11)); break;
            case 'u':
            case 'U': {
                bool ok = false;
                const uint code = m_text.mid(m_pos, 4).toUInt(&ok, 16);
                if (!ok || m_text.mid(m_pos, 4).size() != 4) {
                    error = QStringLiteral("bad \\U escape");
                    return false;
                }
                m_pos += 4;
                out.append(QChar(static_cast<char16_t>(code)));
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    uint code = e.unicode() - '0';
                    for (int i = 0; i < 2 && peek() >= u'0' && peek() <= u'7'; ++i)
                        code = code * 8 + (advance().unicode() - '0');
                    out.append(QChar(static_cast<char16_t>(code)));
                } else {
                    // \" \\ \' and any other escaped character stand for themselves.
                    out.append(e);
                }
            }
        }
        error = QStringLiteral("unterminated string");
        return false;
    }

    // Records the error and resynchronises after the next ';' (or at the next line that starts an
    // entry), so one bad entry costs only itself.
    void fail(StringsTable &table, int line, const QString &reason)
    {
        if (table.errorCount++ == 0)
            table.firstError = QStringLiteral("line %1: %2").arg(line).arg(reason);
        // A missing ';' is noticed only at the next entry, which must not be swallowed.
        if (m_line > line && atLineStart())
            return;
        bool inString = false;
        while (!atEnd()) {
            const QChar c = advance();
            if (c == u'\\' && inString) {
                if (!atEnd())
                    advance();
            } else if (c == u'"') {
                inString = !inString;
            } else if (c == u';' && !inString) {
                return;
            } else if (c == u'\n') {
                // A new line that starts like an entry ends the damage, even without a ';'.
                int look = m_pos;
                while (look < m_text.size() && (m_text.at(look) == u' ' || m_text.at(look) == u'\t'))
                    ++look;
                if (look < m_text.size() && m_text.at(look) == u'"' ) {
                    return;
                }
                inString = false;
            }
        }
    }

    const QString &m_text;
    int m_pos = 0;
    int m_line = 1;
};

} // namespace

StringsTable StringsTable::parse(const QByteArray &bytes)
{
    const QString text = decode(bytes);
    return Parser(text).run();
}

StringsTable StringsTable::load(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    QString failure;
    const std::optional<QByteArray> bytes = readSmallFile(path, maximumTableSize, &failure);
    if (!bytes) {
        qCCritical(appLogger, "Cannot read text table %s: %s; ignored", qUtf8Printable(path), qUtf8Printable(failure));
        return {};
    }
    StringsTable table = parse(*bytes);
    if (table.errorCount > 0) {
        qCCritical(appLogger, "Text table %s has %d syntax error(s), first at %s; loaded %lld entries",
                   qUtf8Printable(path), table.errorCount, qUtf8Printable(loggedText(table.firstError)),
                   static_cast<long long>(table.entries.size()));
    }
    return table;
}
