#pragma once

#include <QListWidget>

class QScrollBar;

// The kit's list: rows on the surface behind it, a rounded highlight in the accent's subtle fill
// under the current row and the hover fill under the pointer, text in the kit's colours, and a
// slim scroll thumb without arrow buttons or track. No focus frame or platform highlight shows.
// With the property "keepsPictureColumn" set, rows without a picture are indented as if they had one.
class NVLXList : public QListWidget {
    Q_OBJECT
public:
    explicit NVLXList(QWidget *parent = nullptr);

    static constexpr qreal rowRadius = 6;
    // A slim grey thumb on no track, without arrow buttons: it tells that a list scrolls and where
    // it is, without taking room from the rows. Neutral grey reads on both appearances.
    static void makeSlim(QScrollBar *bar);

protected:
    void changeEvent(QEvent *event) override;
};
