#include "Kestrowan/shell/DSDivider.h"

#include "Kestrowan/shell/AppColors.h"

DSDivider::DSDivider(QWidget *parent) : DividerLine(AppColors::divider, parent) {}
