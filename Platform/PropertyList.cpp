#include "Platform/PropertyList.h"

#include "Platform/BoundedFile.h"
#include "Platform/PropertyListCheck.h"
#include "Platform/PropertyListStandIns.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QtEndian>
#include <plist/plist.h>

#include <cmath>
#include <memory>

namespace PropertyList {
namespace {

Q_LOGGING_CATEGORY(propertyListLog, "com.kestrowan.app.persistence")

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

// libplist's date calls pass whole seconds as 32 bits (1933 to 2069) and drop what lies below a
// microsecond. A date node is written and read as the eight-byte real of a one-object binary list
// instead, which keeps every date exactly.
constexpr uchar dateMarker = 0x33;
constexpr qsizetype loneObjectOffset = 8;

plist_t dateNode(double secondsSinceReference)
{
    QByteArray bytes("bplist00");
    bytes.append(char(dateMarker));
    char real[8];
    qToBigEndian(secondsSinceReference, real);
    bytes.append(real, 8);
    bytes.append(char(loneObjectOffset)); // the offset table: one one-byte entry
    const qsizetype tableOffset = bytes.size() - 1;
    char trailer[32] = {};
    trailer[6] = 1; // offset size
    trailer[7] = 1; // reference size
    qToBigEndian(quint64(1), trailer + 8); // one object
    qToBigEndian(quint64(0), trailer + 16); // the top object
    qToBigEndian(quint64(tableOffset), trailer + 24);
    bytes.append(trailer, 32);
    plist_t node = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
    return node ? node : plist_new_date(0, 0);
}

double secondsOfDate(plist_t node)
{
    PlistPtr copy(plist_copy(node));
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy.get(), &out, &length);
    double seconds = 0;
    if (out && length >= loneObjectOffset + 9 && uchar(out[loneObjectOffset]) == dateMarker)
        seconds = qFromBigEndian<double>(out + loneObjectOffset + 1);
    plist_to_bin_free(out);
    return seconds;
}

// Calls `visit(key, value)` for each entry in the stored order while it returns true; false when
// it stopped early.
template <typename Visit>
bool forEachDictItem(plist_t dict, Visit visit)
{
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    bool whole = true;
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        const bool go = value && visit(key, value);
        free(key);
        if (!go) {
            whole = !value;
            break;
        }
    }
    free(it);
    return whole;
}

std::optional<QVariant> toVariant(plist_t node, int depth, const PropertyListStandIns &standIns)
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
        QString text = standIns.realText(s);
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
        // Rounded, not cut: a time written from whole milliseconds reads back as the same time.
        const double seconds = secondsOfDate(node);
        if (!std::isfinite(seconds) || std::fabs(seconds) > 1e14)
            return QVariant(QDateTime());
        const qint64 ms = std::llround(seconds * 1000) + referenceDateOffset * 1000;
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
            auto element = toVariant(plist_array_get_item(node, i), depth + 1, standIns);
            if (!element)
                return std::nullopt;
            list.append(*element);
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        const bool whole = forEachDictItem(node, [&map, depth, &standIns](const char *key, plist_t value) {
            auto element = toVariant(value, depth + 1, standIns);
            if (element)
                map.insert(standIns.realText(key), *element);
            return element.has_value();
        });
        if (!whole)
            return std::nullopt;
        return QVariant(map);
    }
    default:
        return std::nullopt;
    }
}

// The text libplist is given for `text`: a stand-in where it holds U+0000 and stand-ins are kept.
QByteArray plistText(const QString &text, PropertyListStandIns *standIns)
{
    return standIns && PropertyListStandIns::needsStandIn(text) ? standIns->standInFor(text) : text.toUtf8();
}

plist_t fromVariant(const QVariant &value, int depth, PropertyListStandIns *standIns)
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
        return dateNode(double(ms) / 1000.0);
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant &element : value.toList())
            plist_array_append_item(array, fromVariant(element, depth + 1, standIns));
        return array;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, plistText(it.key(), standIns).constData(), fromVariant(it.value(), depth + 1, standIns));
        return dict;
    }
    default:
        return plist_new_string(plistText(value.toString(), standIns).constData());
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


