#include "Kestrowan/mainwindow/MainWindowContent.h"

#include "Kestrowan/mainwindow/MainView.h"

QWidget *makeMainWindowContent(const AppEnvironment &environment, QWidget *parent)
{
    return new MainView(*environment.groupManager, *environment.appsService, *environment.navigation,
                        environment.skinManager, parent);
}
