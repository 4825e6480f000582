#pragma once

#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/DynamicColor.h"

#include <optional>

// A symbol-and-text button of the editor's item area, drawn from a look: the add buttons (filled
// or outlined, compact or large), and the Done and Cancel buttons of the reorder mode.
class EditorActionButton : public PointerPlainButton {
    Q_OBJECT
public:
    struct Look {
        qreal fontSize = 11;
        QFont::Weight textWeight = QFont::Medium;
        qreal symbolSize = 11;
        QFont::Weight symbolWeight = QFont::Medium;
        qreal spacing = 4;
        qreal horizontalPadding = 8;
        qreal verticalPadding = 5;
        qreal radius = 6;
        DynamicColor foreground = DynamicColor::fixed(0xFFFFFF);
        std::optional<DynamicColor> fill;
        std::optional<DynamicColor> stroke;
        std::optional<DynamicColor> shadow;
        qreal shadowRadius = 4;

        // The blue and orange capsules of the add row, and their large forms in the empty state.
        static Look filled(const DynamicColor &fill, const DynamicColor &shadow, bool large);
        // The outlined add buttons (files, folders).
        static Look outlined(bool large);
        static Look done();
        static Look cancel();
    };

    EditorActionButton(const QString &symbol, const QString &text, const Look &look, QWidget *parent = nullptr);

    QString symbolName() const { return m_symbol; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont textFont() const;
    QSizeF symbolSize() const;

    QString m_symbol;
    Look m_look;
};