// The libplist tree of `bytes`, or null: anything libplist cannot read safely is refused first, with
// one log line. Strings libplist cannot carry reach it as stand-ins kept in `standIns`.
PlistPtr parseTree(const QByteArray &bytes, PropertyListStandIns &standIns)
{
    if (bytes.isEmpty() || bytes.size() > maximumInputSize || !looksLikePropertyList(bytes))
        return nullptr;
    const bool binary = bytes.startsWith("bplist00");
    if (const std::optional<QString> problem = binary ? PropertyListCheck::binaryProblem(bytes) : PropertyListCheck::xmlProblem(bytes)) {
        qCWarning(propertyListLog, "Refused a %s property list of %lld bytes: %s", binary ? "binary" : "XML",
                  qlonglong(bytes.size()), qPrintable(*problem));
        return nullptr;
    }
    const std::optional<QByteArray> given = binary ? standIns.withStandIns(bytes) : std::optional(bytes);
    if (!given)
        return nullptr;
    plist_t root = nullptr;
    plist_from_memory(given->constData(), static_cast<uint32_t>(given->size()), &root);
    return PlistPtr(root);
}

bool isNodeOfType(plist_t node, plist_type type)
{
    return node && plist_get_node_type(node) == type;
}

// `value` as a node, reusing a copy of `old` (what was stored in its place) wherever the two hold the
// same value, so that what the program did not change is written back exactly as it was read.
plist_t fromVariantKeeping(const QVariant &value, plist_t old, int depth, PropertyListStandIns &standIns)
{
    if (!old || depth > maximumDepth)
        return fromVariant(value, depth, &standIns);
    const std::optional<QVariant> oldValue = toVariant(old, depth, standIns);
    if (oldValue && sameValue(*oldValue, value))
        return plist_copy(old);
    const int type = value.metaType().id();
    if (type == QMetaType::QVariantList && isNodeOfType(old, PLIST_ARRAY)) {
        const uint32_t count = plist_array_get_size(old);
        QList<std::optional<QVariant>> oldElements;
        for (uint32_t i = 0; i < count; ++i)
            oldElements.append(toVariant(plist_array_get_item(old, i), depth + 1, standIns));
        QList<bool> used(count, false);
        plist_t array = plist_new_array();
        for (const QVariant &element : value.toList()) {
            plist_t node = nullptr;
            for (uint32_t i = 0; i < count && !node; ++i) {
                if (!used[i] && oldElements[i] && sameValue(*oldElements[i], element)) {
                    used[i] = true;
                    node = plist_copy(plist_array_get_item(old, i));
                }
            }
            plist_array_append_item(array, node ? node : fromVariant(element, depth + 1, &standIns));
        }
        return array;
    }
    if (type == QMetaType::QVariantMap && isNodeOfType(old, PLIST_DICT)) {
        QVariantMap remaining = value.toMap();
        plist_t dict = plist_new_dict();
        // The stored keys first, in their stored order; then the new ones.
        forEachDictItem(old, [&](const char *key, plist_t child) {
            const QString name = standIns.realText(key);
            if (remaining.contains(name))
                plist_dict_set_item(dict, key, fromVariantKeeping(remaining.take(name), child, depth + 1, standIns));
            return true;
        });
        for (auto entry = remaining.cbegin(); entry != remaining.cend(); ++entry)
            plist_dict_set_item(dict, plistText(entry.key(), &standIns).constData(), fromVariant(entry.value(), depth + 1, &standIns));
        return dict;
    }
    return fromVariant(value, depth, &standIns);
}

// The binary form of `root`, with the real strings in place of their stand-ins.
QByteArray binaryOf(plist_t root, const PropertyListStandIns &standIns)
{
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &out, &length);
    QByteArray bytes(out, static_cast<qsizetype>(length));
    plist_to_bin_free(out);
    return standIns.withRealStrings(bytes);
}

} // namespace

bool sameValue(const QVariant &a, const QVariant &b)
{
    const int type = a.metaType().id();
    const int otherType = b.metaType().id();
    if (type == QMetaType::Double && otherType == QMetaType::Double) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    if (type == QMetaType::QVariantList && otherType == QMetaType::QVariantList) {
        const QVariantList x = a.toList();
        const QVariantList y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (!sameValue(x[i], y[i]))
                return false;
        }
        return true;
    }
    if (type == QMetaType::QVariantMap && otherType == QMetaType::QVariantMap) {
        const QVariantMap x = a.toMap();
        const QVariantMap y = b.toMap();
        if (x.size() != y.size())
            return false;
        for (auto i = x.cbegin(), j = y.cbegin(); i != x.cend(); ++i, ++j) {
            if (i.key() != j.key() || !sameValue(i.value(), j.value()))
                return false;
        }
        return true;
    }
    // Integers of any width compare by value, as they are one type in the file.
    return a == b;
}

