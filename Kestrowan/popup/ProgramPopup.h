#pragma once

#include "Kestrowan/dock/PopupPresenter.h"

#include <memory>

// The program's popup, as the hover service shows and hides it.
std::unique_ptr<PopupPresenter> makePopupPresenter();
