#include "Kestrowan/icons/ComposedFolderIcons.h"

#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"

#include <QPointer>

namespace {

class ComposedBatch final : public FolderIconPainter::Batch {
public:
    IconComposer::Drawn drawn;
};

} // namespace

std::unique_ptr<FolderIconPainter::Batch> ComposedFolderIcons::newBatch() const
{
    return std::make_unique<ComposedBatch>();
}

void ComposedFolderIcons::whenPicturesDrawn(const AppGroup &group, std::function<void()> ready)
{
    // The icon shows its first items' pictures, which are decoded out of the program: it is drawn
    // once they are in (or their time is up), never with the badges that stand in for them
    // meanwhile, and nothing waits on the decoding.
    PreviewPictures *pictures = PreviewPictures::shared();
    if (!pictures) {
        ready();
        return;
    }
    pictures->whenDrawn(group.apps.mid(0, 4), PreviewPictures::drawnWaitMs, nullptr, std::move(ready));
}

std::function<SkinManager *()> ComposedFolderIcons::keep(SkinManager *skins) const
{
    return [kept = QPointer<SkinManager>(skins)] { return kept.data(); };
}

QImage ComposedFolderIcons::paint(const AppGroup &group, SkinManager *skins, Batch *batch) const
{
    std::optional<SkinDefinition> skin;
    if (group.iconStyle == AppGroup::IconStyle::Skin && group.skinId && skins)
        skin = skins->skinWithID(*group.skinId);
    IconComposer::Drawn *drawn = batch ? &static_cast<ComposedBatch *>(batch)->drawn : nullptr;
    return IconComposer::composeGroupIcon(group.apps, group.iconStyle, skin, skins, drawn);
}
