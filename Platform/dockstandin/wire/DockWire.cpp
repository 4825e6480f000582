#include "Platform/dockstandin/wire/DockWire.h"

#include <QCborArray>
#include <QCborParserError>
#include <QDir>
#include <QFileInfo>
#include <QSizeF>
#include <QUrl>
#include <QtEndian>

#include <cmath>
#include <sys/socket.h>
#include <unistd.h>

namespace DockWire {

namespace {

QString sanitizedDisplayName()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("none");
    QString name;
    for (const QChar c : display)
        name.append(c.isLetterOrNumber() || c == u'.' || c == u'-' ? c : QChar(u'_'));
    return name;
}

bool isFiniteNumber(const QCborValue &value)
{
    return (value.isDouble() || value.isInteger()) && std::isfinite(value.toDouble());
}

QCborMap encodeElement(const AXUIElement &element)
{
    return QCborMap{{QStringLiteral("pid"), element.processIdentifier},
                    {QStringLiteral("id"), qint64(element.elementIdentifier)}};
}

std::optional<AXUIElement> decodeElement(const QCborValue &value)
{
    if (!value.isMap())
        return std::nullopt;
    const QCborMap map = value.toMap();
    const QCborValue pid = map.value(QStringLiteral("pid"));
    const QCborValue id = map.value(QStringLiteral("id"));
    if (!pid.isInteger() || !id.isInteger() || id.toInteger() < 0)
        return std::nullopt;
    return AXUIElement{pid.toInteger(), quint64(id.toInteger())};
}

} // namespace

QString socketPath()
{
    const QString overridden = qEnvironmentVariable("KESTROWAN_DOCK_SOCKET");
    if (!overridden.isEmpty())
        return overridden;
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    return QStringLiteral("%1/kestrowan-dock-%2-%3.sock").arg(folder).arg(getuid()).arg(sanitizedDisplayName());
}

QByteArray frame(const QCborMap &message)
{
    const QByteArray body = message.toCborValue().toCbor();
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(body.size()), bytes.data());
    return bytes + body;
}

void FrameReader::append(const QByteArray &bytes)
{
    if (!failed())
        m_buffer.append(bytes);
}

std::optional<QCborMap> FrameReader::next()
{
    if (failed() || m_buffer.size() < 4)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData());
    if (length > maximumFrameSize) {
        m_error = QStringLiteral("message of %1 bytes is larger than allowed").arg(length);
        m_buffer.clear();
        return std::nullopt;
    }
    if (quint32(m_buffer.size()) < 4 + length)
        return std::nullopt;
    QCborParserError parseError;
    const QCborValue value = QCborValue::fromCbor(m_buffer.mid(4, length), &parseError);
    m_buffer.remove(0, 4 + length);
    if (parseError.error != QCborError::NoError || !value.isMap()) {
        m_error = parseError.error != QCborError::NoError ? parseError.errorString()
                                                           : QStringLiteral("message is not a map");
        m_buffer.clear();
        return std::nullopt;
    }
    return value.toMap();
}

QCborValue encodeValue(const QVariant &value)
{
    QCborMap map;
    switch (value.typeId()) {
    case QMetaType::QString:
        map = {{QStringLiteral("t"), QStringLiteral("s")}, {QStringLiteral("v"), value.toString()}};
        break;
    case QMetaType::Bool:
        map = {{QStringLiteral("t"), QStringLiteral("b")}, {QStringLiteral("v"), value.toBool()}};
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        map = {{QStringLiteral("t"), QStringLiteral("n")}, {QStringLiteral("v"), value.toDouble()}};
        break;
    case QMetaType::QPointF: {
        const QPointF p = value.toPointF();
        map = {{QStringLiteral("t"), QStringLiteral("pt")}, {QStringLiteral("x"), p.x()}, {QStringLiteral("y"), p.y()}};
        break;
    }
    case QMetaType::QSizeF: {
        const QSizeF s = value.toSizeF();
        map = {{QStringLiteral("t"), QStringLiteral("sz")}, {QStringLiteral("w"), s.width()}, {QStringLiteral("h"), s.height()}};
        break;
    }
    case QMetaType::QUrl:
        map = {{QStringLiteral("t"), QStringLiteral("url")}, {QStringLiteral("v"), value.toUrl().toString(QUrl::FullyEncoded)}};
        break;
    default:
        if (value.typeId() == qMetaTypeId<AXUIElement>()) {
            map = encodeElement(value.value<AXUIElement>());
            map.insert(QStringLiteral("t"), QStringLiteral("el"));
        } else if (value.typeId() == qMetaTypeId<QList<AXUIElement>>()) {
            QCborArray elements;
            for (const AXUIElement &element : value.value<QList<AXUIElement>>())
                elements.append(encodeElement(element));
            map = {{QStringLiteral("t"), QStringLiteral("els")}, {QStringLiteral("v"), elements}};
        } else {
            return QCborValue(QCborValue::Null);
        }
    }
    return map;
}

