#pragma once

#include "Kestrowan/editor/ShortcutRecorder.h"

#include <QPointer>
#include <QWidget>

class EditorPillButton;
class TokenLabel;

// The chip that shows a group's shortcut: its keys, "—" when it has none, or a prompt while one is
// being recorded.
class ShortcutChip : public QWidget {
    Q_OBJECT
public:
    enum class State { Recording, Shortcut, None };

    explicit ShortcutChip(QWidget *parent = nullptr);
    void display(State state, const QString &text);
    State state() const { return m_state; }
    QString text() const { return m_text; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont currentFont() const;

    State m_state = State::None;
    QString m_text;
};

// The editor's shortcut section: the title, the chip, the record and reset buttons, and the lines
// that explain a refusal (taken by another group, Shift alone) or why recording must wait.
class ShortcutSection : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutSection(ShortcutRecorder *recorder, QWidget *parent = nullptr);

    ShortcutChip *chip() const { return m_chip; }
    EditorPillButton *recordButton() const { return m_record; }
    EditorPillButton *resetButton() const { return m_reset; }
    TokenLabel *conflictLine() const { return m_conflict; }
    TokenLabel *modifierLine() const { return m_needsModifier; }
    TokenLabel *saveFirstLine() const { return m_saveFirst; }

signals:
    // A line that explains a refusal has just come up: the page scrolls it into view.
    void lineShown(QWidget *line);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void refresh();

    QPointer<ShortcutRecorder> m_recorder;
    ShortcutChip *m_chip;
    EditorPillButton *m_record;
    EditorPillButton *m_reset;
    TokenLabel *m_conflict;
    TokenLabel *m_needsModifier;
    TokenLabel *m_saveFirst;
};
