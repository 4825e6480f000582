#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QSet>
#include <QPixmap>
#include <QTimer>

#include <functional>

// The installed-applications picker's rows, drawn as they scroll into view so that hundreds of
// applications cost nothing until they are seen. Each row is a button; its check mark follows
// `isSelected`. While `scanning` the list shows only the scanning row.
class AppPickerList final : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int rowHeight = 48;
    static constexpr int rowSpacing = 6;
    static constexpr int horizontalInset = 10;
    static constexpr int verticalInset = 8;

    explicit AppPickerList(std::function<bool(const QString &bundleIdentifier)> isSelected, QWidget *parent = nullptr);

    void setRows(const QList<AppItem> &rows);
    const QList<AppItem> &rows() const { return m_rows; }
    void setScanning(bool scanning);
    // The row's rectangle in the viewport, for clicks and tests.
    QRect rowRect(int index) const;
    // The row the keys act on (-1: none); it is ringed while the list has the keyboard.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int index);

signals:
    void rowToggled(const AppItem &entry);
    // Text typed while the list has the keyboard belongs to the search field; Backspace too.
    void typedForSearch(QKeyEvent *event);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    int rowAt(const QPoint &point) const;
    void updateScrollRange();
    void paintMessage(QPainter &painter, const QString &text, bool spinner);
    QPixmap icon(const AppItem &entry);

    std::function<bool(const QString &)> m_isSelected;
    QList<AppItem> m_rows;
    bool m_scanning = false;
    int m_pressedRow = -1;
    int m_currentRow = -1;
    int m_spinnerStep = 0;
    QTimer m_spinner;
    QHash<QString, QPixmap> m_icons;
    // Rows whose kept icon is the stand-in drawn while their own is decoded.
    QSet<QString> m_pendingIcons;
};
