#include "Kestrowan/shell/OpenPanelColumns.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

void keepOpenPanelColumnsWhole(QFileDialog *panel)
{
    for (QTreeView *view : panel->findChildren<QTreeView *>(QStringLiteral("treeView"))) {
        QHeaderView *header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->setMinimumSectionSize(60);
    }
}
