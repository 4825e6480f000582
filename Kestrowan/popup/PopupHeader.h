#pragma once

#include "Kestrowan/shell/TokenLabel.h"

#include <QWidget>

class PopupContentModel;
class PopupTopIconButton;
class QAbstractButton;
class QLabel;
class QLineEdit;

// The popup's top row: the group's title (a double click renames it in place), the edit button and
// the close button.
class PopupHeader : public QWidget {
    Q_OBJECT
public:
    PopupHeader(PopupContentModel &model, QWidget *parent = nullptr);

    QLabel *title() const { return m_title; }
    // Made when a rename first begins; null before.
    QLineEdit *renameField() const { return m_field; }
    QAbstractButton *editButton() const { return m_edit; }
    PopupTopIconButton *closeButton() const { return m_close; }
    void stopListening();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateFromModel();
    void updateTitleText();
    void updateTexts();
    // The field with its look sheet costs more than the rest of the header: it is made only for a
    // rename, which most shows never see.
    QLineEdit *makeRenameField();

    PopupContentModel &m_model;
    TokenLabel *m_title;
    QLineEdit *m_field = nullptr;
    QAbstractButton *m_edit;
    PopupTopIconButton *m_close;
    QMetaObject::Connection m_editingEnded;
};
