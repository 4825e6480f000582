#include "Kestrowan/editor/OpenerRulesEditor.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/groups/OpenerRules.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Platform/Workspace.h"

#include <QPointer>

namespace {

QString itemKey(const AppItem &item)
{
    return item.id.toString(QUuid::WithoutBraces).toUpper();
}

QString itemExtension(const AppItem &item)
{
    return ItemPreview::pathExtension(item.path);
}

} // namespace

OpenerRulesEditor::OpenerRulesEditor(EditorDraft *draft, ApplicationChooser chooser, QObject *parent)
    : QObject(parent), m_draft(draft), m_chooser(std::move(chooser)), m_inputs(inputsOf(draft->draft()))
{
    // A keystroke in the group's name changes nothing here: the rows are not made again for it.
    connect(draft, &EditorDraft::draftChanged, this, [this](const AppGroup &group) {
        Inputs now = inputsOf(group);
        if (now == m_inputs)
            return;
        m_inputs = std::move(now);
        emit changed();
    });
}

bool OpenerRulesEditor::isSectionVisible() const
{
    // Only with something to offer: a type of file to choose for, or a rule to clear. Folders and
    // files without an extension choose their opener on their own badge.
    return !extensions().isEmpty() || hasAnyRule();
}

QStringList OpenerRulesEditor::extensions() const
{
    return fileExtensionsOfGroup(m_draft->draft());
}

OpenerRules OpenerRulesEditor::currentRules() const
{
    return m_draft->draft().openerRules.value_or(OpenerRules());
}

bool OpenerRulesEditor::hasAnyRule() const
{
    return !currentRules().isEmpty();
}

OpenerRulesEditor::ExtensionRow OpenerRulesEditor::row(const QString &extension) const
{
    ExtensionRow row{extension, std::nullopt, false};
    const OpenerRules rules = currentRules();
    if (rules.byExtension.contains(extension)) {
        row.applicationPath = rules.byExtension.value(extension);
        row.isCustom = true;
    } else if (const std::optional<DefaultApplication> system = defaultApplicationForExtension(extension)) {
        row.applicationPath = system->path;
    }
    return row;
}

QString OpenerRulesEditor::extensionSymbol(const QString &extension)
{
    static const QList<QPair<QStringList, QString>> table{
        {{"md", "txt", "rtf"}, QStringLiteral("doc.text")},
        {{"pdf"}, QStringLiteral("doc.richtext")},
        {{"png", "jpg", "jpeg", "gif", "webp", "svg", "heic"}, QStringLiteral("photo")},
        {{"mp4", "mov", "avi", "mkv"}, QStringLiteral("film")},
        {{"mp3", "wav", "aac", "flac"}, QStringLiteral("music.note")},
        {{"zip", "tar", "gz", "rar"}, QStringLiteral("archivebox")},
        {{"html", "css", "js", "ts", "json", "xml", "yml", "yaml"}, QStringLiteral("chevron.left.forwardslash.chevron.right")},
        {{"swift", "py", "rb", "go", "rs", "c", "cpp", "java"}, QStringLiteral("curlybraces")},
    };
    for (const auto &[extensions, symbol] : table) {
        if (extensions.contains(extension))
            return symbol;
    }
    return QStringLiteral("doc");
}

void OpenerRulesEditor::setDraftOpenerRules(const OpenerRules &rules)
{
    AppGroup changed = m_draft->draft();
    changed.openerRules = rules.isEmpty() ? std::nullopt : std::optional<OpenerRules>(rules);
    // Only the draft is written: whether this stores a new group is the draft's change handler's call.
    m_draft->setDraft(changed);
}

void OpenerRulesEditor::chooseExtensionOpener(const QString &extension)
{
    m_pendingOpenerExtension = extension;
    m_editingExtension = extension;
    emit changed();
    if (!m_chooser) {
        setExtensionOpener(std::nullopt);
        return;
    }
    QPointer<OpenerRulesEditor> self(this);
    m_chooser(QLatin1Char('.') + extension, extension, [self](const std::optional<QString> &path) {
        if (self)
            self->setExtensionOpener(path);
    });
}

