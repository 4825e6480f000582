// Draws the first page of a PDF file, in a process of its own:
//   kestrowan-page-helper --preview pdf <file>
//     the content of the document's drawn preview, as the thumbnail helper answers it
//     (PixelTransfer).
// The program starts one for every PDF file in a group it shows, so the process links only what
// drawing a page needs: the thumbnail helper, which also reads video, loads some hundred and fifty
// libraries as it starts, which cost most of what a page takes.
// Exit status 0 when the preview was written, 1 when the file gave no picture, 2 for arguments it
// does not understand. The program ends it at its deadline; the limits below end it when a file
// makes it eat memory or spin.
#include "Platform/thumbnailhelper/HelperLimits.h"
#include "Platform/thumbnailhelper/PdfPageDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QCoreApplication>

#include <cstring>

int main(int argc, char *argv[])
{
    HelperLimits::applyToSelf();
    if (argc != 4 || std::strcmp(argv[1], "--preview") != 0 || std::strcmp(argv[2], "pdf") != 0)
        return 2;
    // As in the thumbnail helper, no platform is loaded: the page is drawn into memory alone.
    QCoreApplication application(argc, argv);
    const std::optional<QImage> page = PdfPageDrawing::firstPage(QString::fromLocal8Bit(argv[3]));
    return page && PixelTransfer::writeToStandardOutput(*page) ? 0 : 1;
}
