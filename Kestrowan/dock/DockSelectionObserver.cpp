#include "Kestrowan/dock/DockSelectionObserver.h"

#include "Kestrowan/dock/DockPositionResolver.h"

#include <QPointer>

namespace {

const QString selectionChangedNotification = QStringLiteral("AXSelectedChildrenChanged");

std::optional<AXUIElement> findDockList(Accessibility &accessibility, const AXUIElement &application)
{
    QVariant children;
    if (accessibility.copyAttributeValue(application, QStringLiteral("AXChildren"), &children) != AXError::Success
        || children.typeId() != qMetaTypeId<QList<AXUIElement>>())
        return std::nullopt;
    for (const AXUIElement &child : children.value<QList<AXUIElement>>()) {
        QVariant role;
        if (accessibility.copyAttributeValue(child, QStringLiteral("AXRole"), &role) == AXError::Success
            && role.typeId() == QMetaType::QString && role.toString() == QLatin1String("AXList"))
            return child;
    }
    return std::nullopt;
}

} // namespace

DockSelectionObserver::DockSelectionObserver(QObject *parent)
    : QObject(parent)
{
    m_pollTimer.setInterval(pollIntervalMilliseconds);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { refreshSelection(false); });
}

DockSelectionObserver::~DockSelectionObserver()
{
    stopObservingDockSelection();
}

QString DockSelectionObserver::selectionSignature(const std::optional<DockItemInfo> &item)
{
    if (!item)
        return QStringLiteral("nil");
    const QString path = item->url ? standardizedFilePath(*item->url) : QStringLiteral("-");
    return item->title + u'|' + path + u'|' + truncatedFrameText(item->frame);
}

void DockSelectionObserver::startObservingDockSelection(const QSet<QString> &)
{
    stopObservingDockSelection();
    Accessibility &accessibility = Accessibility::shared();
    if (!accessibility.isProcessTrusted())
        return;
    const std::optional<qint64> pid = DockPositionResolver::dockProcessID();
    if (!pid)
        return;
    const std::optional<AXUIElement> list = findDockList(accessibility, accessibility.createApplication(*pid));
    if (!list)
        return;
    std::unique_ptr<AXObserver> observer = accessibility.createObserver(*pid);
    if (!observer)
        return;
    if (observer->addNotification(*list, selectionChangedNotification) != AXError::Success)
        return;
    connect(observer.get(), &AXObserver::notificationReceived, this, &DockSelectionObserver::notificationArrived,
            Qt::QueuedConnection);
    m_observer = std::move(observer);
    m_dockListElement = list;
    refreshSelection(true);
    m_pollTimer.start();
}

void DockSelectionObserver::stopObservingDockSelection()
{
    m_pollTimer.stop();
    m_lastSignature.reset();
    currentSelectionItem.reset();
    if (m_observer && m_dockListElement)
        m_observer->removeNotification(*m_dockListElement, selectionChangedNotification);
    m_observer.reset();
    m_dockListElement.reset();
}

void DockSelectionObserver::notificationArrived()
{
    refreshSelection(false);
}

std::optional<DockItemInfo> DockSelectionObserver::readSelectedDockItem() const
{
    QVariant selected;
    if (Accessibility::shared().copyAttributeValue(*m_dockListElement, QStringLiteral("AXSelectedChildren"), &selected)
            != AXError::Success
        || selected.typeId() != qMetaTypeId<QList<AXUIElement>>())
        return std::nullopt;
    const QList<AXUIElement> elements = selected.value<QList<AXUIElement>>();
    if (elements.isEmpty())
        return std::nullopt;
    return DockPositionResolver::makeDockItemInfo(elements.first());
}

void DockSelectionObserver::refreshSelection(bool force)
{
    if (!m_dockListElement)
        return;
    const std::optional<DockItemInfo> item = readSelectedDockItem();
    currentSelectionItem = item;
    const QString signature = selectionSignature(item);
    if (!force && m_lastSignature == signature)
        return;
    m_lastSignature = signature;
    if (onSelectionChanged)
        onSelectionChanged(item);
}
