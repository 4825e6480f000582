#include "Kestrowan/groups/GroupsJson.h"

#include <QUuid>

#include <cstring>

namespace {

// Writes the indented form member by member, in the layout the tree-based writer uses: four spaces
// per level, "key": value, an empty container opened and closed on two lines.
class Writer {
public:
    explicit Writer(qsizetype estimate)
    {
        m_out.resize(std::max<qsizetype>(estimate, 64));
        m_at = m_out.data();
        m_end = m_at + m_out.size();
    }

    QByteArray take()
    {
        m_out.truncate(m_at - m_out.constData());
        return std::move(m_out);
    }

    void raw(const char *text, qsizetype size)
    {
        reserve(size);
        std::memcpy(m_at, text, size_t(size));
        m_at += size;
    }
    void raw(char c)
    {
        reserve(1);
        *m_at++ = c;
    }
    template <size_t N>
    void literal(const char (&text)[N])
    {
        raw(text, N - 1);
    }

    void indent(int level)
    {
        reserve(4 * level);
        std::memset(m_at, ' ', size_t(4 * level));
        m_at += 4 * level;
    }

    void string(QStringView text)
    {
        // Six bytes are the most one UTF-16 unit can take (an escape).
        reserve(6 * text.size() + 2);
        *m_at++ = '"';
        const char16_t *p = text.utf16();
        const char16_t *end = p + text.size();
        while (p < end) {
            const char16_t c = *p++;
            if (c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\') {
                *m_at++ = char(c);
                continue;
            }
            switch (c) {
            case u'"': put('\\', '"'); break;
            case u'\\': put('\\', '\\'); break;
            case u'\b': put('\\', 'b'); break;
            case u'\f': put('\\', 'f'); break;
            case u'\n': put('\\', 'n'); break;
            case u'\r': put('\\', 'r'); break;
            case u'\t': put('\\', 't'); break;
            default:
                if (c < 0x20) {
                    escaped(c);
                } else if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
                    utf8(QChar::surrogateToUcs4(c, *p));
                    ++p;
                } else if (QChar::isSurrogate(c)) {
                    // A lone half of a pair cannot be UTF-8; it is kept as an escape.
                    escaped(c);
                } else {
                    utf8(c);
                }
            }
        }
        *m_at++ = '"';
    }

    void key(int level, const char *name)
    {
        indent(level);
        raw('"');
        raw(name, qsizetype(std::strlen(name)));
        literal("\": ");
    }

    void member(int level, const char *name, QStringView value, bool last)
    {
        key(level, name);
        string(value);
        endMember(last);
    }

