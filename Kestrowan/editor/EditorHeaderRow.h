#pragma once

#include <QWidget>

class PointerPlainButton;

// The editor's fixed top row: the way back to the group list at the leading end and the delete
// button at the trailing end (disabled for a draft that was never stored).
class EditorHeaderRow : public QWidget {
    Q_OBJECT
public:
    explicit EditorHeaderRow(QWidget *parent = nullptr);

    PointerPlainButton *backButton() const { return m_back; }
    PointerPlainButton *deleteButton() const { return m_delete; }

signals:
    void backClicked();
    void deleteClicked();

private:
    PointerPlainButton *m_back;
    PointerPlainButton *m_delete;
};
