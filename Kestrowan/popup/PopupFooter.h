#pragma once

#include <QWidget>

class PopupContentModel;
class QAbstractButton;
class QLabel;

// The popup's bottom row: the launch-all button, the group's summon shortcut, and the key hints.
class PopupFooter : public QWidget {
    Q_OBJECT
public:
    PopupFooter(PopupContentModel &model, QWidget *parent = nullptr);

    QAbstractButton *launchAllButton() const { return m_launchAll; }
    QLabel *shortcutLabel() const { return m_shortcut; }
    // The keys of the navigation hint: four arrows in the grid, two in the list.
    QString navigationKeys() const;

private:
    QAbstractButton *m_launchAll;
    QLabel *m_shortcut = nullptr;
    QString m_navigationKeys;
};
