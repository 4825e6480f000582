#include "Kestrowan/editor/IconStyleChoice.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/icons/SkinManager.h"

IconStyleChoice::IconStyleChoice(EditorDraft *draft, SkinManager *skinManager, UsageSignalSender sendSignal, QObject *parent)
    : QObject(parent), m_draft(draft), m_skinManager(skinManager), m_sendSignal(std::move(sendSignal))
{
    if (skinManager)
        connect(skinManager, &SkinManager::availableSkinsChanged, this, &IconStyleChoice::skinsChanged);
}

QList<AppGroup::IconStyle> IconStyleChoice::offeredStyles()
{
    return {AppGroup::IconStyle::Shelf, AppGroup::IconStyle::Gradient, AppGroup::IconStyle::Pelko};
}

QList<SkinDefinition> IconStyleChoice::offeredSkins() const
{
    return m_skinManager ? m_skinManager->availableSkins() : QList<SkinDefinition>();
}

bool IconStyleChoice::isStyleSelected(AppGroup::IconStyle style) const
{
    return m_draft->draft().iconStyle == style;
}

bool IconStyleChoice::isSkinSelected(const SkinDefinition &skin) const
{
    const AppGroup &group = m_draft->draft();
    return group.iconStyle == AppGroup::IconStyle::Skin && group.skinId == skin.id;
}

void IconStyleChoice::selectIconStyle(AppGroup::IconStyle style)
{
    AppGroup changed = m_draft->draft();
    changed.iconStyle = style;
    changed.skinId.reset();
    m_draft->setDraft(changed);
    if (m_sendSignal)
        m_sendSignal(QStringLiteral("group.icon_style_changed"), {{QStringLiteral("style"), iconStyleDisplayName(style)}});
}

void IconStyleChoice::selectSkin(const SkinDefinition &skin)
{
    AppGroup changed = m_draft->draft();
    changed.iconStyle = AppGroup::IconStyle::Skin;
    changed.skinId = skin.id;
    m_draft->setDraft(changed);
    if (m_sendSignal)
        m_sendSignal(QStringLiteral("group.skin_selected"), {{QStringLiteral("skin"), skin.localizedSkinName()}});
}
