#include "Kestrowan/icons/ComposedFolderIcons.h"

#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"

#include <QPointer>

namespace {

class ComposedBatch final : public FolderIconPainter::Batch {
public:
    IconComposer::Drawn drawn;
};

// The skin the group's icon is drawn in, when its style is skin and `skins` knows the one it names.
std::optional<SkinDefinition> skinOf(const AppGroup &group, const SkinManager *skins)
{
    if (group.iconStyle != AppGroup::IconStyle::Skin || !group.skinId || !skins)
        return std::nullopt;
    return skins->skinWithID(*group.skinId);
}

} // namespace

std::unique_ptr<FolderIconPainter::Batch> ComposedFolderIcons::newBatch() const
{
    return std::make_unique<ComposedBatch>();
}

void ComposedFolderIcons::askForPictures(const AppGroup &group, SkinManager *skins)
{
    IconComposer::pendingPictureFiles(group.apps, group.iconStyle, skinOf(group, skins), skins);
    PreviewPictures *pictures = PreviewPictures::shared();
    for (const AppItem &item : group.apps.mid(0, 4)) {
        const std::optional<PreviewPictures::Kind> kind =
            item.itemKind() == AppItem::Kind::App ? std::nullopt : PreviewPictures::kindForExtension(ItemPreview::pathExtension(item.path));
        if (pictures && kind)
            pictures->lookup(*kind, item.path);
    }
}

void ComposedFolderIcons::whenPicturesDrawn(const AppGroup &group, SkinManager *skins, std::function<void()> ready)
{
    // The icon shows its first items' pictures, which are decoded out of the program: it is drawn
    // once they are in (or their time is up), never with the badges that stand in for them
    // meanwhile, and nothing waits on the decoding.
    PreviewPictures *pictures = PreviewPictures::shared();
    if (!pictures) {
        ready();
        return;
    }
    // Application icons and skin layers are decoded out of the program as well.
    const auto pendingIcons = [group, kept = QPointer<SkinManager>(skins)] {
        return IconComposer::pendingPictureFiles(group.apps, group.iconStyle, skinOf(group, kept.data()), kept.data());
    };
    pictures->whenDrawn(group.apps.mid(0, 4), PreviewPictures::drawnWaitMs, nullptr, std::move(ready), pendingIcons);
}

std::function<SkinManager *()> ComposedFolderIcons::keep(SkinManager *skins) const
{
    return [kept = QPointer<SkinManager>(skins)] { return kept.data(); };
}

QImage ComposedFolderIcons::paint(const AppGroup &group, SkinManager *skins, Batch *batch) const
{
    IconComposer::Drawn *drawn = batch ? &static_cast<ComposedBatch *>(batch)->drawn : nullptr;
    return IconComposer::composeGroupIcon(group.apps, group.iconStyle, skinOf(group, skins), skins, drawn);
}
