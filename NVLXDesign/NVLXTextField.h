#pragma once

#include <QLineEdit>

// The kit's text field: the text inset 10 points from the sides and 6 from the top and bottom, on
// a rounded input fill with a hairline outline; while it has the keyboard focus the outline is
// the accent's focus colour, never the platform's blue ring. Text and placeholder take the kit's
// text colours and follow the appearance.
class NVLXTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit NVLXTextField(QWidget *parent = nullptr);

    static constexpr int horizontalInset = 10;
    static constexpr int verticalInset = 6;
    static constexpr qreal cornerRadius = 8;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyColors();
    bool m_applying = false;
};
