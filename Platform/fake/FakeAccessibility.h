#pragma once

#include "Platform/Accessibility.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QUrl>

// One tile of the fake Dock's tree.
struct FakeDockTile {
    QString title;
    QString subrole = QStringLiteral("AXApplicationDockItem");
    QUrl url; // empty: the tile has no "AXURL"
    QRectF frame;
};

class FakeAXObserver;

// An in-memory Accessibility tree shaped like the Dock's: the application element, one "AXList"
// child and the tiles below it. Tests change the public fields to shape the answers.
class FakeAccessibility final : public Accessibility {
public:
    FakeAccessibility();
    ~FakeAccessibility() override;

    bool trusted = true;
    int promptCount = 0;
    std::optional<qint64> dockProcess = 4242;
    // Attribute values by element identifier; setDockTiles fills them, tests may change any.
    QHash<quint64, QHash<QString, QVariant>> attributes;
    int attributeReads = 0;
    int elementAtPositionRequests = 0;
    bool observersFail = false;

    AXUIElement applicationElement() const;
    AXUIElement listElement() const;
    AXUIElement tileElement(int index) const;

    // Builds the tree; the selection becomes empty.
    void setDockTiles(const QList<FakeDockTile> &tiles);
    // The tile in "AXSelectedChildren" (none for -1); sends "AXSelectedChildrenChanged" to the
    // list's observers when `notify` is set.
    void selectTile(int index, bool notify = true);
    void postNotification(const AXUIElement &element, const QString &notification);

    bool isProcessTrusted() override { return trusted; }
    bool isProcessTrustedWithPrompt() override;
    std::optional<qint64> dockProcessIdentifier() override { return dockProcess; }
    AXError copyAttributeValue(const AXUIElement &element, const QString &attribute, QVariant *value) override;
    AXError copyElementAtPosition(const AXUIElement &application, const QPointF &point, AXUIElement *element) override;
    std::unique_ptr<AXObserver> createObserver(qint64 processIdentifier) override;

    QList<FakeAXObserver *> liveObservers() const;

private:
    QList<FakeDockTile> m_tiles;
    QList<QPointer<FakeAXObserver>> m_observers;
};

class FakeAXObserver final : public AXObserver {
    Q_OBJECT
public:
    explicit FakeAXObserver(qint64 processIdentifier)
        : m_processIdentifier(processIdentifier)
    {
    }

    qint64 processIdentifier() const { return m_processIdentifier; }
    bool isRegistered(const AXUIElement &element, const QString &notification) const;
    int registrationCount() const { return int(m_registrations.size()); }

    AXError addNotification(const AXUIElement &element, const QString &notification) override;
    AXError removeNotification(const AXUIElement &element, const QString &notification) override;

    void deliver(const AXUIElement &element, const QString &notification);

private:
    qint64 m_processIdentifier;
    QList<QPair<AXUIElement, QString>> m_registrations;
};
