#include "Platform/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <plist/plist.h>

#include <memory>

namespace PropertyList {
namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr qint64 referenceDateOffset = 978307200;
constexpr int maximumDepth = 256;

struct PlistDeleter {
    void operator()(plist_t node) const
    {
        if (node)
            plist_free(node);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<QVariant> toVariant(plist_t node, int depth)
{
    if (!node || depth > maximumDepth)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return QVariant(v != 0);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        // Binary property lists store signed 64-bit integers; negative values come back wrapped.
        return QVariant(static_cast<qint64>(v));
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return QVariant(v);
    }
    case PLIST_STRING: {
        char *s = nullptr;
        plist_get_string_val(node, &s);
        QString text = s ? QString::fromUtf8(s) : QString();
        free(s);
        return QVariant(text);
    }
    case PLIST_DATA: {
        char *d = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &d, &length);
        QByteArray bytes(d, static_cast<qsizetype>(length));
        free(d);
        return QVariant(bytes);
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const qint64 ms = (qint64(sec) + referenceDateOffset) * 1000 + usec / 1000;
        return QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return QVariant::fromValue(Uid{v});
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            auto element = toVariant(plist_array_get_item(node, i), depth + 1);
            if (!element)
                return std::nullopt;
            list.append(*element);
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                free(key);
                break;
            }
            const QString name = key ? QString::fromUtf8(key) : QString();
            free(key);
            auto element = toVariant(value, depth + 1);
            if (!element) {
                free(it);
                return std::nullopt;
            }
            map.insert(name, *element);
        }
        free(it);
        return QVariant(map);
    }
    default:
        return std::nullopt;
    }
}

plist_t fromVariant(const QVariant &value, int depth)
{
    if (depth > maximumDepth)
        return plist_new_string("");
    const int type = value.metaType().id();
    if (type == qMetaTypeId<Uid>())
        return plist_new_uid(value.value<Uid>().value);
    switch (type) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::ULong:
    case QMetaType::UShort:
        return plist_new_uint(static_cast<uint64_t>(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - referenceDateOffset * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>((ms - sec * 1000) * 1000));
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant &element : value.toList())
            plist_array_append_item(array, fromVariant(element, depth + 1));
        return array;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), fromVariant(it.value(), depth + 1));
        return dict;
    }
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

bool looksLikePropertyList(const QByteArray &bytes)
{
    if (bytes.startsWith("bplist00"))
        return true;
    // XML, possibly after a byte-order mark or white space.
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    while (!view.isEmpty() && (view.front() == ' ' || view.front() == '\n' || view.front() == '\r' || view.front() == '\t'))
        view = view.sliced(1);
    return view.startsWith("<?xml") || view.startsWith("<plist") || view.startsWith("<!DOCTYPE");
}

} // namespace

std::optional<QVariant> parse(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > maximumInputSize || !looksLikePropertyList(bytes))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &root);
    PlistPtr owner(root);
    if (!root)
        return std::nullopt;
    return toVariant(root, 0);
}

QByteArray toBinary(const QVariant &value)
{
    PlistPtr root(fromVariant(value, 0));
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &out, &length);
    QByteArray bytes(out, static_cast<qsizetype>(length));
    plist_to_bin_free(out);
    return bytes;
}

QByteArray toXml(const QVariant &value)
{
    PlistPtr root(fromVariant(value, 0));
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &out, &length);
    QByteArray bytes(out, static_cast<qsizetype>(length));
    plist_to_xml_free(out);
    return bytes;
}

bool writeBinaryFile(const QString &path, const QVariant &value)
{
    const QByteArray bytes = toBinary(value);
    if (bytes.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace PropertyList
