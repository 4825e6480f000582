#include "Platform/PropertyListCheck.h"

#include "Platform/BinaryPropertyListLayout.h"

#include <QList>

#include <cctype>

#include <vector>

namespace PropertyListCheck {
namespace {

using Layout = BinaryPropertyListLayout;

class BinaryWalker {
public:
    explicit BinaryWalker(const QByteArray &bytes)
        : m_bytes(bytes)
    {
    }

    std::optional<QString> problem()
    {
        if (std::optional<QString> problem = m_layout.open(m_bytes))
            return problem;
        m_data = m_layout.data();
        m_objectCount = m_layout.objectCount();
        m_referenceSize = m_layout.referenceSize();
        m_objectsEnd = m_layout.objectsEnd();
        return walk(m_layout.top());
    }

private:
    struct Object {
        std::vector<quint64> children;
        qint64 ownBytes = expandedBytesPerValue;
    };

    // The expanded size of a value: its own and, for a container, its children's; counted up to just
    // past the bounds so that the sums cannot overflow.
    struct Expanded {
        qint64 nodes = 0;
        qint64 bytes = 0;
    };

    std::optional<quint64> offsetOf(quint64 object) const { return m_layout.offsetOf(object); }
    std::optional<quint64> lengthAt(quint64 &position, uchar nibble) const { return m_layout.lengthAt(position, nibble); }
    bool fits(quint64 position, quint64 length, quint64 unit) const { return m_layout.fits(position, length, unit); }

    // libplist rewrites what is not well-formed in the encoding the marker names (a byte above 127
    // in an ASCII string, a lone surrogate in UTF-16), which would change a value that the program
    // never touched. U+0000 is valid; the reader hands such strings to libplist as stand-ins.
    static std::optional<QString> stringProblem(const uchar *text, quint64 length, bool utf16)
    {
        bool highSurrogatePending = false;
        for (quint64 i = 0; i < length; ++i) {
            const uint unit = utf16 ? (uint(text[2 * i]) << 8) | text[2 * i + 1] : text[i];
            if (!utf16) {
                if (unit > 0x7F)
                    return QStringLiteral("an ASCII string holding a byte above 127");
                continue;
            }
            const bool high = unit >= 0xD800 && unit <= 0xDBFF;
            const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
            if ((low && !highSurrogatePending) || (highSurrogatePending && !low))
                return QStringLiteral("a UTF-16 string with a lone surrogate");
            highSurrogatePending = high;
        }
        if (highSurrogatePending)
            return QStringLiteral("a UTF-16 string with a lone surrogate");
        return std::nullopt;
    }

    // Reads one object; its children (references) go to `object`. A message when it is refused.
    std::optional<QString> read(quint64 index, Object &object) const
    {
        const std::optional<quint64> offset = offsetOf(index);
        if (!offset)
            return QStringLiteral("an object outside the file");
        quint64 position = *offset;
        const uchar marker = m_data[position++];
        const uchar type = marker & 0xF0;
        const uchar nibble = marker & 0x0F;
        switch (type) {
        case 0x50:
        case 0x60: {
            const std::optional<quint64> length = lengthAt(position, nibble);
            const quint64 unit = type == 0x50 ? 1 : 2;
            if (!length || !fits(position, *length, unit))
                return QStringLiteral("a string that runs past the objects");
            object.ownBytes += qint64(*length * 2);
            return stringProblem(m_data + position, *length, unit == 2);
        }
        case 0xA0:
        case 0xC0:
        case 0xD0: {
            const std::optional<quint64> length = lengthAt(position, nibble);
            const quint64 references = type == 0xD0 && length ? *length * 2 : length.value_or(0);
            if (!length || (type == 0xD0 && *length > (quint64(1) << 62)) || !fits(position, references, m_referenceSize))
                return QStringLiteral("a container that runs past the objects");
            object.children.reserve(references);
            for (quint64 i = 0; i < references; ++i) {
                const quint64 child = Layout::bigEndian(m_data + position + i * m_referenceSize, m_referenceSize);
                if (child >= m_objectCount)
                    return QStringLiteral("a reference to no object");
                object.children.push_back(child);
            }
            return std::nullopt;
        }
        case 0x40: {
            const std::optional<quint64> length = lengthAt(position, nibble);
            if (!length || !fits(position, *length, 1))
                return QStringLiteral("data that runs past the objects");
            object.ownBytes += qint64(*length);
            return std::nullopt;
        }
        default:
            return std::nullopt; // other scalars: libplist checks their sizes itself
        }
    }

