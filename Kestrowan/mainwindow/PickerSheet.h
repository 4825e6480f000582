#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QList>
#include <QSize>

#include <functional>
#include <optional>

class QDialog;
class QWidget;
class StagedPicker;

// Shows an app picker as a sheet over `parent`'s window: window-modal, Escape cancels, Return is
// Done. `closed` runs once when the sheet goes: with the picker's whole list after Done, with
// nothing after Cancel or any other dismissal. The sheet is `size`, or at least `size` when
// `resizable`, and smaller where the window is smaller.
QDialog *openPickerSheet(QWidget *parent, StagedPicker *picker, QSize size, bool resizable,
                         std::function<void(const std::optional<QList<AppItem>> &)> closed);

// A plain sheet of a fixed size around `content`.
QDialog *openSheet(QWidget *parent, QWidget *content, QSize size, bool resizable = false);
