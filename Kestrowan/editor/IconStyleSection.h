#pragma once

#include <QList>
#include <QWidget>

class IconChoiceButton;
class IconStyleChoice;
class QHBoxLayout;
class QScrollArea;
class ScrollCue;

// The editor's icon-style section: its title and a scrolling row of live previews of the group's own
// items, one per built-in style and one per installed skin. Previews follow the draft's items (and
// keep the old order while the items are reordered); the outline follows the draft's choice.
class IconStyleSection : public QWidget {
    Q_OBJECT
public:
    explicit IconStyleSection(IconStyleChoice *choice, QWidget *parent = nullptr);

    QList<IconChoiceButton *> buttons() const { return m_buttons; }
    // The sideways-scrolling row of previews.
    QScrollArea *scrollArea() const { return m_scroll; }
    // The signs at the row's ends that more previews lie beyond them.
    ScrollCue *trailingCue() const { return m_trailingCue; }
    ScrollCue *leadingCue() const { return m_leadingCue; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The distance from one preview to the next.
    int pitch() const;
    void fitRowToWholePreviews();
    void revealSelected();
    void rebuildButtons();
    void refreshSelection();
    void refreshApps();

    IconStyleChoice *m_choice;
    QHBoxLayout *m_row;
    QScrollArea *m_scroll = nullptr;
    QList<IconChoiceButton *> m_buttons;
    ScrollCue *m_trailingCue = nullptr;
    ScrollCue *m_leadingCue = nullptr;
};
