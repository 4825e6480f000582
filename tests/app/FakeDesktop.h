#pragma once

#include "Platform/ApplicationActivation.h"
#include "Platform/StatusItem.h"
#include "Platform/SystemAppearance.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"

#include <memory>

// The desktop a test of the whole application runs on: settings in memory, and no real
// activation, appearance or status item.
inline void installFakeDesktop()
{
    UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
    ApplicationActivation::install(std::make_unique<FakeApplicationActivation>());
    SystemAppearance::install(std::make_unique<FakeSystemAppearance>());
    StatusItem::installFactory([] { return std::make_unique<FakeStatusItem>(); });
}
