#pragma once

// The screen edge the Dock stands on, from its "orientation" preference; anything else is the bottom.
enum class DockPosition { Bottom, Left, Right };