QVariant decodeValue(const QCborValue &value)
{
    if (!value.isMap())
        return {};
    const QCborMap map = value.toMap();
    const QString kind = map.value(QStringLiteral("t")).toString();
    const QCborValue v = map.value(QStringLiteral("v"));
    if (kind == QLatin1String("s") && v.isString())
        return v.toString();
    if (kind == QLatin1String("b") && v.isBool())
        return v.toBool();
    if (kind == QLatin1String("n") && isFiniteNumber(v))
        return v.toDouble();
    if (kind == QLatin1String("url") && v.isString()) {
        const QUrl url(v.toString(), QUrl::StrictMode);
        return url.isValid() ? QVariant(url) : QVariant();
    }
    if (kind == QLatin1String("pt")) {
        const QCborValue x = map.value(QStringLiteral("x"));
        const QCborValue y = map.value(QStringLiteral("y"));
        if (isFiniteNumber(x) && isFiniteNumber(y))
            return QPointF(x.toDouble(), y.toDouble());
        return {};
    }
    if (kind == QLatin1String("sz")) {
        const QCborValue w = map.value(QStringLiteral("w"));
        const QCborValue h = map.value(QStringLiteral("h"));
        if (isFiniteNumber(w) && isFiniteNumber(h))
            return QSizeF(w.toDouble(), h.toDouble());
        return {};
    }
    if (kind == QLatin1String("el")) {
        const std::optional<AXUIElement> element = decodeElement(map);
        return element ? QVariant::fromValue(*element) : QVariant();
    }
    if (kind == QLatin1String("els") && v.isArray()) {
        QList<AXUIElement> elements;
        for (const QCborValue &item : v.toArray()) {
            const std::optional<AXUIElement> element = decodeElement(item);
            if (!element)
                return {};
            elements.append(*element);
        }
        return QVariant::fromValue(elements);
    }
    return {};
}

QCborMap encodeEvent(const CGEvent &event)
{
    QCborMap fields;
    for (auto it = event.integerFields.cbegin(); it != event.integerFields.cend(); ++it)
        fields.insert(qint64(it.key()), it.value());
    return QCborMap{{QStringLiteral("type"), qint64(static_cast<quint32>(event.type))},
                    {QStringLiteral("x"), event.location.x()},
                    {QStringLiteral("y"), event.location.y()},
                    {QStringLiteral("f"), fields}};
}

std::optional<CGEvent> decodeEvent(const QCborValue &value)
{
    if (!value.isMap())
        return std::nullopt;
    const QCborMap map = value.toMap();
    const QCborValue type = map.value(QStringLiteral("type"));
    const QCborValue x = map.value(QStringLiteral("x"));
    const QCborValue y = map.value(QStringLiteral("y"));
    const QCborValue fields = map.value(QStringLiteral("f"));
    if (!type.isInteger() || type.toInteger() < 0 || type.toInteger() > 0xFFFFFFFFLL || !isFiniteNumber(x)
        || !isFiniteNumber(y) || !(fields.isMap() || fields.isUndefined()))
        return std::nullopt;
    CGEvent event;
    event.type = CGEventType(quint32(type.toInteger()));
    event.location = QPointF(x.toDouble(), y.toDouble());
    const QCborMap fieldMap = fields.toMap();
    for (auto it = fieldMap.cbegin(); it != fieldMap.cend(); ++it) {
        if (!it.key().isInteger() || !it.value().isInteger() || it.key().toInteger() < 0 || it.key().toInteger() > 1000)
            return std::nullopt;
        event.integerFields.insert(int(it.key().toInteger()), it.value().toInteger());
    }
    return event;
}

int encodeLocation(CGEventTapLocation location)
{
    return static_cast<int>(location);
}

std::optional<CGEventTapLocation> decodeLocation(const QCborValue &value)
{
    if (value.isUndefined())
        return CGEventTapLocation::Session;
    if (!value.isInteger())
        return std::nullopt;
    switch (value.toInteger()) {
    case 0:
        return CGEventTapLocation::HID;
    case 1:
        return CGEventTapLocation::Session;
    case 2:
        return CGEventTapLocation::AnnotatedSession;
    default:
        return std::nullopt;
    }
}

std::optional<qint64> integerField(const QCborMap &message, const QString &key)
{
    const QCborValue value = message.value(key);
    if (!value.isInteger())
        return std::nullopt;
    return value.toInteger();
}

qint64 tapOrder(CGEventTapLocation location, bool headInsert, quint32 serial)
{
    const qint64 level = qint64(encodeLocation(location)) << 34;
    return headInsert ? level + (qint64(1) << 32) - serial : level + (qint64(1) << 32) + serial;
}

std::optional<PeerCredentials> peerCredentials(qintptr socketDescriptor)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (socketDescriptor < 0 || getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return PeerCredentials{credentials.pid, qint64(credentials.uid)};
}

} // namespace DockWire
