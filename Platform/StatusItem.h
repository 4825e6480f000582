#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>

class QMenu;

// The program's item in the menu bar: a small picture that opens a menu when clicked.
class StatusItem {
public:
    using Factory = std::function<std::unique_ptr<StatusItem>()>;

    virtual ~StatusItem() = default;

    // A new item on this machine's menu bar (or what the installed factory makes).
    static std::unique_ptr<StatusItem> make();
    // nullptr goes back to this machine's.
    static void installFactory(Factory factory);

    // A template picture: only its alpha counts; the bar tints it to suit its own background.
    virtual void setTemplateImage(const QImage &image) = 0;
    virtual void setToolTip(const QString &text) = 0;
    // The item does not own the menu; the caller keeps it alive while it is set.
    virtual void setMenu(QMenu *menu) = 0;
    virtual QMenu *menu() const = 0;
};
