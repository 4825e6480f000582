#pragma once

#include "Kestrowan/popup/PopupPresenter.h"
#include "Platform/fake/FakeScreens.h"

#include <QList>

// A popup that only records: it "shows" at a fixed frame, and the pointer is inside it when the
// fake screens' pointer is.
class FakePopupPresenter final : public PopupPresenter {
public:
    struct Shown {
        QUuid group;
        QRectF anchor;
    };

    explicit FakePopupPresenter(const FakeScreens *screens)
        : m_screens(screens)
    {
    }

    QList<Shown> shown;
    int dismissCount = 0;
    mutable int insideQueries = 0;
    std::function<void(const QUuid &)> onEdit;
    QRectF panel{600, 200, 300, 240};
    ShortcutStateStore *store = nullptr;
    KeyboardShortcutService *shortcuts = nullptr;

    void showPopup(const AppGroup &group, std::function<void(const QUuid &)> edit, const QRectF &anchor) override
    {
        shown.append({group.id, anchor});
        onEdit = std::move(edit);
        m_showing = true;
    }
    void dismissPopup() override
    {
        ++dismissCount;
        m_showing = false;
    }
    bool isShowing() const override { return m_showing; }
    bool isMouseInsidePopup(const QPointF &point) const override
    {
        ++insideQueries;
        return m_showing && panel.contains(point);
    }
    QRectF frame() const override { return m_showing ? panel : QRectF(); }
    void setShortcutStateStore(ShortcutStateStore *s) override { store = s; }
    void setKeyboardShortcutService(KeyboardShortcutService *s) override { shortcuts = s; }

    // The pointer into or out of the panel.
    QPointF inside() const { return panel.center(); }

private:
    const FakeScreens *m_screens;
    bool m_showing = false;
};
