#pragma once

#include "Kestrowan/dock/PopupPresenter.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/fake/FakeScreens.h"

#include <QElapsedTimer>
#include <QList>

// A popup that only records: it "shows" at a fixed frame. Like the program's popup it counts the
// pointer as inside anywhere for its first half second after a show, then within a margin around
// the panel.
class FakePopupPresenter final : public PopupPresenter {
public:
    struct Shown {
        QUuid group;
        QRectF anchor;
    };

    // The screens the panel would be placed on; this fake places it at a fixed frame.
    explicit FakePopupPresenter([[maybe_unused]] const FakeScreens *screens)
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
        m_shownFor.start();
        m_graceSkipped = 0;
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
        if (!m_showing)
            return false;
        if (showGraceRemaining() > 0)
            return true;
        const qreal margin = PopupWindowController::insideMargin;
        return panel.adjusted(-margin, -margin, margin, margin).contains(point);
    }
    int showGraceRemaining() const override
    {
        if (!m_showing)
            return 0;
        return int(std::max<qint64>(0, PopupWindowController::showGraceMilliseconds - m_graceSkipped - m_shownFor.elapsed()));
    }
    // The first half second after the show, over at once.
    void endShowGrace() { m_graceSkipped = PopupWindowController::showGraceMilliseconds; }
    QRectF frame() const override { return m_showing ? panel : QRectF(); }
    void setShortcutStateStore(ShortcutStateStore *s) override { store = s; }
    void setKeyboardShortcutService(KeyboardShortcutService *s) override { shortcuts = s; }

    // The pointer into or out of the panel.
    QPointF inside() const { return panel.center(); }
    // Beside the panel, within its margin.
    QPointF besidePanel() const { return QPointF(panel.left() - PopupWindowController::insideMargin / 2, panel.center().y()); }

private:
    bool m_showing = false;
    QElapsedTimer m_shownFor;
    qint64 m_graceSkipped = 0;
};