    void uuidMember(int level, const char *name, const QUuid &uuid, bool last)
    {
        key(level, name);
        static const char hex[] = "0123456789ABCDEF";
        const QByteArray bytes = uuid.toRfc4122();
        char text[38];
        char *t = text;
        *t++ = '"';
        for (int i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10)
                *t++ = '-';
            *t++ = hex[uchar(bytes[i]) >> 4];
            *t++ = hex[uchar(bytes[i]) & 0xf];
        }
        *t++ = '"';
        raw(text, t - text);
        endMember(last);
    }

    void endMember(bool last)
    {
        if (last)
            raw('\n');
        else
            literal(",\n");
    }

    void stringMap(int level, const char *name, const QMap<QString, QString> &map, bool last)
    {
        key(level, name);
        literal("{\n");
        qsizetype index = 0;
        for (auto it = map.constBegin(); it != map.constEnd(); ++it, ++index) {
            indent(level + 1);
            string(it.key());
            literal(": ");
            string(it.value());
            endMember(index + 1 == map.size());
        }
        indent(level);
        raw('}');
        endMember(last);
    }

    void item(int level, const AppItem &item, bool last)
    {
        indent(level);
        literal("{\n");
        member(level + 1, "bundleIdentifier", item.bundleIdentifier, false);
        uuidMember(level + 1, "id", item.id, false);
        member(level + 1, "name", item.name, false);
        member(level + 1, "path", item.path, true);
        indent(level);
        raw('}');
        endMember(last);
    }

    void group(int level, const AppGroup &group, bool last)
    {
        indent(level);
        literal("{\n");
        const int inner = level + 1;
        key(inner, "apps");
        literal("[\n");
        for (qsizetype i = 0; i < group.apps.size(); ++i)
            item(inner + 1, group.apps.at(i), i + 1 == group.apps.size());
        indent(inner);
        raw(']');
        endMember(false);
        if (group.customOpenerPath)
            member(inner, "customOpenerPath", *group.customOpenerPath, false);
        member(inner, "displayStyle", displayStyleRawValue(group.displayStyle), false);
        member(inner, "iconStyle", iconStyleRawValue(group.iconStyle), false);
        uuidMember(inner, "id", group.id, false);
        member(inner, "name", group.name, !group.openerRules && !group.skinId);
        if (const auto &rules = group.openerRules) {
            key(inner, "openerRules");
            literal("{\n");
            stringMap(inner + 1, "byExtension", rules->byExtension, false);
            stringMap(inner + 1, "byItem", rules->byItem, !rules->defaultOpener);
            if (rules->defaultOpener)
                member(inner + 1, "defaultOpener", *rules->defaultOpener, true);
            indent(inner);
            raw('}');
            endMember(!group.skinId);
        }
        if (group.skinId)
            member(inner, "skinId", *group.skinId, true);
        indent(level);
        raw('}');
        endMember(last);
    }

private:
    void reserve(qsizetype size)
    {
        if (m_end - m_at >= size)
            return;
        const qsizetype used = m_at - m_out.constData();
        m_out.resize(std::max(2 * m_out.size(), used + size));
        m_at = m_out.data() + used;
        m_end = m_out.data() + m_out.size();
    }

    // Callers have reserved room for these.
    void put(char a, char b)
    {
        *m_at++ = a;
        *m_at++ = b;
    }

    void escaped(char16_t c)
    {
        static const char hex[] = "0123456789abcdef";
        const char text[6] = {'\\', 'u', hex[(c >> 12) & 0xf], hex[(c >> 8) & 0xf], hex[(c >> 4) & 0xf], hex[c & 0xf]};
        std::memcpy(m_at, text, 6);
        m_at += 6;
    }

    void utf8(char32_t u)
    {
        if (u < 0x800) {
            *m_at++ = char(0xc0 | (u >> 6));
            *m_at++ = char(0x80 | (u & 0x3f));
        } else if (u < 0x10000) {
            *m_at++ = char(0xe0 | (u >> 12));
            *m_at++ = char(0x80 | ((u >> 6) & 0x3f));
            *m_at++ = char(0x80 | (u & 0x3f));
        } else {
            *m_at++ = char(0xf0 | (u >> 18));
            *m_at++ = char(0x80 | ((u >> 12) & 0x3f));
            *m_at++ = char(0x80 | ((u >> 6) & 0x3f));
            *m_at++ = char(0x80 | (u & 0x3f));
        }
    }

    QByteArray m_out;
    char *m_at = nullptr;
    char *m_end = nullptr;
};

qsizetype estimatedSize(const QList<AppGroup> &groups)
{
    qsizetype size = 16;
    for (const AppGroup &group : groups) {
        size += 300 + group.name.size();
        for (const AppItem &item : group.apps)
            size += 230 + item.bundleIdentifier.size() + item.name.size() + item.path.size();
        if (group.openerRules)
            size += 200 + 120 * (group.openerRules->byExtension.size() + group.openerRules->byItem.size());
    }
    return size;
}

} // namespace

namespace GroupsJson {

QByteArray encode(const QList<AppGroup> &groups)
{
    Writer writer(estimatedSize(groups));
    writer.literal("[\n");
    for (qsizetype i = 0; i < groups.size(); ++i)
        writer.group(1, groups.at(i), i + 1 == groups.size());
    writer.literal("]\n");
    return writer.take();
}

} // namespace GroupsJson
