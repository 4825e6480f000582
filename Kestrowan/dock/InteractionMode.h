#pragma once

// How the hover service answers the Dock: not at all, when the pointer rests on a group tile, or
// when a group tile is clicked.
enum class InteractionMode { None, Hover, Click };
