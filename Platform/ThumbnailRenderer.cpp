#include "Platform/ThumbnailRenderer.h"

#include "Platform/linux/DesktopThumbnailRenderer.h"

std::shared_ptr<ThumbnailRenderer> ThumbnailRenderer::createDefault()
{
    return std::make_shared<DesktopThumbnailRenderer>();
}
