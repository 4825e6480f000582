#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Platform/WorkspaceOpener.h"

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class PopupItemStates;

// Opens what the user chose in the popup: one item through the group's opener, or every application
// of the shown list without bringing them to the front. An item counts as opened, and is reported,
// only once the desktop accepted to open it.
class PopupLauncher {
public:
    using SignalSink = std::function<void(const QString &name, const QMap<QString, QString> &parameters)>;

    // `states` may be absent; `sink` defaults to the usage analytics; `opener` to the shared one.
    explicit PopupLauncher(PopupItemStates *states = nullptr, SignalSink sink = {}, WorkspaceOpener *opener = nullptr);
    PopupLauncher(const PopupLauncher &) = delete;
    PopupLauncher &operator=(const PopupLauncher &) = delete;

    // Opened when the item was handed to its application; a failure is logged and changes nothing.
    // A pending outcome (the desktop's own opener has it) is settled later: marked and reported
    // then if it opened, and handed to `settled` either way, unless the launcher is gone by then.
    OpenOutcome launchItem(const AppGroup &group, const AppItem &item, bool searchUsed, OpenCompletion settled = {});
    // Opens the applications among `shownItems`, in order; returns how many opened.
    int launchAll(const AppGroup &group, const QList<AppItem> &shownItems);

    // The application that opens `item` for this group: none for applications themselves.
    static std::optional<QString> openerPath(const AppGroup &group, const AppItem &item);
    // The openers of `items`, each once.
    static QStringList openerPaths(const AppGroup &group, const QList<AppItem> &items);

    PopupItemStates *states() const { return m_states; }

private:
    WorkspaceOpener &opener() const;
    void recordLaunch(const AppGroup &group, const AppItem &item, bool searchUsed);

    PopupItemStates *m_states;
    SignalSink m_sink;
    WorkspaceOpener *m_opener;
    // Outlived by the completions of pending openings, which check it.
    std::shared_ptr<PopupLauncher *> m_self = std::make_shared<PopupLauncher *>(this);
};
