#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QString>
#include <QWidget>

class NVLXButton;
class QLabel;

// The frame both app pickers share: a title with the selected count on the right, and Cancel and
// Done at the bottom (Escape and Return).
namespace PickerChrome {

struct Header {
    QWidget *widget = nullptr;
    QLabel *count = nullptr;
};

Header makeHeader(const QString &title, QWidget *parent);
void setSelectedCount(QLabel *label, qsizetype count);

struct Footer {
    QWidget *widget = nullptr;
    NVLXButton *cancel = nullptr;
    NVLXButton *done = nullptr;
};

Footer makeFooter(QWidget *parent);

// A label in a colour token, kept in step with the appearance.
QLabel *tokenLabel(const DynamicColor &color, QWidget *parent);

} // namespace PickerChrome
