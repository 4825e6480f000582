#pragma once

#include <QImage>
#include <QString>

#include <optional>

// The content of a PDF file's drawn preview. It needs only the PDF reader and the picture
// formats, so both the thumbnail helper and the far lighter page helper can draw it; like every
// decoder of what a user put in a group, it runs in a helper process only, under its limits.
namespace PdfPageDrawing {

// The drawing's own bound, inside the helper's (ChildLimits): a page whose drawing takes more of
// the processor than this, or more memory than the helper's address space limit gives, is given up
// as one that gives no picture, the same answer whatever the machine's load, rather than the
// process being ended by whichever of its limits a hostile file reaches first.
inline constexpr int processorMilliseconds = 4000;
// The reader draws nested forms by recursion: its thread has room for the deepest it accepts.
inline constexpr size_t stackBytes = 64 * 1024 * 1024;

// The first page of a PDF file on white, 256 points on its long side. A page without a usable size
// gives nothing. A page whose drawing passes the bounds above, or fails on its way, ends the process
// at once with exit status 1, the helpers' "no picture": its drawing cannot be stopped, and nothing
// of the process may run its ending while it goes on.
std::optional<QImage> firstPage(const QString &path);

} // namespace PdfPageDrawing
