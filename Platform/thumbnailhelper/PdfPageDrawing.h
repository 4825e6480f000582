#pragma once

#include <QImage>
#include <QString>

#include <optional>

// The content of a PDF file's drawn preview. It needs only the PDF reader and the picture
// formats, so both the thumbnail helper and the far lighter page helper can draw it; like every
// decoder of what a user put in a group, it runs in a helper process only, under its limits.
namespace PdfPageDrawing {

// The first page of a PDF file on white, 256 points on its long side. A page without a usable size
// gives nothing.
std::optional<QImage> firstPage(const QString &path);

} // namespace PdfPageDrawing
