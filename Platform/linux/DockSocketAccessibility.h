#pragma once

#include "Platform/Accessibility.h"
#include "Platform/linux/DockSocketLink.h"
#include "Platform/linux/DockTreeMirror.h"

#include <QPair>
#include <QSet>

#include <memory>
#include <mutex>

// Accessibility on this machine: the stand-in Dock answers for its own tree over its socket; the
// grants are the user's trust file.
class DockSocketAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
    std::optional<qint64> dockProcessIdentifier() override;
    AXError copyAttributeValue(const AXUIElement &element, const QString &attribute, QVariant *value) override;
    AXError copyElementAtPosition(const AXUIElement &application, const QPointF &point, AXUIElement *element) override;
    std::unique_ptr<AXObserver> createObserver(qint64 processIdentifier) override;
    // While the copy of the Dock's tree is held: it changes only with what the Dock sends.
    std::optional<quint64> treeRevision(qint64 processIdentifier) override;
    // Told by the copy of the Dock's tree, which follows each Dock from the moment it listens.
    void watchDockProcess(QObject *receiver, std::function<void()> changed) override;

    // The copy of the Dock's tree that answers reads on the event loop's thread; null elsewhere.
    DockTreeMirror *mirror();

private:
    // The answer on the event loop's thread when the copy has none: it never asks the Dock there.
    std::optional<AXError> answerWithoutCopy(const AXUIElement &element);

    DockSocketChannel m_channel;
    std::unique_ptr<DockTreeMirror> m_mirror;
};

// An observer with a connection of its own, on which the Dock sends the notifications.
class DockSocketAXObserver final : public AXObserver {
    Q_OBJECT
public:
    explicit DockSocketAXObserver(qint64 processIdentifier);

    // Connects and checks that the Dock is still the process being observed.
    bool attach();

    AXError addNotification(const AXUIElement &element, const QString &notification) override;
    AXError removeNotification(const AXUIElement &element, const QString &notification) override;

private:
    AXError request(const QString &op, const AXUIElement &element, const QString &notification);
    void handleMessage(const QCborMap &message);

    qint64 m_processIdentifier;
    DockSocketLink m_link;
    // What the owner has registered: asked for from its thread, looked at as notifications come.
    std::mutex m_registeredMutex;
    QSet<QPair<quint64, QString>> m_registered;
};
