#pragma once

#include "NVLXDesign/NVLXButton.h"

#include <QDialog>

class NVLXButton;
class QLabel;

// The one look of every "are you sure" question of the program: a window-modal sheet over its
// window with the title drawn inside it (so it reads the same with or without a window manager's
// title bar), the message below, and the two answers in reading order: "Cancel" first, then the
// destructive answer, filled in the danger colour, both the kit's buttons. Escape cancels. Return
// gives the answer that has the keyboard: the destructive one for a question about one group or one
// item (the question is what the user asked for), Cancel for a question whose answer nothing can
// undo for every group at once, whose destructive answer then takes a click or Tab and a key.
// It is drawn as the kit's raised surfaces are: a rounded panel in the raised surface colour with a
// hairline outline and a soft shadow, so that it stands off its window in either appearance.
// It deletes itself when closed.
class ConfirmationAlert : public QDialog {
    Q_OBJECT
public:
    // Which answer Return gives when the keyboard has not been moved.
    enum class ReturnGives { Confirm, Cancel };

    ConfirmationAlert(const QString &title, const QString &message, const QString &confirmTitle, QWidget *parent,
                      ReturnGives returnGives = ReturnGives::Confirm);

    // The title of the question whether to delete a group: it names the group (its display name,
    // the untitled text for a group without one).
    static QString deleteGroupTitle(const QString &groupName);

    QLabel *titleLabel() const { return m_title; }
    QLabel *messageLabel() const { return m_message; }
    NVLXButton *cancelButton() const { return m_cancel; }
    NVLXButton *confirmButton() const { return m_confirm; }
    // Whether the destructive answer closed the alert.
    bool wasConfirmed() const { return result() == QDialog::Accepted; }

    // The rounded panel inside the window; the rest of the window holds the panel's shadow.
    QRectF panelRect() const;
    static constexpr qreal cornerRadius = 14;
    // Room around the panel for its shadow.
    static constexpr int shadowMargin = 24;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

signals:
    // The destructive answer was given; emitted before the alert closes.
    void confirmed();

private:
    QLabel *m_title = nullptr;
    QLabel *m_message = nullptr;
    NVLXButton *m_cancel = nullptr;
    NVLXButton *m_confirm = nullptr;
    ReturnGives m_returnGives = ReturnGives::Confirm;
};
