// Draws icon and skin layer files, in a process of its own:
//   kestrowan-icon-helper --icons
//     the files asked for on the standard input (IconTransfer), each answered on the standard
//     output as soon as it is drawn, until the input ends;
//   kestrowan-icon-helper --preview picture <file>
//     the content of a picture file's drawn preview, as the thumbnail helper answers it
//     (PixelTransfer): a group of photos would otherwise start the heavy helper for each.
// The program hands one process files for as long as it needs them drawn, up to some hundred, so
// that a window of applications costs a process or two, and the process links only what drawing a
// picture needs: the thumbnail helper, which also reads PDF pages and video, loads some hundred and
// fifty libraries as it starts, three quarters of what a batch of icons costs.
// Exit status 0 when every file was answered (the preview written), 1 when an answer could not be
// written or a preview gave no picture, 2 for arguments or a request it does not understand. The
// program ends it at its deadline; the limits below end it when a file makes it eat memory or spin.
#include "Platform/PoolThread.h"
#include "Platform/codecs/PictureBytes.h"
#include "Platform/thumbnailhelper/HelperLimits.h"
#include "Platform/thumbnailhelper/IconTransfer.h"
#include "Platform/thumbnailhelper/PictureDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <QFile>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

enum class Field { Read, End, Broken };

// A file whose picture makes an allocation fail gives no picture, as any other that gives none.
QList<QImage> drawnOrNothing(const IconTransfer::Request &request)
{
    try {
        return IconDrawing::drawFile(request.path, request.sides, request.fit);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

// One field of a request, up to its zero byte. End only before a request's first byte.
Field readField(QByteArray &field, qsizetype longest)
{
    field.clear();
    for (;;) {
        const int c = std::getchar();
        if (c == EOF)
            return Field::End;
        if (c == 0)
            return Field::Read;
        if (field.size() == longest)
            return Field::Broken;
        field.append(char(c));
    }
}

// The requests of the standard input, answered one by one: 0 once the input ends after a whole
// request, 1 when an answer cannot be written, 2 for a request it does not understand.
int answerRequests()
{
    QByteArray fit;
    QByteArray sides;
    QByteArray path;
    for (;;) {
        const Field first = readField(fit, 16);
        if (first == Field::End && fit.isEmpty())
            return 0;
        if (first != Field::Read || readField(sides, 128) != Field::Read || readField(path, 16 * 1024) != Field::Read)
            return 2;
        const std::optional<IconTransfer::Request> request =
            IconTransfer::requestFrom(QString::fromLatin1(fit), QString::fromLatin1(sides), QFile::decodeName(path));
        if (!request)
            return 2;
        const QByteArray answer = IconTransfer::encodeAnswer(drawnOrNothing(*request));
        if (std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout) != size_t(answer.size()) || std::fflush(stdout) != 0)
            return 1;
    }
}

int drawPreview(int argc, char *argv[])
{
    if (std::strcmp(argv[2], "picture") != 0)
        return 2;
    // Pictures need no fonts: the platform is never loaded.
    QCoreApplication application(argc, argv);
    std::optional<QImage> picture;
    try {
        picture = PictureDrawing::draw(QString::fromLocal8Bit(argv[3]));
    } catch (const std::bad_alloc &) {
        return 1;
    }
    if (!picture || picture->isNull())
        return 1;
    return PixelTransfer::writeToStandardOutput(*picture) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    HelperLimits::applyToSelf();
    PictureBytes::capLibraryAllocations();
    if (argc == 4 && std::strcmp(argv[1], "--preview") == 0)
        return drawPreview(argc, argv);
    if (argc != 2 || std::strcmp(argv[1], "--icons") != 0)
        return 2;
    // Vector pictures may hold text, which needs the font database of a GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    // Answered on a thread of Qt's pool, where each picture is scaled and filled in one piece.
    int status = 2;
    PoolThread::run([&status] { status = answerRequests(); });
    return status;
}
