#include "Platform/HapticFeedback.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/NoHapticFeedback.h"

HapticFeedback &HapticFeedback::shared()
{
    return sharedPort<HapticFeedback, NoHapticFeedback>();
}

void HapticFeedback::install(std::unique_ptr<HapticFeedback> feedback)
{
    installedPort<HapticFeedback>() = std::move(feedback);
}
