#pragma once

#include <QString>
#include <QStringList>

// A folder of resources: the program's packaged resources (compiled in under
// ":/Kestrowan_Kestrowan.bundle"), a resources folder on disk, or one language folder ("ja.lproj")
// of either. Text lookups read its "Localizable.strings": directly when the bundle is a language
// folder, otherwise from the language folder that best matches the preferred languages.
class ResourceBundle {
public:
    ResourceBundle() = default;
    explicit ResourceBundle(const QString &path);

    // The packaged resources of the program. Tests may point it elsewhere.
    static ResourceBundle packaged();
    static void setPackagedPath(const QString &path);

    bool isValid() const;
    QString path() const { return m_path; }
    // The language folder named "<name>.lproj" inside this bundle, as a bundle; invalid when absent.
    ResourceBundle languageFolder(const QString &name) const;
    bool hasStringsFor(const QString &localization) const;

    // The text for key in the "Localizable" table, or `defaultValue` when the key is missing.
    // A language folder reads its own table only; any other bundle reads the tables of
    // `preferredLanguages` in order, then English.
    QString localizedString(const QString &key, const QString &defaultValue, const QStringList &preferredLanguages) const;

    friend bool operator==(const ResourceBundle &, const ResourceBundle &) = default;

private:
    QStringList tablePaths(const QStringList &preferredLanguages) const;
    QStringList findTablePaths(const QStringList &preferredLanguages) const;

    QString m_path;
};
