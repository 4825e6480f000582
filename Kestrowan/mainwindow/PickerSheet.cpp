#include "Kestrowan/mainwindow/PickerSheet.h"

#include "Kestrowan/mainwindow/StagedPicker.h"
#include "Kestrowan/shell/DialogPresentation.h"
#include "Kestrowan/shell/SheetFit.h"

#include <QDialog>
#include <QShortcut>
#include <QVBoxLayout>

QDialog *openSheet(QWidget *parent, QWidget *content, QSize size, bool resizable)
{
    auto *sheet = new QDialog(parent);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    fitSheetToWindow(sheet, parent, size, resizable);
    auto *layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    presentAboveWindow(sheet);
    return sheet;
}

QDialog *openPickerSheet(QWidget *parent, StagedPicker *picker, QSize size, bool resizable,
                         std::function<void(const std::optional<QList<AppItem>> &)> closed)
{
    QDialog *sheet = openSheet(parent, picker, size, resizable);
    auto result = std::make_shared<std::optional<QList<AppItem>>>();
    QObject::connect(picker, &StagedPicker::committed, sheet, [sheet, result](const QList<AppItem> &apps) {
        *result = apps;
        sheet->accept();
    });
    QObject::connect(picker, &StagedPicker::cancelled, sheet, &QDialog::reject);
    QObject::connect(sheet, &QDialog::finished, sheet, [result, closed = std::move(closed)] {
        if (closed)
            closed(*result);
    });
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *done = new QShortcut(QKeySequence(key), sheet);
        QObject::connect(done, &QShortcut::activated, picker, &StagedPicker::commitSelection);
    }
    return sheet;
}
