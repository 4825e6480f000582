// Draws one picture of one document, in a process of its own:
//   kestrowan-thumbnail-helper --thumbnail <document> <width> <height>
//     a thumbnail of a document Qt draws itself, written to the standard output as pixels
//     (PixelTransfer): nothing is left on disk when the program is killed while it draws;
//   kestrowan-thumbnail-helper --preview picture|pdf|video <document>
//     the content of the document's drawn preview, written to the standard output as pixels
//     (PixelTransfer);
//   kestrowan-thumbnail-helper --supervise [--scratch <folder> <picture> <width> <height>] <program> <arguments>...
//     runs another program for the Kestrowan program and ends all it starts (Supervisor); with a
//     scratch folder, which it makes and removes, the picture the program wrote there is read as
//     "--fit" reads it;
//   kestrowan-thumbnail-helper --fit <picture> <width> <height>
//     a picture file (a thumbnail another program wrote) read to fit the size, written to the
//     standard output as pixels.
// Icons are drawn by the icon helper (iconhelper/main.cpp), which starts far faster.
// Exit status 0 when the picture was written, 3 when the document is too large to be read at all,
// 1 when it gives no picture (a picture whose allocation fails too). The program runs it in a process group of its own
// with a deadline and ends the whole group when the deadline passes; the limits below end it when
// a document makes it eat memory or spin. A hostile document thus costs a picture, never the
// program.
#include "Platform/codecs/PictureBytes.h"
#include "Platform/thumbnailhelper/HelperLimits.h"
#include "Platform/thumbnailhelper/PageDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"
#include "Platform/thumbnailhelper/PreviewDrawing.h"
#include "Platform/thumbnailhelper/Supervisor.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>

#include <cstring>
#include <new>

namespace {

constexpr int kRefusedForSize = 3;

std::optional<PreviewDrawing::Kind> previewKind(const char *name)
{
    if (std::strcmp(name, "picture") == 0)
        return PreviewDrawing::Kind::Picture;
    if (std::strcmp(name, "pdf") == 0)
        return PreviewDrawing::Kind::PdfPage;
    if (std::strcmp(name, "video") == 0)
        return PreviewDrawing::Kind::VideoFrame;
    return std::nullopt;
}

int drawPreview(int argc, char *argv[])
{
    const std::optional<PreviewDrawing::Kind> kind = previewKind(argv[2]);
    if (!kind)
        return 2;
    QCoreApplication application(argc, argv);
    const std::optional<QImage> picture = PreviewDrawing::draw(*kind, QString::fromLocal8Bit(argv[3]));
    if (!picture || picture->isNull())
        return 1;
    return PixelTransfer::writeToStandardOutput(*picture) ? 0 : 1;
}

std::optional<QSize> sizeArguments(const QString &width, const QString &height)
{
    bool widthOk = false;
    bool heightOk = false;
    const QSize size(width.toInt(&widthOk), height.toInt(&heightOk));
    if (!widthOk || !heightOk || size.width() < 1 || size.height() < 1 || size.width() > 4096 || size.height() > 4096)
        return std::nullopt;
    return size;
}

int fitPicture(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const std::optional<QSize> size = sizeArguments(arguments.at(3), arguments.at(4));
    if (!size)
        return 2;
    const QSize bounds = size->boundedTo(QSize(PixelTransfer::maximumSide, PixelTransfer::maximumSide));
    const QImage picture = PageDrawing::readPicture(arguments.at(2), bounds);
    if (picture.isNull())
        return 1;
    return PixelTransfer::writeToStandardOutput(picture) ? 0 : 1;
}

int drawThumbnail(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const std::optional<QSize> size = sizeArguments(arguments.at(3), arguments.at(4));
    if (!size)
        return 2;
    // Said apart from other failures: the program hands such a file to no other decoder.
    if (PageDrawing::refusesForSize(arguments.at(2)))
        return kRefusedForSize;
    const QSize bounds = size->boundedTo(QSize(PixelTransfer::maximumSide, PixelTransfer::maximumSide));
    const QImage image = PageDrawing::draw(arguments.at(2), bounds);
    if (image.isNull())
        return 1;
    return PixelTransfer::writeToStandardOutput(image) ? 0 : 1;
}

// A document that makes an allocation fail gives no picture, as any other that gives none.
int withoutPictureOnFailedAllocation(int (*draw)(int, char *[]), int argc, char *argv[])
{
    try {
        return draw(argc, argv);
    } catch (const std::bad_alloc &) {
        return 1;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // The supervisor sets its own limits: the memory limit goes to the supervised program.
    if (argc >= 8 && std::strcmp(argv[1], "--supervise") == 0 && std::strcmp(argv[2], "--scratch") == 0) {
        const Supervisor::Scratch scratch{argv[3], argv[4], argv[5], argv[6]};
        return Supervisor::run(argv + 7, &scratch);
    }
    if (argc >= 3 && std::strcmp(argv[1], "--supervise") == 0)
        return Supervisor::run(argv + 2);
    HelperLimits::applyToSelf();
    PictureBytes::capLibraryAllocations();
    if (argc == 4 && std::strcmp(argv[1], "--preview") == 0)
        return withoutPictureOnFailedAllocation(drawPreview, argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--fit") == 0)
        return withoutPictureOnFailedAllocation(fitPicture, argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--thumbnail") == 0)
        return withoutPictureOnFailedAllocation(drawThumbnail, argc, argv);
    return 2;
}
