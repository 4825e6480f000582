#pragma once

#include "NVLXDesign/DividerLine.h"

// The application's one-point rule, filled with AppColors::divider.
class DSDivider : public DividerLine {
    Q_OBJECT
public:
    explicit DSDivider(QWidget *parent = nullptr);
};
