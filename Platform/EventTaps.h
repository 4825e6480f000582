#pragma once

#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QPointF>

#include <functional>
#include <memory>

// Pointer event types of the platform's event stream (the values are the platform's own).
enum class CGEventType : quint32 {
    Null = 0,
    LeftMouseDown = 1,
    LeftMouseUp = 2,
    RightMouseDown = 3,
    RightMouseUp = 4,
    MouseMoved = 5,
    LeftMouseDragged = 6,
    RightMouseDragged = 7,
    ScrollWheel = 22,
    OtherMouseDown = 25,
    OtherMouseUp = 26,
    OtherMouseDragged = 27,
    Gesture = 29,
    // Delivered to a tap's callback when the system has switched the tap off.
    TapDisabledByTimeout = 0xFFFFFFFE,
    TapDisabledByUserInput = 0xFFFFFFFF,
};

// The bit of an event mask that selects one event type.
constexpr quint64 eventMaskBit(CGEventType type)
{
    return static_cast<quint32>(type) < 64 ? (quint64(1) << static_cast<quint32>(type)) : 0;
}

enum class CGEventTapLocation { HID, Session, AnnotatedSession };
enum class CGEventTapPlacement { HeadInsert, TailAppend };
enum class CGEventTapOptions { Default, ListenOnly };
enum class CGMouseButton : int { Left = 0, Right = 1, Center = 2 };

// Integer fields of an event that the program reads or writes.
enum class CGEventField : int {
    MouseEventButtonNumber = 3,
    ScrollWheelEventDeltaAxis1 = 11,
    ScrollWheelEventDeltaAxis2 = 12,
    EventSourceUserData = 42,
};

// One pointer event. `location` is in the global space whose origin is the top-left corner of the
// primary display, y growing downward.
struct CGEvent {
    CGEventType type = CGEventType::Null;
    QPointF location;
    QMap<int, qint64> integerFields;

    qint64 integerValueField(CGEventField field) const { return integerFields.value(static_cast<int>(field), 0); }
    void setIntegerValueField(CGEventField field, qint64 value) { integerFields.insert(static_cast<int>(field), value); }

    static CGEvent mouseEvent(CGEventType type, const QPointF &location, CGMouseButton button)
    {
        CGEvent event;
        event.type = type;
        event.location = location;
        event.setIntegerValueField(CGEventField::MouseEventButtonNumber, static_cast<int>(button));
        return event;
    }
};

Q_DECLARE_METATYPE(CGEvent)
Q_DECLARE_METATYPE(CGEventTapLocation)

enum class EventTapVerdict { Pass, Drop };

// Called on the thread that created the tap, for every event of the tap's mask and for the
// notifications that the tap was disabled. A listen-only tap's verdict is ignored.
using EventTapCallback = std::function<EventTapVerdict(CGEventType type, const CGEvent &event)>;

// One installed tap; destroying it removes the tap.
class EventTap : public QObject {
    Q_OBJECT
public:
    ~EventTap() override = default;

    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // Whether the window server holds the tap yet: asked for on the event loop's thread, it holds it
    // only once its answer came back, and events before that never meet the tap.
    virtual bool isHeld() const { return isEnabled(); }
    // Takes the tap out for good, before it is destroyed: the program takes no more of these
    // events, and the stream waits for no other tap of it in its place. A tap destroyed without
    // this may be one being replaced.
    virtual void withdraw() {}

protected:
    using QObject::QObject;
};

// The window server's event taps for the pointer, and posting synthetic events into its stream.
class EventTaps {
public:
    virtual ~EventTaps() = default;

    static EventTaps &shared();
    // Replaces the process-wide interface; nullptr goes back to this machine's.
    static void install(std::unique_ptr<EventTaps> taps);

    // An enabled tap, or nullptr when the system refuses one (for example without Accessibility
    // access). `eventsOfInterest` is a mask of eventMaskBit values.
    virtual std::unique_ptr<EventTap> createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                                                CGEventTapOptions options, quint64 eventsOfInterest,
                                                EventTapCallback callback) = 0;

    // Puts a synthetic event into the stream at `location`; it passes the taps there and after it,
    // and is then handled as a real one. Nothing waits for it to be handled.
    virtual void postEvent(CGEventTapLocation location, const CGEvent &event) = 0;
};
