#pragma once

// Makes Inter (with the CJK face of the interface language first among its fallbacks) the font of
// every window, now and again whenever the interface language changes. Call once, after the
// application object exists.
void installInterfaceFont();
