// Draws one thumbnail of a document Qt can draw itself and writes it as a PNG file:
//   kestrowan-thumbnail-helper <document> <output.png> <width> <height>
// Exit status 0 when the picture was written. The program runs it with a deadline and ends its whole
// process group when the deadline passes, so a page that makes the text layout spin or crash costs a
// thumbnail, never the program.
#include "Platform/thumbnailhelper/PageDrawing.h"

#include <QGuiApplication>
#include <QImage>

#include <sys/resource.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTROWAN_HELPER_UNDER_ASAN 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(KESTROWAN_HELPER_UNDER_ASAN)
// In a checked build the font and platform libraries' allocations still held at exit would turn
// every drawn thumbnail into a failed one; the helper lives for one picture.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

int main(int argc, char *argv[])
{
    if (argc != 5)
        return 2;
#if !defined(__SANITIZE_ADDRESS__) && !defined(KESTROWAN_HELPER_UNDER_ASAN)
    // A page that would make the layout eat all memory fails here instead of on the whole machine.
    const rlimit memory{rlim_t(2) << 30, rlim_t(2) << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool widthOk = false;
    bool heightOk = false;
    const QSize size(arguments.at(3).toInt(&widthOk), arguments.at(4).toInt(&heightOk));
    if (!widthOk || !heightOk || size.width() < 1 || size.height() < 1 || size.width() > 4096 || size.height() > 4096)
        return 2;
    const QImage image = PageDrawing::draw(arguments.at(1), size);
    if (image.isNull())
        return 1;
    return image.save(arguments.at(2), "PNG") ? 0 : 1;
}
