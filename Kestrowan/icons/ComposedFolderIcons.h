#pragma once

#include "Kestrowan/groups/FolderIconPainter.h"

// Mirror folder icons as the group icon views show them: composed in the group's style or skin from
// the pictures of its first items, once the helper has drawn those.
class ComposedFolderIcons final : public FolderIconPainter {
public:
    std::unique_ptr<Batch> newBatch() const override;
    void askForPictures(const AppGroup &group, SkinManager *skins) override;
    void whenPicturesDrawn(const AppGroup &group, SkinManager *skins, std::function<void()> ready) override;
    std::function<SkinManager *()> keep(SkinManager *skins) const override;
    QImage paint(const AppGroup &group, SkinManager *skins, Batch *batch) const override;
};
