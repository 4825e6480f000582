#pragma once

#include <QImage>
#include <QString>
#include <optional>

// Content pictures for item previews, read from local files only. Each returns nothing when the file
// cannot give one; none of them ever reaches the network.

// A picture file decoded small enough for a preview: scaled down while decoding where the format
// allows it, and refused when it would need an unreasonable amount of memory.
std::optional<QImage> loadPreviewPicture(const QString &path);

// The first page of a PDF file on white, 256 points on its long side. A page without a usable size
// gives nothing.
std::optional<QImage> renderPDFFirstPage(const QString &path);

// The first frame of a video file, turned upright as the file asks and no larger than 256 by 256
// pixels; its size in points equals its size in pixels.
std::optional<QImage> renderVideoFrame(const QString &path);
