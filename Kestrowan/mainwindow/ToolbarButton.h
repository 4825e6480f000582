#pragma once

#include "Kestrowan/shell/PointerPlainButton.h"

#include "NVLXDesign/DynamicColor.h"

// The bottom bar's buttons: a symbol and a short text on the toolbar button surface, prominent or
// not, stronger while the pointer is over it.
class ToolbarButton final : public PointerPlainButton {
    Q_OBJECT
public:
    ToolbarButton(bool prominent, QWidget *parent = nullptr);

    void setContent(const QString &symbol, const QString &text, const DynamicColor &color);
    QString symbolName() const { return m_symbol; }
    QString text() const { return m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    bool m_prominent;
    QString m_symbol;
    QString m_text;
    DynamicColor m_color = DynamicColor::fixed(0);
};