std::optional<QByteArray> readStoredFile(const QString &path, QString *failure)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return QByteArray();
    return readSmallFile(path, maximumInputSize, failure);
}

std::optional<QVariantMap> storedDictionary(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QVariantMap();
    const std::optional<QVariant> root = parse(bytes);
    if (!root || root->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
}

QVariantMap mapIn(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QString stringIn(const QVariantMap &dictionary, const QString &key, const QString &fallback)
{
    const QVariant value = dictionary.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

std::optional<QVariant> parse(const QByteArray &bytes)
{
    PropertyListStandIns standIns;
    const PlistPtr root = parseTree(bytes, standIns);
    if (!root)
        return std::nullopt;
    return toVariant(root.get(), 0, standIns);
}

std::optional<QByteArray> withKeyReplaced(const QByteArray &stored, const QString &key, const QVariant &value)
{
    PropertyListStandIns standIns;
    PlistPtr root(stored.isEmpty() ? plist_new_dict() : parseTree(stored, standIns).release());
    if (!isNodeOfType(root.get(), PLIST_DICT))
        return std::nullopt;
    const QByteArray name = plistText(key, &standIns);
    plist_t old = plist_dict_get_item(root.get(), name.constData());
    plist_t replacement = fromVariantKeeping(value, old, 1, standIns);
    // Setting an existing key replaces its node in place, so the key keeps its position.
    plist_dict_set_item(root.get(), name.constData(), replacement);
    const QByteArray bytes = binaryOf(root.get(), standIns);
    if (bytes.isEmpty())
        return std::nullopt;
    // A file this program would refuse to read is never written, by it or for anyone else.
    if (const std::optional<QString> problem = PropertyListCheck::binaryProblem(bytes)) {
        qCWarning(propertyListLog, "Did not write a property list that would not read back: %s", qPrintable(*problem));
        return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> asBinary(const QByteArray &bytes)
{
    PropertyListStandIns standIns;
    const PlistPtr root = parseTree(bytes, standIns);
    if (!root)
        return std::nullopt;
    const QByteArray binary = binaryOf(root.get(), standIns);
    return binary.isEmpty() ? std::nullopt : std::optional(binary);
}

QByteArray toBinary(const QVariant &value)
{
    PropertyListStandIns standIns;
    PlistPtr root(fromVariant(value, 0, &standIns));
    return binaryOf(root.get(), standIns);
}

QByteArray toXml(const QVariant &value)
{
    // XML holds no U+0000 (fitsXml says so); such a string is cut there.
    PlistPtr root(fromVariant(value, 0, nullptr));
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &out, &length);
    QByteArray bytes(out, static_cast<qsizetype>(length));
    plist_to_xml_free(out);
    return bytes;
}

namespace {

bool isXmlText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n')
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

bool fitsXmlAt(const QVariant &value, int depth)
{
    if (depth > maximumDepth)
        return true;
    const int type = value.metaType().id();
    if (type == qMetaTypeId<Uid>())
        return false;
    switch (type) {
    case QMetaType::QDateTime:
        return value.toDateTime().toMSecsSinceEpoch() % 1000 == 0;
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        for (const QVariant &element : value.toList()) {
            if (!fitsXmlAt(element, depth + 1))
                return false;
        }
        return true;
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!isXmlText(it.key()) || !fitsXmlAt(it.value(), depth + 1))
                return false;
        }
        return true;
    }
    case QMetaType::QByteArray:
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return value.canConvert<QString>() ? isXmlText(value.toString()) : true;
    }
}

} // namespace

bool fitsXml(const QVariant &value)
{
    return fitsXmlAt(value, 0);
}

QByteArray toStoredForm(const QVariant &value)
{
    return fitsXml(value) ? toXml(value) : toBinary(value);
}

bool writeBinaryFile(const QString &path, const QVariant &value)
{
    return writeBytesAtomically(path, toBinary(value));
}

bool writeBytesAtomically(const QString &path, const QByteArray &bytes)
{
    return !bytes.isEmpty() && !SafeWrite::replaceFile(path, bytes, SafeWrite::Folder::Make);
}

} // namespace PropertyList
