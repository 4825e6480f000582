#pragma once

#include "Kestrowan/shell/SymbolImage.h"
#include "NVLXDesign/DynamicColor.h"

#include <QWidget>

#include <optional>

// A square badge (rounded or round) with one symbol on it and an optional soft shadow.
class SymbolBadge final : public QWidget {
    Q_OBJECT
public:
    struct Look {
        qreal side = 56;
        // Negative: a circle.
        qreal corner = 14;
        DynamicColor fill = DynamicColor::fixed(0);
        qreal fillOpacity = 1.0;
        QString symbol;
        qreal symbolPoints = 26;
        SymbolImage::Weight weight = SymbolImage::Weight::Medium;
        DynamicColor symbolColor = DynamicColor::fixed(0xFFFFFF);
        std::optional<DynamicColor> shadow;
        qreal shadowOpacity = 1.0;
        qreal shadowRadius = 10;
        qreal shadowOffset = 3;
    };
    explicit SymbolBadge(const Look &look, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Look m_look;
};
