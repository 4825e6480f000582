// Kestrowan's entry point. The language override has to reach the defaults before any interface
// exists, so that texts the system supplies follow the user's choice.
#include "Kestrowan/app/DesktopIntegration.h"
#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/SingleInstance.h"
#include "Kestrowan/shell/InterfaceFont.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "NVLXDesign/NVLXMenu.h"
#include "Platform/FloatingPanel.h"
#include "Platform/FreedMemory.h"
#include "Platform/codecs/PictureBytes.h"
#include "Platform/linux/TerminationSignals.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
#if defined(__GLIBC__)
    // The threads that draw share two heaps: otherwise every drawing thread's heap keeps, for good,
    // the most it ever held at once (a decoded picture, a composed icon); 200 groups start in 5 MiB
    // more without it.
    mallopt(M_ARENA_MAX, 2);
#endif
    // What the composing threads free they take again for the next icon; it goes back to the system
    // once the icons have settled (GroupIconViews, DockSync).
    FreedMemory::keepForReuse();
    LanguageManager::applyLanguageOverrideAtStartup(UserDefaults::standard());
    QApplication app(argc, argv);
    // A logout, a service manager or a terminal ends the program as its Quit command does: what
    // it keeps is written and every helper ends. Heard from here on; answered from the event loop.
    TerminationSignals termination;
    // The thumbnail cache's files are read in this process: Qt's readers allocate no more for one
    // than a helper's do.
    PictureBytes::capLibraryAllocations();
    QApplication::setApplicationName(QStringLiteral("Kestrowan"));
    QApplication::setOrganizationName(QStringLiteral("Kestrowan"));
    LanguageManager::applySystemTextsAtStartup(UserDefaults::standard());
    QApplication::setApplicationVersion(QStringLiteral(KESTROWAN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kestrowan"));
    QApplication::setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Kestrowan_Kestrowan.bundle/AppIcon.svg")));
    installInterfaceFont();
    // Whatever control the keyboard reaches shows a ring around it.
    KeyboardFocusRing::install();
    // The kit's rounded menus and dialogs: translucent under a compositing manager, cut to their
    // shape on a bare X server (whose transparent pixels would show black).
    NVLXMenu::setRoundedWindowShaper(&FloatingPanel::useTranslucencyOrShape);

    const QStringList arguments = QApplication::arguments().mid(1);
    SingleInstance instance;
    if (const std::optional<int> exitCode = instance.startOrHandOver(arguments))
        return *exitCode;

    KestrowanApp kestrowan;
    AppDelegate &delegate = kestrowan.appDelegate();
    QObject::connect(&termination, &TerminationSignals::received, &kestrowan, [&delegate](int number) {
        qCInfo(appLogger, "Quitting on signal %d", number);
        delegate.menuQuit();
    });
    QObject::connect(&instance, &SingleInstance::argumentsReceived, &kestrowan, [&](const QList<QUrl> &urls) {
        if (urls.isEmpty())
            delegate.applicationShouldHandleReopen(KestrowanApp::isMainWindowOpen());
        else
            delegate.openURLs(urls);
    });
    kestrowan.launch();
    // The desktop learns where the program is once its window is drawn: nothing on screen waits
    // for it, and writing its files would hold the first frame back.
    kestrowan.afterFirstFrame([] { installDesktopIntegration(QApplication::applicationFilePath()); });
    // Links and files this start was given arrive once launching has finished.
    const QList<QUrl> launchURLs = SingleInstance::urlsFromArguments(arguments, QDir::currentPath());
    if (!launchURLs.isEmpty())
        QTimer::singleShot(0, &kestrowan, [&delegate, launchURLs] { delegate.openURLs(launchURLs); });
    return QApplication::exec();
}
