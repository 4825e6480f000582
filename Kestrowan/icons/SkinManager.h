#pragma once

#include "Kestrowan/icons/SkinDefinition.h"

#include <QList>
#include <QObject>
#include <QSet>

class OwnRecord;
#include <QString>
#include <optional>

// Owns the skins that group icons can be drawn with. On creation it copies the shipped skins into the
// skins directory (replacing an installed skin only when its "skin.json" differs), deletes the
// retired skins, and loads every skin package found there into a list sorted by name. The list is
// read once per run.
class SkinManager : public QObject {
    Q_OBJECT
public:
    // The shipped skins inside the program's packaged resources.
    static QString bundledSkinsFolder();

    // Works on skinsDirectoryURL() with the shipped skins of the packaged resources.
    explicit SkinManager(QObject *parent = nullptr);
    // Works on `skinsDirectory`, installing from `shippedSkinsFolder`; an empty or missing shipped
    // folder installs nothing and retires nothing.
    SkinManager(const QString &skinsDirectory, const QString &shippedSkinsFolder, QObject *parent = nullptr);

    QList<SkinDefinition> availableSkins() const { return m_availableSkins; }
    // The first skin of the list whose id is exactly `id`.
    std::optional<SkinDefinition> skinWithID(const QString &id) const;
    QString skinsDirectory() const { return m_skinsDirectory; }

signals:
    void availableSkinsChanged();

private:
    void installBundledSkins();
    // Which entries of the skins folder an install made is told by the folder's record (OwnRecord):
    // only those are written over or removed; a file the user put in a skin stays.
    void installSkinFolders(const QString &source, OwnRecord &record);
    void installSkinFolder(const QString &sourceFolder, const QString &name, OwnRecord &record);
    void removeDeprecatedSkins(OwnRecord &record);
    void loadSkins();
    void setAvailableSkins(const QList<SkinDefinition> &skins);

    QList<SkinDefinition> m_availableSkins;
    QString m_skinsDirectory;
    QString m_shippedSkinsFolder;
    const QSet<QString> m_deprecatedBuiltInSkinIDs{QStringLiteral("midnight-ink"), QStringLiteral("mint-grid"),
                                                   QStringLiteral("peach-cloud")};
};
