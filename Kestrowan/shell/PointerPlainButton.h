#pragma once

#include "NVLXDesign/NVLXButton.h"

// The application's plain button: its content at full opacity, at 0.85 while pressed, with the
// application's pointing hand on hover. Put any widget in with setContent, or subclass and paint.
class PointerPlainButton : public PlainContentButton {
    Q_OBJECT
public:
    explicit PointerPlainButton(QWidget *parent = nullptr);
};
