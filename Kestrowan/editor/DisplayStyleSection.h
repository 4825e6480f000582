#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

class DisplayStyleChoice;
class TokenLabel;

// One segment of the display-style control: the style's symbol and title, raised on a card while
// selected, greyed while it cannot be chosen.
class DisplayStyleSegment : public QAbstractButton {
    Q_OBJECT
public:
    DisplayStyleSegment(AppGroup::DisplayStyle style, QWidget *parent = nullptr);

    AppGroup::DisplayStyle style() const { return m_style; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    // The colour the title and symbol are drawn in now.
    QColor foreground() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    AppGroup::DisplayStyle m_style;
    bool m_selected = false;
};

// The editor's display-style section: its title, the three-segment control and, while the group's
// Dock tile is intercepted, the hint why the fan cannot be chosen.
class DisplayStyleSection : public QWidget {
    Q_OBJECT
public:
    explicit DisplayStyleSection(DisplayStyleChoice *choice, QWidget *parent = nullptr);

    QList<DisplayStyleSegment *> segments() const { return m_segments; }
    TokenLabel *hint() const { return m_hint; }

private:
    void refresh();

    DisplayStyleChoice *m_choice;
    QList<DisplayStyleSegment *> m_segments;
    TokenLabel *m_hint;
};
