#include "Kestrowan/shell/AppNavigation.h"

#include "Kestrowan/shell/Log.h"

AppNavigation::AppNavigation(QObject *parent)
    : QObject(parent)
{
}

void AppNavigation::setSelectedPage(const std::optional<DetailPage> &page)
{
    const bool changed = page != m_selectedPage;
    m_selectedPage = page;
    if (changed)
        emit selectedPageChanged();
    qCDebug(appLogger, "Navigation selected page changed: %s", qUtf8Printable(describe(page)));
}

QString AppNavigation::describe(const std::optional<DetailPage> &page)
{
    return page ? page->description() : QStringLiteral("none");
}
