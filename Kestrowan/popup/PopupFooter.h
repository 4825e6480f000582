#pragma once

#include <QWidget>

class PopupContentModel;
class QAbstractButton;
class QHBoxLayout;
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
    // Whether the summon hint has a line of its own under the buttons (no room beside them).
    bool hintHasOwnLine() const { return m_hintOnOwnLine; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QHBoxLayout *m_row = nullptr;
    QHBoxLayout *m_keyHints = nullptr;
    int m_hintMinimum = 0;
    bool m_hintOnOwnLine = false;
    QAbstractButton *m_launchAll;
    QLabel *m_shortcut = nullptr;
    QString m_navigationKeys;
};
