#pragma once

#include <QObject>
#include <QString>

// The four named notifications through which the popup's parts, and the hover service, hear of
// each other. One center for the process; everything is posted and delivered on the main thread.
class PopupNotifications : public QObject {
    Q_OBJECT
public:
    static PopupNotifications &center();

    void postMouseExited() { emit popupMouseExited(); }
    void postKeyDown(quint16 keyCode, quint64 modifiers, const QString &characters)
    {
        emit popupKeyDown(keyCode, modifiers, characters);
    }
    void postTextFieldEditingStarted() { emit popupTextFieldEditingStarted(); }
    void postTextFieldEditingEnded() { emit popupTextFieldEditingEnded(); }

signals:
    // "PopupMouseExited": the pointer left the popup's content.
    void popupMouseExited();
    // "PopupKeyDown": a key other than Escape; the virtual key code, the modifier flags unmasked and
    // the characters the key typed ignoring modifiers ("" when none).
    void popupKeyDown(quint16 keyCode, quint64 modifiers, const QString &characters);
    // "PopupTextFieldEditingStarted" / "PopupTextFieldEditingEnded": the group-name field.
    void popupTextFieldEditingStarted();
    void popupTextFieldEditingEnded();

private:
    PopupNotifications() = default;
};
