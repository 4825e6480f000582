#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/icons/PictureView.h"
#include "Kestrowan/icons/SkinDefinition.h"

#include <QPointer>
#include <QSet>
#include <optional>

class SkinManager;

// Sides the windows show group icons at (points).
namespace GroupIconFrame {
inline constexpr qreal cardSide = 48;
inline constexpr qreal editorChoiceSide = 80;
// The corner radius of the rounded square a group icon is clipped to, for a displayed side.
inline constexpr qreal cornerRadius(qreal side) { return 0.24 * side; }
} // namespace GroupIconFrame

// A composed group icon scaled to a square of `side` points and clipped to a rounded square of radius
// 0.24 x side. The icon is composed again whenever what it is drawn from changes; a view keeps
// the last composition until then.
class GroupIconView : public PictureView {
    Q_OBJECT
public:
    explicit GroupIconView(qreal side, QWidget *parent = nullptr);

    qreal side() const { return m_side; }
    void setSide(qreal side);
    // The icon composed now at its canvas size (512 points, or a skin's canvas).
    QImage composedIcon();
    // Compositions made so far (each change of what the icon is drawn from makes one).
    int compositionCount() const { return m_compositions; }
    // Composes only once the view has been drawn without its icon (or with the one it showed
    // before a change), on a later turn of the event loop: a window of many icons is on screen
    // before the first is composed, and views never drawn compose nothing.
    void setComposesLater(bool later) { m_composesLater = later; }
    // Whether the icon for the view's current inputs is composed.
    bool isComposed() const { return m_icon.has_value(); }

    QSize sizeHint() const override;

protected:
    // The icon composed from the view's inputs.
    virtual QImage compose() const = 0;
    // The items the icon is drawn from.
    virtual QList<AppItem> drawnItems() const = 0;
    // The files of the pictures the icon is made of that are still being decoded, which an icon
    // drawn now shows stand-ins for (asking starts the decoding).
    virtual QStringList pendingPictures() const = 0;
    // Subclasses call this when an input of compose() changed.
    void inputsChanged();
    QImage picture() override;
    Scaling scaling() const override { return Scaling::Fit; }

private:
    // The icon kept at the size it is drawn (a canvas-sized composition is a megabyte, shown in a
    // few thousand pixels), composed again when the frame or its pixel ratio changes.
    QImage keptIcon();

    qreal m_side;
    std::optional<QImage> m_icon;
    QSize m_iconFrame;
    qreal m_iconRatio = 0;
    // What a view that composes later shows until its icon is composed.
    QImage m_previous;
    bool m_composesLater = false;
    bool m_compositionQueued = false;
    int m_compositions = 0;
    // What the kept icon shows stand-ins for: it is drawn again when one of them arrives.
    QSet<QString> m_standIns;
};

// A stored group's icon: its items, its icon style, and its skin when the style is skin and the
// skin is installed (looked up in the skin manager, and again when the installed skins change).
class ComposedGroupIconView : public GroupIconView {
    Q_OBJECT
public:
    ComposedGroupIconView(const AppGroup &group, qreal side, SkinManager *skinManager, QWidget *parent = nullptr);

    AppGroup group() const { return m_group; }
    void setGroup(const AppGroup &group);

    // The skin the group's icon is drawn with, or nothing.
    std::optional<SkinDefinition> chosenSkin() const;

protected:
    QImage compose() const override;
    QList<AppItem> drawnItems() const override;
    QStringList pendingPictures() const override;

private:
    AppGroup m_group;
    QPointer<SkinManager> m_skinManager;
};

// The icon a list of items would get in a style (and skin), without a group: the editor's choices.
class IconStylePreview : public GroupIconView {
    Q_OBJECT
public:
    IconStylePreview(const QList<AppItem> &apps, AppGroup::IconStyle style, qreal side,
                     const std::optional<SkinDefinition> &skin = std::nullopt, SkinManager *skinManager = nullptr,
                     QWidget *parent = nullptr);

    void setApps(const QList<AppItem> &apps);
    QList<AppItem> apps() const { return m_apps; }
    AppGroup::IconStyle style() const { return m_style; }
    std::optional<SkinDefinition> skin() const { return m_skin; }

protected:
    QImage compose() const override;
    QList<AppItem> drawnItems() const override;
    QStringList pendingPictures() const override;

private:
    QList<AppItem> m_apps;
    AppGroup::IconStyle m_style;
    std::optional<SkinDefinition> m_skin;
    QPointer<SkinManager> m_skinManager;
};
