#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The identifier a program gives one of its global hot keys: its own four-letter signature and a
// number of its choosing.
struct EventHotKeyID {
    quint32 signature = 0;
    quint32 id = 0;
    friend bool operator==(const EventHotKeyID &, const EventHotKeyID &) = default;
};

// One press of a registered hot key, as the event system hands it over. The identifier is read out
// of the event and may be missing when the event cannot be read.
struct HotKeyEvent {
    std::optional<EventHotKeyID> hotKeyID;
};

// The platform's hot-key modifier bits (not the modifier-flag bits of key events).
namespace HotKeyModifier {
inline constexpr quint32 command = 0x0100;
inline constexpr quint32 shift = 0x0200;
inline constexpr quint32 option = 0x0800;
inline constexpr quint32 control = 0x1000;
} // namespace HotKeyModifier

// Global hot keys: combinations that reach this program whichever program has the keyboard.
// Key codes are the platform's virtual key codes. Presses come on the main thread, one per press of
// the combination (no releases, no repeats while it is held).
class HotKeys {
public:
    using Handler = std::function<void(const HotKeyEvent &)>;

    virtual ~HotKeys() = default;

    static HotKeys &shared();
    // Replaces the process-wide hot keys; nullptr goes back to this machine's.
    static void install(std::unique_ptr<HotKeys> hotKeys);

    // A handle for the registration, or nullopt when the combination cannot be had (another program
    // holds it, or no key of this keyboard makes it); `failure` then says why.
    virtual std::optional<quint64> registerHotKey(quint16 keyCode, quint32 modifiers, EventHotKeyID id,
                                                  QString *failure = nullptr) = 0;
    virtual void unregisterHotKey(quint64 handle) = 0;

    // Every press of every registered hot key goes to every installed handler.
    virtual quint64 installHandler(Handler handler) = 0;
    virtual void removeHandler(quint64 handle) = 0;
};
