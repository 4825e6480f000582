#include "Platform/fake/FakeAccessibility.h"

#include "Platform/dockstandin/wire/DockWire.h"

#include <QSizeF>

FakeAccessibility::FakeAccessibility()
{
    setDockTiles({});
}

FakeAccessibility::~FakeAccessibility() = default;

AXUIElement FakeAccessibility::applicationElement() const
{
    return createApplication(dockProcess.value_or(0));
}

AXUIElement FakeAccessibility::listElement() const
{
    return AXUIElement{dockProcess.value_or(0), DockWire::listElement};
}

AXUIElement FakeAccessibility::tileElement(int index) const
{
    return AXUIElement{dockProcess.value_or(0), DockWire::firstTileIdentifier + quint64(index)};
}

void FakeAccessibility::setDockTiles(const QList<FakeDockTile> &tiles)
{
    m_tiles = tiles;
    attributes.clear();
    QList<AXUIElement> children;
    for (int i = 0; i < tiles.size(); ++i) {
        const FakeDockTile &tile = tiles.at(i);
        QHash<QString, QVariant> values{{QStringLiteral("AXRole"), QStringLiteral("AXDockItem")},
                                        {QStringLiteral("AXTitle"), tile.title},
                                        {QStringLiteral("AXPosition"), tile.frame.topLeft()},
                                        {QStringLiteral("AXSize"), tile.frame.size()}};
        if (!tile.subrole.isEmpty())
            values.insert(QStringLiteral("AXSubrole"), tile.subrole);
        if (!tile.url.isEmpty())
            values.insert(QStringLiteral("AXURL"), tile.url);
        attributes.insert(tileElement(i).elementIdentifier, values);
        children.append(tileElement(i));
    }
    attributes.insert(DockWire::applicationElement,
                      {{QStringLiteral("AXRole"), QStringLiteral("AXApplication")},
                       {QStringLiteral("AXTitle"), QStringLiteral("Dock")},
                       {QStringLiteral("AXChildren"), QVariant::fromValue(QList<AXUIElement>{listElement()})}});
    attributes.insert(DockWire::listElement,
                      {{QStringLiteral("AXRole"), QStringLiteral("AXList")},
                       {QStringLiteral("AXChildren"), QVariant::fromValue(children)},
                       {QStringLiteral("AXSelectedChildren"), QVariant::fromValue(QList<AXUIElement>{})}});
}

void FakeAccessibility::selectTile(int index, bool notify)
{
    QList<AXUIElement> selected;
    if (index >= 0 && index < m_tiles.size())
        selected.append(tileElement(index));
    attributes[DockWire::listElement].insert(QStringLiteral("AXSelectedChildren"), QVariant::fromValue(selected));
    if (notify)
        postNotification(listElement(), QStringLiteral("AXSelectedChildrenChanged"));
}

void FakeAccessibility::postNotification(const AXUIElement &element, const QString &notification)
{
    for (const QPointer<FakeAXObserver> &observer : QList(m_observers)) {
        if (observer && observer->isRegistered(element, notification))
            observer->deliver(element, notification);
    }
}

bool FakeAccessibility::isProcessTrustedWithPrompt()
{
    if (!trusted)
        ++promptCount;
    return trusted;
}

AXError FakeAccessibility::copyAttributeValue(const AXUIElement &element, const QString &attribute, QVariant *value)
{
    ++attributeReads;
    if (!trusted)
        return AXError::APIDisabled;
    if (!dockProcess || element.processIdentifier != *dockProcess || !attributes.contains(element.elementIdentifier))
        return AXError::InvalidUIElement;
    const QHash<QString, QVariant> &values = attributes[element.elementIdentifier];
    if (!values.contains(attribute))
        return AXError::AttributeUnsupported;
    if (value)
        *value = values.value(attribute);
    return AXError::Success;
}

AXError FakeAccessibility::copyElementAtPosition(const AXUIElement &application, const QPointF &point, AXUIElement *element)
{
    ++elementAtPositionRequests;
    if (!trusted)
        return AXError::APIDisabled;
    if (!dockProcess || application != applicationElement())
        return AXError::InvalidUIElement;
    for (int i = 0; i < m_tiles.size(); ++i) {
        if (m_tiles.at(i).frame.contains(point)) {
            if (element)
                *element = tileElement(i);
            return AXError::Success;
        }
    }
    return AXError::NoValue;
}

std::unique_ptr<AXObserver> FakeAccessibility::createObserver(qint64 processIdentifier)
{
    if (observersFail || !dockProcess || processIdentifier != *dockProcess)
        return nullptr;
    auto observer = std::make_unique<FakeAXObserver>(processIdentifier);
    m_observers.append(observer.get());
    return observer;
}

QList<FakeAXObserver *> FakeAccessibility::liveObservers() const
{
    QList<FakeAXObserver *> live;
    for (const QPointer<FakeAXObserver> &observer : m_observers) {
        if (observer)
            live.append(observer.data());
    }
    return live;
}

bool FakeAXObserver::isRegistered(const AXUIElement &element, const QString &notification) const
{
    return m_registrations.contains(qMakePair(element, notification));
}

AXError FakeAXObserver::addNotification(const AXUIElement &element, const QString &notification)
{
    if (element.processIdentifier != m_processIdentifier)
        return AXError::IllegalArgument;
    if (isRegistered(element, notification))
        return AXError::NotificationAlreadyRegistered;
    m_registrations.append(qMakePair(element, notification));
    return AXError::Success;
}

AXError FakeAXObserver::removeNotification(const AXUIElement &element, const QString &notification)
{
    return m_registrations.removeOne(qMakePair(element, notification)) ? AXError::Success
                                                                      : AXError::NotificationNotRegistered;
}

void FakeAXObserver::deliver(const AXUIElement &element, const QString &notification)
{
    emit notificationReceived(element, notification);
}
