#include "Kestrowan/shell/OpenPanelColumns.h"

#include "Kestrowan/shell/Localization.h"

#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
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

namespace {

// The panel's list as Qt's file model gives it, but for the sizes, the kind of a folder and the
// dates, which Qt writes in the system's language.
class ChosenLanguageFileNames final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (!files || role != Qt::DisplayRole || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case sizeColumn:
            if (!files->isDir(source))
                return QLocale().formattedDataSize(files->size(source));
            break;
        case kindColumn:
            if (files->isDir(source))
                return localized(QStringLiteral("openPanel.folder"));
            break;
        case dateColumn:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            break;
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    static constexpr int sizeColumn = 1;
    static constexpr int kindColumn = 2;
    static constexpr int dateColumn = 3;
};

} // namespace

void localizeOpenPanel(QFileDialog *panel)
{
    panel->setProxyModel(new ChosenLanguageFileNames(panel));
}
