#include "Platform/IconDecoder.h"

#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/HelperIconDecoder.h"

std::unique_ptr<IconDecoder> IconDecoder::createDefault()
{
    return std::make_unique<HelperIconDecoder>(ChildProcess::iconHelperProgram());
}
