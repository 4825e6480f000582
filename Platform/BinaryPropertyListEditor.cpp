#include "Platform/BinaryPropertyListEditor.h"

#include "Platform/BinaryPropertyListLayout.h"
#include "Platform/PropertyList.h"

#include <QHash>
#include <QList>

namespace {

using Layout = BinaryPropertyListLayout;
// Deeper than any list the reader accepts; it only keeps a hostile file from exhausting the stack.
constexpr int maximumDepth = 512;

// One object of a file being read: a scalar as its bytes, or a container as its marker and the
// objects it names.
struct ObjectView {
    QByteArray scalar;
    // Where a string's characters start in `scalar`, and how many there are.
    quint64 textStart = 0;
    quint64 textLength = 0;
    uchar type = 0;
    QList<quint64> children;
    bool container = false;
};

class Source {
public:
    std::optional<QString> open(const QByteArray &bytes)
    {
        if (!bytes.startsWith("bplist00"))
            return QStringLiteral("not a binary property list");
        return m_layout.open(bytes);
    }

    quint64 top() const { return m_layout.top(); }

    std::optional<ObjectView> read(quint64 index) const
    {
        const std::optional<quint64> start = m_layout.offsetOf(index);
        if (!start)
            return std::nullopt;
        const uchar *data = m_layout.data();
        const quint64 end = m_layout.objectsEnd();
        quint64 position = *start;
        const uchar marker = data[position++];
        const uchar type = marker & 0xF0;
        const uchar nibble = marker & 0x0F;
        ObjectView object;
        object.type = type;
        quint64 payload = 0;
        switch (type) {
        case 0x00:
            if (nibble != 0x00 && nibble != 0x08 && nibble != 0x09 && nibble != 0x0F)
                return std::nullopt;
            break;
        case 0x10:
        case 0x20:
            if (nibble > 4)
                return std::nullopt;
            payload = quint64(1) << nibble;
            break;
        case 0x30:
            if (nibble != 3)
                return std::nullopt;
            payload = 8;
            break;
        case 0x80:
            payload = quint64(nibble) + 1;
            break;
        case 0x40:
        case 0x50:
        case 0x60: {
            const std::optional<quint64> length = m_layout.lengthAt(position, nibble);
            const quint64 unit = type == 0x60 ? 2 : 1;
            if (!length || !m_layout.fits(position, *length, unit))
                return std::nullopt;
            object.textStart = position - *start;
            object.textLength = *length;
            payload = *length * unit;
            break;
        }
        case 0xA0:
        case 0xC0:
        case 0xD0: {
            const std::optional<quint64> length = m_layout.lengthAt(position, nibble);
            if (!length || *length > (quint64(1) << 40))
                return std::nullopt;
            const quint64 references = type == 0xD0 ? *length * 2 : *length;
            const int referenceSize = m_layout.referenceSize();
            if (!m_layout.fits(position, references, quint64(referenceSize)))
                return std::nullopt;
            object.container = true;
            object.children.reserve(qsizetype(references));
            for (quint64 i = 0; i < references; ++i) {
                const quint64 child = Layout::bigEndian(data + position + i * quint64(referenceSize), referenceSize);
                if (child >= m_layout.objectCount())
                    return std::nullopt;
                object.children.append(child);
            }
            return object;
        }
        default:
            return std::nullopt;
        }
        if (payload > end - position)
            return std::nullopt;
        object.scalar = QByteArray(reinterpret_cast<const char *>(data + *start), qsizetype(position + payload - *start));
        return object;
    }

    // A key's text; nullopt for a key that is no string.
    std::optional<QString> keyText(quint64 index) const
    {
        const std::optional<ObjectView> object = read(index);
        if (!object || (object->type != 0x50 && object->type != 0x60))
            return std::nullopt;
        const char *text = object->scalar.constData() + object->textStart;
        if (object->type == 0x50)
            return QString::fromLatin1(text, qsizetype(object->textLength));
        QString result;
        result.reserve(qsizetype(object->textLength));
        for (quint64 i = 0; i < object->textLength; ++i)
            result.append(QChar(char16_t(Layout::bigEndian(reinterpret_cast<const uchar *>(text) + 2 * i, 2))));
        return result;
    }

private:
    Layout m_layout;
};

// The objects of the file being written; objects come from files read, each copied once however
// often it is named.
class Builder {
public:
    // The new index of `index` of `source` and of everything it names; nullopt when an object cannot
    // be read.
    std::optional<int> import(const Source &source, QHash<quint64, int> &copied, quint64 index, int depth = 0)
    {
        if (const auto done = copied.constFind(index); done != copied.cend())
            return *done;
        if (depth > maximumDepth)
            return std::nullopt;
        std::optional<ObjectView> object = source.read(index);
        if (!object)
            return std::nullopt;
        Written written{object->scalar, object->type, {}, object->container};
        if (object->container) {
            for (quint64 child : std::as_const(object->children)) {
                const std::optional<int> imported = import(source, copied, child, depth + 1);
                if (!imported)
                    return std::nullopt;
                written.children.append(*imported);
            }
        }
        m_objects.append(std::move(written));
        const int created = int(m_objects.size() - 1);
        copied.insert(index, created);
        return created;
    }

