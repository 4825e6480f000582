#include "Platform/PreviewRenderer.h"

#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "Platform/linux/HelperPreviewRenderer.h"

std::unique_ptr<PreviewRenderer> PreviewRenderer::createDefault()
{
    return std::make_unique<HelperPreviewRenderer>(DesktopThumbnailRenderer::helperProgram(), HelperPreviewRenderer::defaultTimeoutMs,
                                                   HelperPreviewRenderer::defaultParallel, ChildProcess::iconHelperProgram(),
                                                   ChildProcess::pageHelperProgram());
}