void OpenerRulesEditor::setExtensionOpener(const std::optional<QString> &applicationPath)
{
    if (applicationPath && !applicationPath->isEmpty() && m_pendingOpenerExtension) {
        OpenerRules rules = currentRules();
        rules.byExtension.insert(*m_pendingOpenerExtension, *applicationPath);
        setDraftOpenerRules(rules);
    }
    m_pendingOpenerExtension.reset();
    m_editingExtension.reset();
    emit changed();
}

void OpenerRulesEditor::clearExtensionOpener(const QString &extension)
{
    OpenerRules rules = currentRules();
    rules.byExtension.remove(extension);
    setDraftOpenerRules(rules);
}

void OpenerRulesEditor::beginItemOpenerChoice(const AppItem &item)
{
    m_pendingOpenerItemID = item.id;
    m_editingItemOpenerID = item.id;
    emit changed();
    if (!m_chooser) {
        applyItemOpenerChoice(std::nullopt);
        return;
    }
    QPointer<OpenerRulesEditor> self(this);
    m_chooser(item.name, itemExtension(item), [self](const std::optional<QString> &path) {
        if (self)
            self->applyItemOpenerChoice(path);
    });
}

void OpenerRulesEditor::applyItemOpenerChoice(const std::optional<QString> &applicationPath)
{
    if (applicationPath && !applicationPath->isEmpty() && m_pendingOpenerItemID) {
        OpenerRules rules = currentRules();
        rules.byItem.insert(m_pendingOpenerItemID->toString(QUuid::WithoutBraces).toUpper(), *applicationPath);
        setDraftOpenerRules(rules);
    }
    m_pendingOpenerItemID.reset();
    m_editingItemOpenerID.reset();
    emit changed();
}

void OpenerRulesEditor::clearItemOpener(const AppItem &item)
{
    OpenerRules rules = currentRules();
    rules.byItem.remove(itemKey(item));
    setDraftOpenerRules(rules);
}

bool OpenerRulesEditor::hasItemRule(const AppItem &item) const
{
    return currentRules().byItem.contains(itemKey(item));
}

void OpenerRulesEditor::clearAllOpeners()
{
    AppGroup changed = m_draft->draft();
    changed.openerRules.reset();
    changed.customOpenerPath.reset();
    m_draft->setDraft(changed);
}

std::optional<QString> OpenerRulesEditor::openerApplicationForItem(const AppItem &item) const
{
    if (item.itemKind() == AppItem::Kind::App)
        return std::nullopt;
    if (const std::optional<QUrl> opener = m_draft->draft().resolveOpenerURL(item))
        return opener->toLocalFile();
    if (const std::optional<DefaultApplication> system = defaultApplicationForExtension(itemExtension(item)))
        return system->path;
    // A folder or a file without an extension opens with what the system picks for the item itself
    // (by its kind or its content), which its badge then shows.
    if (item.itemKind() != AppItem::Kind::Link && itemExtension(item).isEmpty())
        return Workspace::shared().applicationToOpenURL(QUrl::fromLocalFile(item.path));
    return std::nullopt;
}

QIcon OpenerRulesEditor::openerIconForItem(const AppItem &item) const
{
    const std::optional<QString> application = openerApplicationForItem(item);
    return application ? Workspace::shared().iconForFile(*application) : QIcon();
}

bool OpenerRulesEditor::isCustomOpenerForItem(const AppItem &item) const
{
    if (item.itemKind() == AppItem::Kind::App)
        return false;
    const OpenerRules rules = currentRules();
    return rules.byItem.contains(itemKey(item)) || rules.byExtension.contains(itemExtension(item)) || rules.defaultOpener.has_value();
}
