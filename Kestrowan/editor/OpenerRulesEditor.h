#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QIcon>
#include <QObject>
#include <functional>
#include <optional>

class EditorDraft;

// The editor's opener settings: which application opens the group's files, per extension and per
// item. It offers one row per extension of the group's files and folders, asks the application
// chooser for a choice, and writes every change into the draft (never an empty rule set); storing
// is the draft's business.
class OpenerRulesEditor : public QObject {
    Q_OBJECT
public:
    // Asks the user for an application; `done` gets its path, or nothing when none was chosen. The
    // first argument names what it is for (an extension, or an item's name), for the chooser's title.
    using ApplicationChooser = std::function<void(const QString &forWhat, const QString &extension,
                                                  std::function<void(const std::optional<QString> &path)> done)>;

    OpenerRulesEditor(EditorDraft *draft, ApplicationChooser chooser, QObject *parent = nullptr);

    // The section shows while the group holds anything that is not an application.
    bool isSectionVisible() const;
    QStringList extensions() const;
    // A rule set holds at least one rule or a default (the "clear all" button shows then).
    bool hasAnyRule() const;

    struct ExtensionRow {
        QString extension;
        std::optional<QString> applicationPath; // the rule's, else the system's default, else none
        bool isCustom = false;
        friend bool operator==(const ExtensionRow &, const ExtensionRow &) = default;
    };
    ExtensionRow row(const QString &extension) const;
    static QString extensionSymbol(const QString &extension);

    // Extension rules.
    void chooseExtensionOpener(const QString &extension);
    void setExtensionOpener(const std::optional<QString> &applicationPath);
    void clearExtensionOpener(const QString &extension);
    // Item rules.
    void beginItemOpenerChoice(const AppItem &item);
    void applyItemOpenerChoice(const std::optional<QString> &applicationPath);
    void clearItemOpener(const AppItem &item);
    bool hasItemRule(const AppItem &item) const;
    // Rules, the rule-set default and the group's custom opener, all at once.
    void clearAllOpeners();

    // What an item's cell shows: the opener's icon, and whether it comes from the group's rules.
    QIcon openerIconForItem(const AppItem &item) const;
    // The application whose icon that is, if any.
    std::optional<QString> openerApplicationForItem(const AppItem &item) const;
    bool isCustomOpenerForItem(const AppItem &item) const;

    std::optional<QString> editingExtension() const { return m_editingExtension; }
    std::optional<QUuid> editingItemOpenerID() const { return m_editingItemOpenerID; }

signals:
    // The rows may have changed (the draft did, or a choice started or ended).
    void changed();

private:
    // What the rows and the cells' badges are made from: the items and the opener settings.
    struct Inputs {
        QList<AppItem> apps;
        std::optional<QString> customOpenerPath;
        std::optional<OpenerRules> openerRules;
        friend bool operator==(const Inputs &, const Inputs &) = default;
    };
    static Inputs inputsOf(const AppGroup &group) { return {group.apps, group.customOpenerPath, group.openerRules}; }

    OpenerRules currentRules() const;
    void setDraftOpenerRules(const OpenerRules &rules);

    EditorDraft *m_draft;
    ApplicationChooser m_chooser;
    Inputs m_inputs;
    std::optional<QString> m_editingExtension;
    std::optional<QString> m_pendingOpenerExtension;
    std::optional<QUuid> m_editingItemOpenerID;
    std::optional<QUuid> m_pendingOpenerItemID;
};
