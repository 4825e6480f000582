#include "Platform/fake/FakeDockPlatform.h"

#include <QMarginsF>

FakeDockPlatform::FakeDockPlatform()
{
    auto ax = std::make_unique<FakeAccessibility>();
    accessibility = ax.get();
    Accessibility::install(std::move(ax));
    auto eventTaps = std::make_unique<FakeEventTaps>();
    taps = eventTaps.get();
    EventTaps::install(std::move(eventTaps));
    auto fakeScreens = std::make_unique<FakeScreens>();
    screens = fakeScreens.get();
    screens->list = {FakeScreens::make(QRectF(0, 0, 1440, 900), 900, 1, QMarginsF(0, 25, 0, 70))};
    Screens::install(std::move(fakeScreens));
    auto prefs = std::make_unique<FakeDockPreferences>();
    preferences = prefs.get();
    DockPreferences::install(std::move(prefs));
    setOrientation(QStringLiteral("bottom"));
}

FakeDockPlatform::~FakeDockPlatform()
{
    Accessibility::install(nullptr);
    EventTaps::install(nullptr);
    Screens::install(nullptr);
    DockPreferences::install(nullptr);
}

QRectF FakeDockPlatform::bottomTile(int index)
{
    return QRectF(100 + index * 60, 837, 56, 56);
}

void FakeDockPlatform::setOrientation(const QString &orientation, bool autohide)
{
    preferences->values.insert(QStringLiteral("orientation"), orientation);
    preferences->values.insert(QStringLiteral("autohide"), autohide);
}

void FakeDockPlatform::movePointer(const QPointF &quartzPoint)
{
    screens->mouse = QPointF(quartzPoint.x(), 900 - quartzPoint.y());
    CGEvent event;
    event.type = CGEventType::MouseMoved;
    event.location = quartzPoint;
    taps->deliver(event, CGEventTapLocation::HID);
}

bool FakeDockPlatform::button(CGEventType type, const QPointF &quartzPoint)
{
    const CGMouseButton button = type == CGEventType::RightMouseDown || type == CGEventType::RightMouseUp
        ? CGMouseButton::Right
        : CGMouseButton::Left;
    return taps->deliver(CGEvent::mouseEvent(type, quartzPoint, button), CGEventTapLocation::HID);
}
