#pragma once

#include "Platform/Accessibility.h"
#include "Platform/EventTaps.h"

#include <QByteArray>
#include <QCborMap>
#include <QCborValue>
#include <QString>
#include <QVariant>

#include <optional>

// The messages between the stand-in Dock and its clients over one local stream socket. Each message
// is a CBOR map behind a 4-byte big-endian length. Requests carry "op" and "seq"; the answer to a
// request carries "re" (the request's "seq") and "err" (an AXError value); messages that the Dock
// sends on its own ("notify", "event", "disabled") carry "op".
namespace DockWire {

inline constexpr quint32 maximumFrameSize = 1024 * 1024;

// Element identifiers of the Dock's tree; tiles count up from firstTileIdentifier.
inline constexpr quint64 applicationElement = 1;
inline constexpr quint64 listElement = 2;
inline constexpr quint64 firstTileIdentifier = 16;

namespace Op {
inline const QString processIdentifier = QStringLiteral("pid");
inline const QString prompt = QStringLiteral("prompt");
inline const QString attribute = QStringLiteral("attr");
inline const QString elementAtPosition = QStringLiteral("hit");
inline const QString observe = QStringLiteral("observe");
inline const QString unobserve = QStringLiteral("unobserve");
inline const QString createTap = QStringLiteral("tap");
inline const QString enableTap = QStringLiteral("enable");
// A client takes its tap out for good: its program takes no more of these events, and no other tap
// of it is to be waited for. No answer.
inline const QString removeTap = QStringLiteral("untap");
inline const QString verdict = QStringLiteral("verdict");
inline const QString post = QStringLiteral("post");
inline const QString notify = QStringLiteral("notify");
inline const QString event = QStringLiteral("event");
// A client tells its activation policy ("policy": "regular" or "accessory", with "name" and "icon");
// no answer. The Dock shows a running-application tile for a regular client while it is connected.
inline const QString activationPolicy = QStringLiteral("policy");
// The Dock asks a client to bring itself forward (its running tile was clicked).
inline const QString reopen = QStringLiteral("reopen");
// A client asks to keep a copy of the Dock's tree: the answer carries "pid", "layout" (tiles, bar
// and whether it shows) and "sel" (the selected tile or null); from then on the Dock sends "tree"
// (with "layout" and "sel") whenever the layout changes and "selected" (with "sel") whenever the
// selection does, the latter before the list's selection notification. The request and the answer
// carry "v", the version of the tree's form; a Dock that keeps another version refuses the request
// with IllegalArgument and its own "v".
inline const QString mirror = QStringLiteral("mirror");
inline const QString tree = QStringLiteral("tree");
inline const QString selected = QStringLiteral("selected");
} // namespace Op

// The version of the tree's form in "mirror", "tree" and "selected"; a new one for every change a
// copy of another version would read wrongly.
inline constexpr qint64 treeVersion = 1;

// Where the Dock of this user and display listens: $KESTROWAN_DOCK_SOCKET when set, otherwise a
// fixed name in $XDG_RUNTIME_DIR (or the temporary folder).
QString socketPath();

QByteArray frame(const QCborMap &message);

// Splits a byte stream into messages. Once it has seen something that is not a message it stays
// failed: the stream cannot be resynchronised, so the connection must be dropped.
class FrameReader {
public:
    void append(const QByteArray &bytes);
    std::optional<QCborMap> next();
    bool failed() const { return !m_error.isEmpty(); }
    // Whether part of a message has come and its end not yet.
    bool holdsPartialMessage() const { return !m_buffer.isEmpty(); }
    QString error() const { return m_error; }

private:
    QByteArray m_buffer;
    QString m_error;
};

QCborValue encodeValue(const QVariant &value);
// An invalid QVariant for anything that is not a value of the Accessibility interface.
QVariant decodeValue(const QCborValue &value);

QCborMap encodeEvent(const CGEvent &event);
std::optional<CGEvent> decodeEvent(const QCborValue &value);

int encodeLocation(CGEventTapLocation location);
// A missing location is the session's; anything but one of the three small integers is none. A
// float is never rounded into an integer: 1e300 does not fit one.
std::optional<CGEventTapLocation> decodeLocation(const QCborValue &value);

// A whole-number field of a message; nullopt when it is missing or anything but a CBOR integer.
std::optional<qint64> integerField(const QCborMap &message, const QString &key);

// Where a tap stands in the stream: lower comes first. Taps at the HID level see events before
// session taps; at one level, taps inserted at the head come first (the latest first), then the
// appended ones in the order they were made. `serial` counts the taps made.
qint64 tapOrder(CGEventTapLocation location, bool headInsert, quint32 serial);

// The process and user at the other end of a connected local socket.
struct PeerCredentials {
    qint64 processIdentifier = 0;
    qint64 userIdentifier = -1;
};
std::optional<PeerCredentials> peerCredentials(qintptr socketDescriptor);

} // namespace DockWire
