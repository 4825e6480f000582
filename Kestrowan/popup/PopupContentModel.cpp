#include "Kestrowan/popup/PopupContentModel.h"

#include "Kestrowan/popup/PopupLauncher.h"
#include "Kestrowan/popup/PopupLayout.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Platform/VirtualKeys.h"

#include <QHash>
#include <QPointer>

namespace {

// The digit keys of the main keyboard; the keypad's are not commands.
std::optional<int> digitForKeyCode(quint16 keyCode)
{
    static const QHash<quint16, int> digits{{18, 1}, {19, 2}, {20, 3}, {21, 4}, {23, 5},
                                           {22, 6}, {26, 7}, {28, 8}, {25, 9}};
    const auto found = digits.constFind(keyCode);
    if (found == digits.cend())
        return std::nullopt;
    return *found;
}

bool typesIntoSearch(const QString &characters)
{
    if (characters.isEmpty())
        return false;
    const char32_t first = characters.at(0).isHighSurrogate() && characters.size() > 1
        ? QChar::surrogateToUcs4(characters.at(0), characters.at(1))
        : characters.at(0).unicode();
    // Punctuation types too: "e-mail", "v1.2" and "snake_case" are searched as written. The keys
    // that command the popup (Return, Tab, Delete, the arrows) type nothing printable.
    return QChar::isPrint(first);
}

} // namespace

PopupContentModel::PopupContentModel(Inputs inputs, PopupLauncher &launcher, QObject *parent)
    : QObject(parent)
    , m_inputs(std::move(inputs))
    , m_launcher(launcher)
    , m_displayName(m_inputs.group.name)
{
}

int PopupContentModel::gridColumns() const
{
    return PopupLayout::gridColumnCount(m_inputs.popupGridColumns);
}

QList<AppItem> PopupContentModel::displayItems() const
{
    return PopupLayout::displayItems(m_inputs.group);
}

QList<AppItem> PopupContentModel::filteredItems() const
{
    return PopupLayout::filteredItems(displayItems(), m_searchText);
}

void PopupContentModel::followPointerTo(int index)
{
    if (m_focusedIndex && index >= 0)
        setFocusedIndex(index);
}

void PopupContentModel::setFocusedIndex(std::optional<int> index)
{
    if (m_focusedIndex == index)
        return;
    m_focusedIndex = index;
    emit focusChanged();
}

void PopupContentModel::handleKeyNotification(quint16 keyCode, quint64 modifiers, const QString &characters)
{
    if (m_isEditingName)
        return;
    handleKey(keyCode, modifiers, characters);
}

void PopupContentModel::handleKey(quint16 keyCode, quint64 modifiers, const QString &characters)
{
    setOpenFailure({});
    const bool command = modifiers & VirtualKeys::commandFlag;
    if (keyCode == VirtualKeys::keyA && command) {
        launchAllAndDismiss();
        return;
    }
    if (keyCode == VirtualKeys::keyDelete) {
        if (m_searchText.isEmpty())
            return;
        // One user-perceived character: a surrogate pair goes as a whole.
        const qsizetype cut = m_searchText.size() >= 2 && m_searchText.back().isLowSurrogate()
                && m_searchText.at(m_searchText.size() - 2).isHighSurrogate() ? 2 : 1;
        m_searchText.chop(cut);
        if (m_searchText.isEmpty())
            m_isSearchActive = false;
        m_focusedIndex.reset();
        emit searchChanged();
        emit focusChanged();
        return;
    }
    if (keyCode == VirtualKeys::keyComma && command) {
        edit();
        return;
    }
    if (command) {
        if (const std::optional<int> digit = digitForKeyCode(keyCode)) {
            const QList<AppItem> items = filteredItems();
            if (*digit <= items.size())
                chooseItem(items.at(*digit - 1));
            return;
        }
    } else if (!(modifiers & VirtualKeys::controlFlag) && typesIntoSearch(characters)) {
        m_isSearchActive = true;
        m_searchText += characters;
        m_focusedIndex.reset();
        emit searchChanged();
        emit focusChanged();
        return;
    }
    navigate(keyCode);
}

