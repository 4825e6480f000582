#pragma once

#include "Kestrowan/shell/ResourceBundle.h"

#include <QObject>
#include <QString>

class QTranslator;
class UserDefaults;

// Holds the interface language the user chose ("system" or a language code), keeps it in the
// defaults ("appLanguage", and "AppleLanguages" for what the system supplies), and picks the
// resource bundle that `localized` reads first.
class LanguageManager final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString currentLanguage READ currentLanguage WRITE setCurrentLanguage NOTIFY currentLanguageChanged)
public:
    // One row of the language setting: the code stored, and the name shown as it stands in every
    // interface language.
    struct OfferedLanguage {
        QString code;
        QString displayName;
        friend bool operator==(const OfferedLanguage &, const OfferedLanguage &) = default;
    };
    // The languages the settings offer, in the order they are shown; "system" first.
    static const QList<OfferedLanguage> &offeredLanguages();

    static LanguageManager &shared();

    QString currentLanguage() const { return m_currentLanguage; }
    // Always rewrites the defaults and the bundle; notifies only on an actual change.
    void setCurrentLanguage(const QString &code);
    ResourceBundle bundle() const { return m_bundle; }

    // Writes "AppleLanguages" for a code, or removes it for "system". Does not synchronise.
    static void applyAppleLanguages(UserDefaults &defaults, const QString &code);
    // The start-up step that runs before any interface exists: a chosen language other than
    // "system" becomes the one-element "AppleLanguages", synchronised at once.
    static void applyLanguageOverrideAtStartup(UserDefaults &defaults);
    // The other half of that step, once the application object exists: Qt's own texts (standard
    // buttons and dialogs) and locale-dependent formats follow the chosen language for this run.
    // Nothing changes for "system". Returns whether Qt's translation of the language was loaded.
    static bool applySystemTextsAtStartup(UserDefaults &defaults);
    // Qt's own texts and formats in `code` ("system": the system's), now; every switch of the
    // language does it. Returns whether Qt's translation of the language was loaded.
    static bool applyQtTexts(const QString &code);

    // The base bundle for language lookups: the first of the main bundle's resource folders that
    // holds English texts, else the packaged resources.
    static ResourceBundle resourceBundle();
    static ResourceBundle languageBundle(const QString &code);
    // The folder standing for the main bundle's resources on this platform (<program dir>/Resources).
    static void setMainBundleResourcesPath(const QString &path);

    // The languages the program prefers for system-chosen texts: "AppleLanguages", else the system's.
    static QStringList preferredLanguages();

    // Builds a fresh manager from the current defaults (tests).
    static void resetSharedForTesting();

signals:
    void currentLanguageChanged(const QString &code);
    void bundleChanged();

private:
    LanguageManager();

    QString m_currentLanguage;
    ResourceBundle m_bundle;
};
