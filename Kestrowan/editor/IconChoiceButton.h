#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/icons/SkinDefinition.h"
#include "Kestrowan/shell/PointerPlainButton.h"

#include <optional>

class IconStylePreview;
class SkinManager;
class TokenLabel;

// One choice of the icon-style row: the group's items drawn in that style (or skin) at 80 points,
// outlined in the accent when selected, with its title under it.
class IconChoiceButton : public PointerPlainButton {
    Q_OBJECT
public:
    static constexpr qreal width = 88;
    static constexpr qreal previewSide = 80;

    IconChoiceButton(const QList<AppItem> &apps, AppGroup::IconStyle style, const std::optional<SkinDefinition> &skin,
                     SkinManager *skinManager, const QString &title, QWidget *parent = nullptr);

    IconStylePreview *preview() const { return m_preview; }
    void setApps(const QList<AppItem> &apps);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    QString title() const { return m_title; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    class Outline;
    void updateTitle();

    IconStylePreview *m_preview;
    QWidget *m_outline;
    TokenLabel *m_titleLabel;
    QString m_title;
    bool m_selected = false;
};
