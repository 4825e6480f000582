#include "Kestrowan/mainwindow/MainViewFactories.h"

MainViewFactories &MainViewFactories::shared()
{
    static MainViewFactories factories;
    return factories;
}