    // Depth-first from the top object with a stack of our own; shared objects are visited once and
    // their expanded size remembered, so a small file cannot make this walk large either.
    std::optional<QString> walk(quint64 top)
    {
        enum State : uchar { Unseen, Open, Done };
        std::vector<State> state(m_objectCount, Unseen);
        std::vector<Expanded> expanded(m_objectCount);
        struct Frame {
            quint64 index;
            Object object;
            size_t next = 0;
        };
        QList<Frame> stack;
        auto open = [&](quint64 index) -> std::optional<QString> {
            if (stack.size() >= maximumDepth)
                return QStringLiteral("containers nested deeper than %1").arg(maximumDepth);
            Frame frame{index, {}, 0};
            if (std::optional<QString> problem = read(index, frame.object))
                return problem;
            state[index] = Open;
            stack.append(std::move(frame));
            return std::nullopt;
        };
        if (std::optional<QString> problem = open(top))
            return problem;
        while (!stack.isEmpty()) {
            Frame &frame = stack.last();
            if (frame.next < frame.object.children.size()) {
                const quint64 child = frame.object.children[frame.next++];
                if (state[child] == Open)
                    return QStringLiteral("a container that holds itself");
                if (state[child] == Unseen) {
                    if (std::optional<QString> problem = open(child))
                        return problem;
                }
                continue;
            }
            Expanded size{1, frame.object.ownBytes};
            for (quint64 child : frame.object.children) {
                size.nodes = qMin(size.nodes + expanded[child].nodes, maximumExpandedNodes + 1);
                size.bytes = qMin(size.bytes + expanded[child].bytes, maximumExpandedBytes + 1);
            }
            if (size.nodes > maximumExpandedNodes)
                return QStringLiteral("more than %1 values once its shared objects are expanded").arg(maximumExpandedNodes);
            if (size.bytes > maximumExpandedBytes)
                return QStringLiteral("more than %1 bytes once its shared objects are expanded").arg(maximumExpandedBytes);
            expanded[frame.index] = size;
            state[frame.index] = Done;
            stack.removeLast();
        }
        return std::nullopt;
    }

    const QByteArray &m_bytes;
    Layout m_layout;
    const uchar *m_data = nullptr;
    int m_referenceSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_objectsEnd = 0;
};

// libplist turns a character reference to a surrogate into bytes that are not UTF-8; a pair of them
// comes back together when the value is written, a lone one never does, so a file holding one would
// be read but could not be written so that it reads back.
std::optional<QString> characterReferenceProblem(const QByteArray &bytes)
{
    bool highSurrogatePending = false;
    qsizetype pendingEnd = -1;
    for (qsizetype i = bytes.indexOf("&#"); i >= 0; i = bytes.indexOf("&#", i + 2)) {
        const qsizetype end = bytes.indexOf(';', i);
        if (end < 0)
            break;
        const bool hex = i + 2 < bytes.size() && (bytes.at(i + 2) == 'x' || bytes.at(i + 2) == 'X');
        const QByteArray digits = bytes.mid(i + (hex ? 3 : 2), end - i - (hex ? 3 : 2));
        bool ok = false;
        const uint code = digits.size() <= 8 ? digits.toUInt(&ok, hex ? 16 : 10) : 0;
        if (!ok)
            continue; // not a reference libplist reads as a code
        const bool high = code >= 0xD800 && code <= 0xDBFF;
        const bool low = code >= 0xDC00 && code <= 0xDFFF;
        const bool follows = pendingEnd == i;
        if ((low && !(highSurrogatePending && follows)) || (highSurrogatePending && !(low && follows)))
            return QStringLiteral("a character reference to a lone surrogate");
        highSurrogatePending = high;
        pendingEnd = end + 1;
    }
    if (highSurrogatePending)
        return QStringLiteral("a character reference to a lone surrogate");
    return std::nullopt;
}

} // namespace

std::optional<QString> binaryProblem(const QByteArray &bytes)
{
    return BinaryWalker(bytes).problem();
}

std::optional<QString> xmlProblem(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return QStringLiteral("a NUL byte");
    // libplist keeps the bytes of a string as they stand and cuts them when it writes the file
    // again, so text that is not UTF-8 would change values the program never touched.
    if (!QByteArrayView(bytes).isValidUtf8())
        return QStringLiteral("text that is not UTF-8");
    if (std::optional<QString> problem = characterReferenceProblem(bytes))
        return problem;
    // Only the containers nest; an opening tag that closes itself ("<array/>") holds nothing. Every
    // other opening tag but the outer "<plist>" is one value or key, counted as the binary form
    // counts its expanded values: the writers' time grows with them, whichever form was read.
    int depth = 0;
    qint64 values = 0;
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    for (qsizetype i = bytes.indexOf('<'); i >= 0 && i < size; i = bytes.indexOf('<', i + 1)) {
        const QByteArrayView rest(data + i, size - i);
        const bool closing = rest.startsWith("</array") || rest.startsWith("</dict");
        const bool opening = rest.startsWith("<array") || rest.startsWith("<dict");
        if (rest.size() > 1 && std::isalpha(uchar(rest[1])) && !rest.startsWith("<plist")
            && ++values > maximumExpandedNodes)
            return QStringLiteral("more than %1 values").arg(maximumExpandedNodes);
        if (closing) {
            --depth;
        } else if (opening) {
            const qsizetype end = bytes.indexOf('>', i);
            if (end > 0 && data[end - 1] == '/')
                continue;
            if (++depth > maximumDepth)
                return QStringLiteral("containers nested deeper than %1").arg(maximumDepth);
        }
    }
    return std::nullopt;
}

} // namespace PropertyListCheck
