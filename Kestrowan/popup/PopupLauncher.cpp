#include "Kestrowan/popup/PopupLauncher.h"

#include "Kestrowan/dock/PopupItemStates.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/WorkspaceOpener.h"
#include "analytics/NVLXAnalytics.h"

#include <QFileInfo>

PopupLauncher::PopupLauncher(PopupItemStates *states, SignalSink sink, WorkspaceOpener *opener)
    : m_states(states)
    , m_sink(sink ? std::move(sink) : SignalSink([](const QString &name, const QMap<QString, QString> &parameters) {
          NVLXAnalytics::signal(name, parameters);
      }))
    , m_opener(opener)
{
}

WorkspaceOpener &PopupLauncher::opener() const
{
    return m_opener ? *m_opener : WorkspaceOpener::shared();
}

std::optional<QString> PopupLauncher::openerPath(const AppGroup &group, const AppItem &item)
{
    // An application always opens by itself, whatever the group's rules name for it.
    if (item.isApplication())
        return std::nullopt;
    const std::optional<QUrl> opener = group.resolveOpenerURL(item);
    if (!opener)
        return std::nullopt;
    return opener->toLocalFile();
}

QStringList PopupLauncher::openerPaths(const AppGroup &group, const QList<AppItem> &items)
{
    QStringList paths;
    for (const AppItem &item : items) {
        if (const std::optional<QString> path = openerPath(group, item); path && !paths.contains(*path))
            paths.append(*path);
    }
    return paths;
}

OpenOutcome PopupLauncher::launchItem(const AppGroup &group, const AppItem &item, bool searchUsed, OpenCompletion settled)
{
    const QUrl url = item.itemURL();
    std::optional<QString> application = openerPath(group, item);
    if (application && !QFileInfo::exists(*application)) {
        qCWarning(appLogger, "Opener %s is missing; opening %s with the default application",
                  qPrintable(loggedText(*application)), qPrintable(loggedText(item.name)));
        application.reset();
    }
    const std::weak_ptr<PopupLauncher *> self = m_self;
    const OpenOutcome outcome = opener().open(url, application, true, [self, group, item, searchUsed, settled](const OpenOutcome &final) {
        const std::shared_ptr<PopupLauncher *> launcher = self.lock();
        if (!launcher)
            return;
        if (final.opened)
            (*launcher)->recordLaunch(group, item, searchUsed);
        else
            qCCritical(appLogger, "Failed to open %s: %s", qPrintable(item.name), qPrintable(final.error));
        if (settled)
            settled(final);
    });
    if (outcome.pending)
        return outcome;
    if (!outcome.opened) {
        qCCritical(appLogger, "Failed to open %s: %s", qPrintable(loggedText(item.name)), qPrintable(loggedText(outcome.error)));
        return outcome;
    }
    recordLaunch(group, item, searchUsed);
    return outcome;
}

void PopupLauncher::recordLaunch(const AppGroup &group, const AppItem &item, bool searchUsed)
{
    if (m_states)
        m_states->markOpened(item);
    QMap<QString, QString> parameters{{QStringLiteral("app_name"), item.name},
                                      {QStringLiteral("group_name"), group.name}};
    if (searchUsed)
        parameters.insert(QStringLiteral("search_used"), QStringLiteral("true"));
    m_sink(QStringLiteral("app.launched_from_popup"), parameters);
}

int PopupLauncher::launchAll(const AppGroup &group, const QList<AppItem> &shownItems)
{
    QList<AppItem> applications;
    for (const AppItem &item : shownItems) {
        if (item.isApplication())
            applications.append(item);
    }
    m_sink(QStringLiteral("workspace.launch_all"),
           {{QStringLiteral("group_name"), group.name},
            {QStringLiteral("app_count"), QString::number(applications.size())}});
    int opened = 0;
    const std::weak_ptr<PopupLauncher *> self = m_self;
    for (const AppItem &application : std::as_const(applications)) {
        const OpenOutcome outcome = opener().open(application.itemURL(), std::nullopt, false, [self, application](const OpenOutcome &final) {
            const std::shared_ptr<PopupLauncher *> launcher = self.lock();
            if (!launcher)
                return;
            if (!final.opened)
                qCCritical(appLogger, "Failed to open %s: %s", qPrintable(application.name), qPrintable(final.error));
            else if ((*launcher)->m_states)
                (*launcher)->m_states->markOpened(application);
        });
        if (outcome.pending)
            continue;
        if (!outcome.opened) {
            qCCritical(appLogger, "Failed to open %s: %s", qPrintable(loggedText(application.name)), qPrintable(loggedText(outcome.error)));
            continue;
        }
        if (m_states)
            m_states->markOpened(application);
        ++opened;
    }
    return opened;
}
