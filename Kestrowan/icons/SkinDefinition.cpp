#include "Kestrowan/icons/SkinDefinition.h"

#include "Platform/logging/SystemErrorText.h"
#include "Kestrowan/shell/Localization.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>

namespace {

// Reads typed fields out of JSON objects, remembering the first thing that was wrong.
class StrictReader {
public:
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

    void fail(const QString &where, const QString &what)
    {
        if (m_error.isEmpty())
            m_error = where + QStringLiteral(": ") + what;
    }

    QJsonValue required(const QJsonObject &object, const QString &key, const QString &where)
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull()) {
            fail(where + key, QStringLiteral("missing"));
            return {};
        }
        return value;
    }

    QString string(const QJsonValue &value, const QString &where)
    {
        if (!value.isString()) {
            fail(where, QStringLiteral("not a string"));
            return {};
        }
        return value.toString();
    }

    double number(const QJsonValue &value, const QString &where)
    {
        if (!value.isDouble()) {
            fail(where, QStringLiteral("not a number"));
            return 0;
        }
        return value.toDouble();
    }

    // A JSON number whose value is whole and fits a signed 64-bit integer, however it is written.
    qint64 integer(const QJsonValue &value, const QString &where)
    {
        if (!value.isDouble()) {
            fail(where, QStringLiteral("not an integer"));
            return 0;
        }
        const QVariant v = value.toVariant();
        if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
            return v.toLongLong();
        const double d = value.toDouble();
        // 2^63 is exactly representable; every whole double below it and at or above -2^63 fits.
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) {
            fail(where, QStringLiteral("not an integer"));
            return 0;
        }
        return qint64(d);
    }

    QJsonArray array(const QJsonValue &value, const QString &where)
    {
        if (!value.isArray()) {
            fail(where, QStringLiteral("not an array"));
            return {};
        }
        return value.toArray();
    }

    QJsonObject object(const QJsonValue &value, const QString &where)
    {
        if (!value.isObject()) {
            fail(where, QStringLiteral("not an object"));
            return {};
        }
        return value.toObject();
    }

    std::optional<QString> optionalString(const QJsonObject &object, const QString &key, const QString &where)
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return string(value, where + key);
    }

private:
    QString m_error;
};

template <typename Enum>
std::optional<Enum> enumFromRaw(const QString &raw, const QStringList &names)
{
    const qsizetype index = names.indexOf(raw);
    if (index < 0)
        return std::nullopt;
    return Enum(index);
}

const QStringList &zOrderNames()
{
    static const QStringList names{QStringLiteral("background"), QStringLiteral("midground"), QStringLiteral("foreground")};
    return names;
}

const QStringList &blendModeNames()
{
    static const QStringList names{QStringLiteral("normal"), QStringLiteral("multiply"), QStringLiteral("screen"),
                                   QStringLiteral("overlay")};
    return names;
}

SkinLayer readLayer(StrictReader &r, const QJsonValue &value, const QString &where)
{
    SkinLayer layer;
    const QJsonObject o = r.object(value, where);
    if (r.failed())
        return layer;
    layer.imageName = r.string(r.required(o, QStringLiteral("imageName"), where), where + QStringLiteral("imageName"));
    const QString z = r.string(r.required(o, QStringLiteral("zOrder"), where), where + QStringLiteral("zOrder"));
    layer.opacity = r.number(r.required(o, QStringLiteral("opacity"), where), where + QStringLiteral("opacity"));
    const QString blend = r.string(r.required(o, QStringLiteral("blendMode"), where), where + QStringLiteral("blendMode"));
    if (r.failed())
        return layer;
    if (const auto order = enumFromRaw<SkinLayer::ZOrder>(z, zOrderNames()))
        layer.zOrder = *order;
    else
        r.fail(where + QStringLiteral("zOrder"), QStringLiteral("unknown value \"%1\"").arg(z));
    if (const auto mode = enumFromRaw<SkinLayer::LayerBlendMode>(blend, blendModeNames()))
        layer.blendMode = *mode;
    else
        r.fail(where + QStringLiteral("blendMode"), QStringLiteral("unknown value \"%1\"").arg(blend));
    return layer;
}

IconSlot readSlot(StrictReader &r, const QJsonValue &value, const QString &where)
{
    IconSlot slot;
    const QJsonObject o = r.object(value, where);
    if (r.failed())
        return slot;
    slot.id = r.integer(r.required(o, QStringLiteral("id"), where), where + QStringLiteral("id"));
    const auto num = [&](const char *key) {
        const QString k = QString::fromLatin1(key);
        return r.number(r.required(o, k, where), where + k);
    };
    slot.x = num("x");
    slot.y = num("y");
    slot.width = num("width");
    slot.height = num("height");
    slot.cornerRadius = num("cornerRadius");
    slot.padding = num("padding");
    return slot;
}

SkinMetadata readMetadata(StrictReader &r, const QJsonValue &value)
{
    const QString where = QStringLiteral("metadata.");
    SkinMetadata metadata;
    const QJsonObject o = r.object(value, QStringLiteral("metadata"));
    if (r.failed())
        return metadata;
    metadata.author = r.optionalString(o, QStringLiteral("author"), where);
    metadata.description = r.optionalString(o, QStringLiteral("description"), where);
    metadata.previewImage = r.optionalString(o, QStringLiteral("previewImage"), where);
    const QJsonValue tags = o.value(QStringLiteral("tags"));
    if (!tags.isUndefined() && !tags.isNull()) {
        QStringList list;
        const QJsonArray array = r.array(tags, where + QStringLiteral("tags"));
        for (const QJsonValue &tag : array)
            list.append(r.string(tag, where + QStringLiteral("tags[]")));
        metadata.tags = list;
    }
    return metadata;
}

} // namespace

