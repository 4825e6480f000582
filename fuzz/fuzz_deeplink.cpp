// Deep links as a later start hands them to the running program: its arguments turned into URLs,
// then routed. Whatever the text, a route is found or the link is dropped with a log line, and a
// route found survives its own URL form.
#include "Kestrowan/app/AppDelegate.h"
#include "Kestrowan/app/KestrowanRoute.h"
#include "Kestrowan/app/SingleInstance.h"
#include "fuzz/FuzzSupport.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    static AppDelegate *delegate = new AppDelegate;
    // One argument a line, as a shell would pass several links.
    QStringList arguments;
    for (const QByteArray &line : FuzzSupport::bytes(data, size).split('\n'))
        arguments.append(QString::fromUtf8(line));
    const QList<QUrl> urls = SingleInstance::urlsFromArguments(arguments, QDir::homePath());
    for (const QUrl &url : urls) {
        if (const std::optional<KestrowanRoute> route = parseRoute(url)) {
            if (parseRoute(routeURL(*route)) != route)
                __builtin_trap();
        }
    }
    delegate->openURLs(urls);
    return 0;
}
