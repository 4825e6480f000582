#pragma once

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/DynamicColor.h"

#include <optional>

// A borderless button of the first run: an optional symbol, then a text, in one colour token.
// With an outline it becomes the dashed-free "add" row: centred in its width on a clear fill.
class TextButton final : public PointerPlainButton {
    Q_OBJECT
public:
    struct Look {
        QString symbol;
        qreal symbolPoints = 13;
        SymbolImage::Weight symbolWeight = SymbolImage::Weight::Regular;
        qreal titlePoints = 13;
        QFont::Weight titleWeight = QFont::Normal;
        qreal spacing = 4;
        DynamicColor color = DynamicColor::fixed(0);
        qreal colorOpacity = 1.0;
        // An outlined row that fills its width, padded this much.
        std::optional<DynamicColor> outline;
        qreal padding = 0;
    };
    TextButton(const QString &title, const Look &look, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    Look m_look;
};
