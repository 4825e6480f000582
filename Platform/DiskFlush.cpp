#include "Platform/DiskFlush.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/FileSystemSync.h"

DiskFlush &DiskFlush::shared()
{
    return sharedPort<DiskFlush, FileSystemSync>();
}

void DiskFlush::install(std::unique_ptr<DiskFlush> flush)
{
    installedPort<DiskFlush>() = std::move(flush);
}
