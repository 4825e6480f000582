#include "Platform/IconDecoder.h"

#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "Platform/linux/HelperIconDecoder.h"

std::unique_ptr<IconDecoder> IconDecoder::createDefault()
{
    return std::make_unique<HelperIconDecoder>(DesktopThumbnailRenderer::helperProgram());
}
