// The stand-in Dock's socket reader: whatever bytes a local process sends, the Dock answers, drops
// the client or ignores them; it never crashes and never turns an out-of-range number into an
// integer. The bytes go through a real connected socket into the server's own reading.
#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/DockServer.h"
#include "Platform/dockstandin/TapHub.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Dock {
    DockAccessibilityState state;
    TapHub taps{[](quint64, const QByteArray &) {}, 20};
    DockServer server{&state, 4242};

    Dock()
    {
        // Granted, so that every request reaches its handling rather than the refusal.
        TrustStore::grant(TrustStore::executableOfThisProcess());
        state.setTiles({{16, QStringLiteral("Files"), QStringLiteral("AXApplicationDockItem"), QStringLiteral("/usr/share/applications/files.desktop"), QRectF(10, 700, 48, 48)},
                        {17, QStringLiteral("Work"), QStringLiteral("AXFolderDockItem"), QStringLiteral("/home/user/Work"), QRectF(60, 700, 48, 48)}},
                       QRectF(0, 690, 200, 70), true);
        state.setSelected(17);
        server.setTapHub(&taps);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    static Dock *dock = new Dock;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    auto *accepted = new QLocalSocket;
    if (!accepted->setSocketDescriptor(ends[0])) {
        delete accepted;
        ::close(ends[0]);
        ::close(ends[1]);
        return 0;
    }
    dock->server.adopt(accepted);
    // Written while the server reads and answers, and the answers read away, so that neither side
    // waits on a full socket.
    size_t written = 0;
    char answers[65536];
    const QDeadlineTimer deadline(5000);
    while (written < size && !deadline.hasExpired()) {
        const ssize_t n = ::write(ends[1], data + written, size - written);
        if (n > 0)
            written += size_t(n);
        QCoreApplication::processEvents();
        while (::read(ends[1], answers, sizeof answers) > 0) {
        }
        if (dock->server.clientCount() == 0)
            break;
    }
    ::shutdown(ends[1], SHUT_WR);
    while (dock->server.clientCount() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (::read(ends[1], answers, sizeof answers) > 0) {
        }
    }
    ::close(ends[1]);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
