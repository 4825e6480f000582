#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

// The name of the tile under the pointer, beside the bar.
class TileLabel : public QWidget {
    Q_OBJECT
public:
    TileLabel();

    void showFor(const QString &text, const QRect &tile, const QString &orientation);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};