QString zOrderRawValue(SkinLayer::ZOrder order)
{
    return zOrderNames().value(int(order));
}

QString blendModeRawValue(SkinLayer::LayerBlendMode mode)
{
    return blendModeNames().value(int(mode));
}

std::optional<SkinDefinition> SkinDefinition::decode(const QByteArray &json, QString *error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    StrictReader r;
    if (parseError.error != QJsonParseError::NoError)
        r.fail(QStringLiteral("skin.json"), jsonErrorText(parseError));
    else if (!document.isObject())
        r.fail(QStringLiteral("skin.json"), QStringLiteral("not a JSON object"));

    SkinDefinition skin;
    if (!r.failed()) {
        const QJsonObject o = document.object();
        const QString root;
        skin.id = r.string(r.required(o, QStringLiteral("id"), root), QStringLiteral("id"));
        skin.name = r.string(r.required(o, QStringLiteral("name"), root), QStringLiteral("name"));
        skin.version = r.integer(r.required(o, QStringLiteral("version"), root), QStringLiteral("version"));
        skin.canvasSize = r.integer(r.required(o, QStringLiteral("canvasSize"), root), QStringLiteral("canvasSize"));
        const QJsonArray layers = r.array(r.required(o, QStringLiteral("layers"), root), QStringLiteral("layers"));
        for (qsizetype i = 0; i < layers.size() && !r.failed(); ++i)
            skin.layers.append(readLayer(r, layers.at(i), QStringLiteral("layers[%1].").arg(i)));
        const QJsonArray slotValues = r.array(r.required(o, QStringLiteral("slots"), root), QStringLiteral("slots"));
        for (qsizetype i = 0; i < slotValues.size() && !r.failed(); ++i)
            skin.iconSlots.append(readSlot(r, slotValues.at(i), QStringLiteral("slots[%1].").arg(i)));
        const QJsonValue metadata = o.value(QStringLiteral("metadata"));
        if (!metadata.isUndefined() && !metadata.isNull() && !r.failed())
            skin.metadata = readMetadata(r, metadata);
    }
    if (r.failed()) {
        if (error)
            *error = r.error();
        return std::nullopt;
    }
    return skin;
}

QJsonObject SkinDefinition::toJson() const
{
    QJsonArray layerArray;
    for (const SkinLayer &layer : layers) {
        layerArray.append(QJsonObject{{QStringLiteral("imageName"), layer.imageName},
                                      {QStringLiteral("zOrder"), zOrderRawValue(layer.zOrder)},
                                      {QStringLiteral("opacity"), layer.opacity},
                                      {QStringLiteral("blendMode"), blendModeRawValue(layer.blendMode)}});
    }
    QJsonArray slotArray;
    for (const IconSlot &slot : iconSlots) {
        slotArray.append(QJsonObject{{QStringLiteral("id"), slot.id},
                                     {QStringLiteral("x"), slot.x},
                                     {QStringLiteral("y"), slot.y},
                                     {QStringLiteral("width"), slot.width},
                                     {QStringLiteral("height"), slot.height},
                                     {QStringLiteral("cornerRadius"), slot.cornerRadius},
                                     {QStringLiteral("padding"), slot.padding}});
    }
    QJsonObject o{{QStringLiteral("id"), id},
                  {QStringLiteral("name"), name},
                  {QStringLiteral("version"), version},
                  {QStringLiteral("canvasSize"), canvasSize},
                  {QStringLiteral("layers"), layerArray},
                  {QStringLiteral("slots"), slotArray}};
    if (metadata) {
        QJsonObject m;
        if (metadata->author)
            m.insert(QStringLiteral("author"), *metadata->author);
        if (metadata->description)
            m.insert(QStringLiteral("description"), *metadata->description);
        if (metadata->tags)
            m.insert(QStringLiteral("tags"), QJsonArray::fromStringList(*metadata->tags));
        if (metadata->previewImage)
            m.insert(QStringLiteral("previewImage"), *metadata->previewImage);
        o.insert(QStringLiteral("metadata"), m);
    }
    return o;
}

QString SkinDefinition::localizedSkinName() const
{
    const QString key = QStringLiteral("skin.") + id + QStringLiteral(".name");
    const QString text = localized(key);
    return text != key ? text : name;
}

bool SkinDefinition::hasUsableCanvas() const
{
    return canvasSize >= kMinimumCanvasSize && canvasSize <= kMaximumCanvasSize;
}

bool SkinDefinition::isSafeImageName(const QString &imageName)
{
    // Resource paths (":/...") and absolute paths name files elsewhere; ".." climbs out of the folder.
    return !imageName.isEmpty() && !imageName.startsWith(QLatin1Char('/')) && !imageName.startsWith(QLatin1Char(':'))
        && !imageName.contains(QLatin1String("..")) && !imageName.contains(QChar(0));
}

std::optional<QString> SkinDefinition::packageProblem(const QString &folderName) const
{
    if (id != folderName)
        return QStringLiteral("its id \"%1\" differs from its folder's name").arg(id);
    if (!hasUsableCanvas())
        return QStringLiteral("its canvas size %1 is outside %2 to %3").arg(canvasSize).arg(kMinimumCanvasSize).arg(kMaximumCanvasSize);
    for (const SkinLayer &layer : layers) {
        if (!isSafeImageName(layer.imageName))
            return QStringLiteral("its layer image \"%1\" lies outside the skin's folder").arg(layer.imageName);
    }
    return std::nullopt;
}
