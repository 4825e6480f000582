#pragma once

#include "Kestrowan/editor/UsageSignalSender.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/icons/SkinDefinition.h"
#include "Kestrowan/icons/SkinManager.h"

#include <QObject>
#include <QPointer>

class EditorDraft;

// What the icon-style choice offers and does: three built-in styles and every installed skin, the
// one the draft uses marked as selected; choosing writes the draft's style and skin and reports it.
class IconStyleChoice : public QObject {
    Q_OBJECT
public:
    IconStyleChoice(EditorDraft *draft, SkinManager *skinManager, UsageSignalSender sendSignal = analyticsSignalSender(),
                    QObject *parent = nullptr);

    // Shelf, gradient, pelko: the retired styles and the skin style are never offered as styles.
    static QList<AppGroup::IconStyle> offeredStyles();
    // The installed skins, in the skin manager's order (by name).
    QList<SkinDefinition> offeredSkins() const;

    bool isStyleSelected(AppGroup::IconStyle style) const;
    bool isSkinSelected(const SkinDefinition &skin) const;

    // Both write the draft (even when nothing changes) and send their signal every time.
    void selectIconStyle(AppGroup::IconStyle style);
    void selectSkin(const SkinDefinition &skin);

    EditorDraft *draft() const { return m_draft; }
    SkinManager *skinManager() const { return m_skinManager; }

signals:
    // The installed skins changed.
    void skinsChanged();

private:
    EditorDraft *m_draft;
    QPointer<SkinManager> m_skinManager;
    UsageSignalSender m_sendSignal;
};
