#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

// The platform's error codes for Accessibility requests (the values are the platform's own).
enum class AXError : int {
    Success = 0,
    Failure = -25200,
    IllegalArgument = -25201,
    InvalidUIElement = -25202,
    InvalidUIElementObserver = -25203,
    CannotComplete = -25204,
    AttributeUnsupported = -25205,
    NotificationUnsupported = -25207,
    NotImplemented = -25208,
    NotificationAlreadyRegistered = -25209,
    NotificationNotRegistered = -25210,
    APIDisabled = -25211,
    NoValue = -25212,
};

// One element of another process's Accessibility tree: a handle, not the element itself. Reads go
// to the process each time, so a handle of a process that has gone away simply fails.
struct AXUIElement {
    qint64 processIdentifier = 0;
    quint64 elementIdentifier = 0;

    bool isNull() const { return processIdentifier == 0 && elementIdentifier == 0; }
    friend bool operator==(const AXUIElement &, const AXUIElement &) = default;
};

Q_DECLARE_METATYPE(AXUIElement)

// Attribute values read through Accessibility arrive as QVariant holding one of: QString, bool,
// double, QPointF (a point value), QSizeF (a size value), QUrl, AXUIElement or QList<AXUIElement>.
// Positions and sizes are in the global space whose origin is the top-left corner of the primary
// display, y growing downward.

// Receives notifications of one process's elements. Notifications arrive on the thread that made
// the observer, through `notificationReceived`.
class AXObserver : public QObject {
    Q_OBJECT
public:
    ~AXObserver() override = default;

    virtual AXError addNotification(const AXUIElement &element, const QString &notification) = 0;
    virtual AXError removeNotification(const AXUIElement &element, const QString &notification) = 0;

signals:
    void notificationReceived(const AXUIElement &element, const QString &notification);

protected:
    using QObject::QObject;
};

// The Accessibility interface of the platform: whether this program may use it, and synchronous
// reads of another process's elements.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    static Accessibility &shared();
    // Replaces the process-wide interface; nullptr goes back to this machine's.
    static void install(std::unique_ptr<Accessibility> accessibility);

    // Whether the user has granted this program Accessibility access. Never shows anything.
    virtual bool isProcessTrusted() = 0;
    // The same answer, and when access is not granted, asks the system to show the user its prompt.
    // The prompt does not wait: a later grant is seen by a later check.
    virtual bool isProcessTrustedWithPrompt() = 0;

    // The process identifier of the running Dock, nullopt when none runs.
    virtual std::optional<qint64> dockProcessIdentifier() = 0;

    // The application element of a process (no request is made).
    AXUIElement createApplication(qint64 processIdentifier) const { return AXUIElement{processIdentifier, 1}; }

    virtual AXError copyAttributeValue(const AXUIElement &element, const QString &attribute, QVariant *value) = 0;
    // The element of `application` at a point of the top-left-origin global space.
    virtual AXError copyElementAtPosition(const AXUIElement &application, const QPointF &point, AXUIElement *element) = 0;

    // An observer of the process's notifications; nullptr when the process cannot be observed.
    virtual std::unique_ptr<AXObserver> createObserver(qint64 processIdentifier) = 0;
    // Calls `changed` on the event loop's thread, in `receiver`'s context, after the Dock that
    // `dockProcessIdentifier` names there has changed: the Dock went away, or a new one began to
    // answer. Where the platform tells nothing of it this does nothing, and owners look for
    // themselves from time to time.
    virtual void watchDockProcess(QObject *receiver, std::function<void()> changed)
    {
        Q_UNUSED(receiver);
        Q_UNUSED(changed);
    }
    // A number that stays the same only while nothing of the process's tree can have changed, where
    // the platform tells of every change; nullopt where it does not, and reads must ask again.
    // Numbers are never handed out twice in one run.
    virtual std::optional<quint64> treeRevision(qint64 processIdentifier)
    {
        Q_UNUSED(processIdentifier);
        return std::nullopt;
    }
};
