#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QImage>

#include <functional>
#include <memory>

class SkinManager;

// What draws a mirror folder's icon: the group's picture in its style, once the pictures of the
// items it shows are decoded. The icon library provides it and the program installs it as it
// starts; without one, the folders are built without an icon.
class FolderIconPainter {
public:
    // What one batch keeps of the icons it drew, so that groups that show the same pictures in the
    // same style are drawn once. Used on one thread.
    class Batch {
    public:
        virtual ~Batch() = default;
    };

    virtual ~FolderIconPainter() = default;

    virtual std::unique_ptr<Batch> newBatch() const = 0;
    // Starts decoding the pictures that `group`'s icon shows (in its skin when `skins` knows it),
    // without waiting for them.
    virtual void askForPictures(const AppGroup &group, SkinManager *skins) = 0;
    // Calls `ready`, on this thread, once those pictures are drawn or their time is up; at once when
    // there is nothing to wait for.
    virtual void whenPicturesDrawn(const AppGroup &group, SkinManager *skins, std::function<void()> ready) = 0;
    // A way back to `skins` later: the manager, or null once it has gone.
    virtual std::function<SkinManager *()> keep(SkinManager *skins) const = 0;
    // The group's icon, in its skin when it has one that `skins` knows; `batch` (or null) is what
    // this batch drew so far.
    virtual QImage paint(const AppGroup &group, SkinManager *skins, Batch *batch) const = 0;

    static void install(std::unique_ptr<FolderIconPainter> painter);
    static FolderIconPainter *installed();
    // `keep` of the installed painter; without one, nothing draws with the skins and none are kept.
    static std::function<SkinManager *()> keepWithInstalled(SkinManager *skins);
};
