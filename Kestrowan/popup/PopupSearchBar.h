#pragma once

#include <QWidget>

class PopupContentModel;
class QAbstractButton;

// The search row: the magnifying glass, then the placeholder or what the user typed with a clear
// button. It only shows the text, which the keyboard types; a click makes the search active.
class PopupSearchBar : public QWidget {
    Q_OBJECT
public:
    PopupSearchBar(PopupContentModel &model, QWidget *parent = nullptr);

    // What the row reads now: the search text, or the active or idle placeholder.
    QString shownText() const;
    QAbstractButton *clearButton() const { return m_clear; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeClearButton();

    PopupContentModel &m_model;
    QAbstractButton *m_clear;
};
