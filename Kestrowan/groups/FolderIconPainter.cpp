#include "Kestrowan/groups/FolderIconPainter.h"

#include "Platform/SharedPort.h"

void FolderIconPainter::install(std::unique_ptr<FolderIconPainter> painter)
{
    installedPort<FolderIconPainter>() = std::move(painter);
}

FolderIconPainter *FolderIconPainter::installed()
{
    return installedPort<FolderIconPainter>().get();
}

std::function<SkinManager *()> FolderIconPainter::keepWithInstalled(SkinManager *skins)
{
    if (const FolderIconPainter *painter = installed())
        return painter->keep(skins);
    return [] { return static_cast<SkinManager *>(nullptr); };
}