bool PopupContentModel::takesKey(quint16 keyCode, quint64 modifiers, const QString &characters)
{
    // The same rules as handleKey, in its order.
    const bool command = modifiers & VirtualKeys::commandFlag;
    if (keyCode == VirtualKeys::keyDelete)
        return true;
    if (command && (keyCode == VirtualKeys::keyA || keyCode == VirtualKeys::keyComma || digitForKeyCode(keyCode)))
        return true;
    if (!command && !(modifiers & VirtualKeys::controlFlag) && typesIntoSearch(characters))
        return true;
    switch (keyCode) {
    case VirtualKeys::keyLeftArrow:
    case VirtualKeys::keyRightArrow:
    case VirtualKeys::keyDownArrow:
    case VirtualKeys::keyUpArrow:
    case VirtualKeys::keyTab:
    case VirtualKeys::keyReturn:
        return true;
    default:
        return false;
    }
}

void PopupContentModel::navigate(quint16 keyCode)
{
    const QList<AppItem> items = filteredItems();
    const int count = int(items.size());
    if (count == 0)
        return;
    const int step = m_inputs.group.displayStyle == AppGroup::DisplayStyle::Grid ? gridColumns() : 1;
    const std::optional<int> focus = m_focusedIndex;
    const int current = focus.value_or(-1);
    switch (keyCode) {
    case VirtualKeys::keyLeftArrow:
        if (focus && *focus >= 1)
            setFocusedIndex(*focus - 1);
        break;
    case VirtualKeys::keyRightArrow:
        setFocusedIndex(std::min(count - 1, current + 1));
        break;
    case VirtualKeys::keyDownArrow:
    case VirtualKeys::keyTab:
        setFocusedIndex(current + step < count ? current + step : std::min(count - 1, current + 1));
        break;
    case VirtualKeys::keyUpArrow:
        if (focus && *focus - step >= 0)
            setFocusedIndex(*focus - step);
        else if (focus && *focus >= 1)
            setFocusedIndex(*focus - 1);
        break;
    case VirtualKeys::keyReturn:
        if (focus && *focus < count)
            chooseItem(items.at(*focus));
        else if (count == 1)
            chooseItem(items.first());
        break;
    default:
        break;
    }
}

void PopupContentModel::activateSearch()
{
    if (m_isSearchActive)
        return;
    m_isSearchActive = true;
    emit searchChanged();
}

void PopupContentModel::clearSearch()
{
    m_searchText.clear();
    m_isSearchActive = false;
    emit searchChanged();
    setFocusedIndex(std::nullopt);
}

void PopupContentModel::beginRename()
{
    if (m_isEditingName)
        return;
    m_editingName = m_displayName;
    m_isEditingName = true;
    emit nameChanged();
}

void PopupContentModel::setEditingName(const QString &name)
{
    m_editingName = name;
}

void PopupContentModel::commitRename()
{
    if (!m_isEditingName)
        return;
    const QString trimmed = m_editingName.trimmed();
    if (!trimmed.isEmpty()) {
        m_displayName = trimmed;
        if (m_inputs.onRenameGroup)
            m_inputs.onRenameGroup(trimmed);
    }
    m_isEditingName = false;
    emit nameChanged();
    PopupNotifications::center().postTextFieldEditingEnded();
}

void PopupContentModel::chooseItem(const AppItem &item)
{
    const QPointer<PopupContentModel> self(this);
    const QString name = item.name;
    const OpenOutcome outcome = m_launcher.launchItem(m_inputs.group, item, !m_searchText.isEmpty(),
                                                      [self, name](const OpenOutcome &final) {
                                                          if (self)
                                                              self->finishChoosing(name, final);
                                                      });
    // The desktop's opener answers later; the popup waits for it.
    if (!outcome.pending)
        finishChoosing(name, outcome);
}

void PopupContentModel::finishChoosing(const QString &itemName, const OpenOutcome &outcome)
{
    if (!outcome.opened) {
        // The popup stays, so the user sees why nothing came up and can choose again.
        setOpenFailure(localizedFormat(outcome.needsTerminal ? QStringLiteral("popup.openFailed.noTerminal")
                                                             : QStringLiteral("popup.openFailed"),
                                       {itemName}));
        return;
    }
    dismiss();
}

void PopupContentModel::setOpenFailure(const QString &text)
{
    if (m_openFailure == text)
        return;
    m_openFailure = text;
    emit openFailureChanged();
}

void PopupContentModel::launchAllAndDismiss()
{
    m_launcher.launchAll(m_inputs.group, filteredItems());
    dismiss();
}

void PopupContentModel::edit()
{
    if (m_inputs.onEdit)
        m_inputs.onEdit();
}

void PopupContentModel::dismiss()
{
    if (m_inputs.onDismiss)
        m_inputs.onDismiss();
}
