#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QWidget>

// The menu bar of this stand-in: a thin strip along the top of the screen that owns the X11 system
// tray selection and shows the tray icons that programs dock into it (the XEmbed tray protocol), so
// that a program's status item is visible and clickable where the display has no tray of its own.
class TrayStrip final : public QWidget, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    static constexpr int height = 24;
    static constexpr int iconSize = 22;
    static constexpr int spacing = 6;

    TrayStrip();
    ~TrayStrip() override;

    // Shows the strip and takes the tray selection. False (and nothing shown) when another tray
    // already owns it or there is no X11 display.
    bool start(const QRect &screen);
    // The docked icon windows, left to right.
    QList<quint32> icons() const { return m_icons; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void dock(quint32 icon);
    void forget(quint32 icon);
    void layoutIcons();

    QList<quint32> m_icons;
    quint32 m_selection = 0;
    quint32 m_opcode = 0;
    quint32 m_xembed = 0;
    bool m_owner = false;
};
