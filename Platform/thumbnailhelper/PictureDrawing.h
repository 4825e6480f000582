#pragma once

#include <QImage>
#include <QString>

#include <optional>

// The content of a picture file's drawn preview. It needs only the picture formats, so both the
// thumbnail helper and the far lighter icon helper can draw it; like every decoder of what a user
// put in a group, it runs in a helper process only, under its limits.
namespace PictureDrawing {

// A picture file decoded small enough for a preview: scaled down while decoding where the format
// allows it, and refused when it would need an unreasonable amount of memory.
std::optional<QImage> draw(const QString &path);

} // namespace PictureDrawing
