// A ".kestrowanlink" file opened with the program: read through the route a double-click takes
// (the file's URL handed to the running program), whatever the file holds.
#include "Kestrowan/app/AppDelegate.h"
#include "Kestrowan/app/LinkFile.h"
#include "fuzz/FuzzSupport.h"

#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    static AppDelegate *delegate = new AppDelegate;
    const QString path = FuzzSupport::writeScratchFile(QStringLiteral("group.") + linkFileExtension, FuzzSupport::bytes(data, size));
    (void)readLinkFile(path);
    delegate->openURLs({QUrl::fromLocalFile(path)});
    return 0;
}
