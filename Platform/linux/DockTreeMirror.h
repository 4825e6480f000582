#pragma once

#include "Platform/Accessibility.h"
#include "Platform/dockstandin/wire/DockTree.h"
#include "Platform/linux/DockSocketLink.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>

// This program's copy of the stand-in Dock's Accessibility tree, kept up to date by the layouts and
// selections the Dock sends on a connection of its own. Reads of tiles and of the selection are
// answered from it without a round trip, so a poll of the selection neither waits for the Dock nor
// wakes it. Used only on the thread that made it; an answer of nullopt means there is no copy (no
// Dock, no access, another thread, not made yet) or the element belongs to another process.
//
// The copy is asked for without waiting, and comes through the event loop: a Dock that has just
// started, or that is stopped, costs the reads nothing. A Dock that does not answer in time is
// asked again later and later; one that keeps another form of the tree is named in the log once.
class DockTreeMirror final : public QObject {
    Q_OBJECT
public:
    DockTreeMirror();
    ~DockTreeMirror() override;

    std::optional<AXError> attribute(const AXUIElement &element, const QString &name, QVariant *value);
    std::optional<AXError> elementAtPosition(const AXUIElement &application, const QPointF &point, AXUIElement *element);
    std::optional<qint64> processIdentifier();

    // The updates the Dock has sent since the copy was made (tests watch the copy follow the Dock).
    quint64 updatesReceived() const { return m_updates; }
    // A number for the copy as it is now, new with every copy made, dropped or updated, and never
    // handed out twice in one run; nullopt while there is no copy.
    std::optional<quint64> revision();

signals:
    // The Dock the copy belongs to changed: it went away, or a copy of a new one came.
    void processChanged();

private:
    // Takes in what the Dock has sent; asks for the copy when there is none and it is time to.
    bool isCurrent();
    bool isHeld() const { return m_processIdentifier.has_value() && m_link.isConnected(); }
    void subscribe();
    void subscribed(const std::optional<QCborMap> &answer);
    void refuse(const QString &why);
    void handleMessage(const QCborMap &message);
    void forget();
    void connectionLost();
    // A Dock began to listen: asked for its copy at once, not at the next read.
    void dockArrived();
    // Tells of a change of the Dock the copy belongs to, once.
    void announce();

    const QString m_executable;
    DockSocketLink m_link;
    std::optional<qint64> m_processIdentifier;
    std::optional<qint64> m_announced;
    DockTree m_tree;
    quint64 m_updates = 0;
    quint64 m_revision = 0;
    QElapsedTimer m_sinceAttempt;
    int m_retryAfter = 0;
    bool m_asking = false;
    // A Dock began to listen while a copy was asked for: if that ask finds no Dock (it went to the
    // one that ended), the new one is asked at once.
    bool m_askAgainOnFailure = false;
    // Set once a Dock's tree could not be read, so that the log says so once, not at every attempt.
    bool m_refusalLogged = false;
};