    int dictionary(const QList<int> &keys, const QList<int> &values)
    {
        m_objects.append(Written{{}, 0xD0, keys + values, true});
        return int(m_objects.size() - 1);
    }

    QByteArray build(int top) const
    {
        const int referenceSize = Layout::bytesFor(quint64(m_objects.size()));
        QByteArray out("bplist00");
        QList<quint64> offsets;
        offsets.reserve(m_objects.size());
        for (const Written &object : m_objects) {
            offsets.append(quint64(out.size()));
            if (!object.container) {
                out.append(object.scalar);
                continue;
            }
            const quint64 count = quint64(object.type == 0xD0 ? object.children.size() / 2 : object.children.size());
            if (count < 15) {
                out.append(char(object.type | count));
            } else {
                const int size = Layout::bytesFor(count);
                out.append(char(object.type | 0x0F));
                out.append(char(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3)));
                Layout::appendBigEndian(out, count, size);
            }
            for (int child : object.children)
                Layout::appendBigEndian(out, quint64(child), referenceSize);
        }
        const quint64 tableOffset = quint64(out.size());
        const int offsetSize = Layout::bytesFor(offsets.isEmpty() ? 0 : offsets.last());
        for (quint64 offset : std::as_const(offsets))
            Layout::appendBigEndian(out, offset, offsetSize);
        out.append(QByteArray(6, '\0'));
        out.append(char(offsetSize));
        out.append(char(referenceSize));
        Layout::appendBigEndian(out, quint64(m_objects.size()), 8);
        Layout::appendBigEndian(out, quint64(top), 8);
        Layout::appendBigEndian(out, tableOffset, 8);
        return out;
    }

private:
    struct Written {
        QByteArray scalar;
        uchar type = 0;
        QList<int> children;
        bool container = false;
    };
    QList<Written> m_objects;
};

} // namespace

std::optional<QByteArray> BinaryPropertyListEditor::withChanges(const QByteArray &stored, const QVariantMap &changes,
                                                                QString *failure)
{
    const auto fail = [failure](const QString &reason) -> std::optional<QByteArray> {
        if (failure)
            *failure = reason;
        return std::nullopt;
    };
    Source source;
    if (const std::optional<QString> problem = source.open(stored))
        return fail(*problem);
    const std::optional<ObjectView> top = source.read(source.top());
    if (!top || top->type != 0xD0)
        return fail(QStringLiteral("its top object is no dictionary"));

    Builder builder;
    QHash<quint64, int> copied;
    QList<int> keys;
    QList<int> values;
    QVariantMap remaining = changes;
    // A changed value is written by the property-list writer on its own and its objects taken in.
    const auto addChange = [&](const QString &key, const QVariant &value) -> bool {
        const QByteArray alone = PropertyList::toBinary(QVariantMap{{key, value}});
        Source fragment;
        if (fragment.open(alone))
            return false;
        const std::optional<ObjectView> entry = fragment.read(fragment.top());
        if (!entry || entry->type != 0xD0 || entry->children.size() != 2)
            return false;
        QHash<quint64, int> fragmentCopied;
        const std::optional<int> newKey = builder.import(fragment, fragmentCopied, entry->children.at(0));
        const std::optional<int> newValue = builder.import(fragment, fragmentCopied, entry->children.at(1));
        if (!newKey || !newValue)
            return false;
        keys.append(*newKey);
        values.append(*newValue);
        return true;
    };

    const qsizetype pairs = top->children.size() / 2;
    for (qsizetype i = 0; i < pairs; ++i) {
        const quint64 keyIndex = top->children.at(i);
        const quint64 valueIndex = top->children.at(i + pairs);
        const std::optional<QString> key = source.keyText(keyIndex);
        if (!key)
            return fail(QStringLiteral("it holds a key that is no string"));
        if (changes.contains(*key)) {
            // The change takes the key's place; a second entry of the same key goes with it.
            if (!remaining.contains(*key))
                continue;
            const QVariant value = remaining.take(*key);
            if (value.isValid() && !addChange(*key, value))
                return fail(QStringLiteral("the value of %1 could not be written").arg(*key));
            continue;
        }
        const std::optional<int> newKey = builder.import(source, copied, keyIndex);
        const std::optional<int> newValue = builder.import(source, copied, valueIndex);
        if (!newKey || !newValue)
            return fail(QStringLiteral("it holds an object that cannot be followed"));
        keys.append(*newKey);
        values.append(*newValue);
    }
    for (auto it = remaining.cbegin(); it != remaining.cend(); ++it) {
        if (it.value().isValid() && !addChange(it.key(), it.value()))
            return fail(QStringLiteral("the value of %1 could not be written").arg(it.key()));
    }
    return builder.build(builder.dictionary(keys, values));
}
