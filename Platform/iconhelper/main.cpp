// Draws icon and skin layer files, in a process of its own:
//   kestrowan-icon-helper --icons within|stretch <sides> <file> [within|stretch <sides> <file>]...
//     each file answered on the standard output as soon as it is drawn (IconTransfer);
//   kestrowan-icon-helper --preview picture <file>
//     the content of a picture file's drawn preview, as the thumbnail helper answers it
//     (PixelTransfer): a group of photos would otherwise start the heavy helper for each.
// The program starts one for every few dozen files it needs drawn, so the process links only what
// drawing a picture needs: the thumbnail helper, which also reads PDF pages and video, loads some
// hundred and fifty libraries as it starts, three quarters of what a batch of icons costs.
// Exit status 0 when every file was answered (the preview written), 1 when a file gave no picture, 2 for arguments it does not understand. The program
// ends it at its deadline; the limits below end it when a file makes it eat memory or spin.
#include "Platform/thumbnailhelper/HelperLimits.h"
#include "Platform/thumbnailhelper/IconTransfer.h"
#include "Platform/thumbnailhelper/PictureDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace {

int drawPreview(int argc, char *argv[])
{
    if (std::strcmp(argv[2], "picture") != 0)
        return 2;
    // Pictures need no fonts: the platform is never loaded.
    QCoreApplication application(argc, argv);
    const std::optional<QImage> picture = PictureDrawing::draw(QString::fromLocal8Bit(argv[3]));
    if (!picture || picture->isNull())
        return 1;
    return PixelTransfer::writeToStandardOutput(*picture) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    HelperLimits::applyToSelf();
    if (argc == 4 && std::strcmp(argv[1], "--preview") == 0)
        return drawPreview(argc, argv);
    if (argc < 5 || (argc - 2) % 3 != 0 || std::strcmp(argv[1], "--icons") != 0)
        return 2;
    // Vector pictures may hold text, which needs the font database of a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 2; i + 2 < arguments.size(); i += 3) {
        const std::optional<IconTransfer::Request> request = IconTransfer::requestFrom(arguments.at(i), arguments.at(i + 1), arguments.at(i + 2));
        if (!request)
            return 2;
        const QByteArray answer = IconTransfer::encodeAnswer(IconDrawing::drawFile(request->path, request->sides, request->fit));
        if (std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout) != size_t(answer.size()) || std::fflush(stdout) != 0)
            return 1;
    }
    return 0;
}
