#pragma once

#include <QImage>
#include <QString>

#include <optional>

// The content of a document's drawn preview: a picture file, the first page of a PDF file, the
// first frame of a video. These decode what the user put in a group, so they run in a helper
// process only, under its limits on memory and CPU time; a hostile file costs a helper, never
// the program. Each gives nothing when the file cannot give a picture; none reaches the network.
namespace PreviewDrawing {

enum class Kind { Picture, PdfPage, VideoFrame };

// The first frame of a video file, turned upright as the file asks and no larger than 256 by 256
// pixels.
std::optional<QImage> videoFrame(const QString &path);

// The one of the three that `kind` names (PictureDrawing, PdfPageDrawing or the video frame).
std::optional<QImage> draw(Kind kind, const QString &path);

} // namespace PreviewDrawing
