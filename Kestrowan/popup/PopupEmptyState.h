#pragma once

#include <QWidget>

// What stands where the items would: the empty-group view (a box, a title and a line of help), or,
// during a search that matches nothing, the no-results line.
class PopupEmptyState : public QWidget {
    Q_OBJECT
public:
    enum class Kind { EmptyGroup, NoResults };

    PopupEmptyState(Kind kind, qreal textScale, QWidget *parent = nullptr);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};
