#include "Kestrowan/shell/LanguageManager.h"

#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "Platform/UserDefaults.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace {

const QString languageKey = QStringLiteral("appLanguage");
const QString appleLanguagesKey = QStringLiteral("AppleLanguages");
const QString systemLanguage = QStringLiteral("system");

std::unique_ptr<LanguageManager> &sharedInstance()
{
    static std::unique_ptr<LanguageManager> instance;
    return instance;
}

QString &mainBundleResourcesPath()
{
    static QString path;
    return path;
}

} // namespace

LanguageManager &LanguageManager::shared()
{
    auto &instance = sharedInstance();
    if (!instance)
        instance.reset(new LanguageManager());
    return *instance;
}

void LanguageManager::resetSharedForTesting()
{
    sharedInstance().reset();
}

LanguageManager::LanguageManager()
{
    UserDefaults &defaults = UserDefaults::standard();
    m_currentLanguage = defaults.string(languageKey, systemLanguage);
    m_bundle = languageBundle(m_currentLanguage);
    applyAppleLanguages(defaults, m_currentLanguage);
}

void LanguageManager::setCurrentLanguage(const QString &code)
{
    const bool changed = code != m_currentLanguage;
    m_currentLanguage = code;
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setValue(languageKey, code);
    applyAppleLanguages(defaults, code);
    if (changed)
        applyQtTexts(code);
    const ResourceBundle next = languageBundle(code);
    const bool bundleDiffers = !(next == m_bundle);
    m_bundle = next;
    // Observers redraw at once and look texts up again: everything must be in place by then.
    if (bundleDiffers)
        emit bundleChanged();
    if (changed)
        emit currentLanguageChanged(code);
}

const QList<LanguageManager::OfferedLanguage> &LanguageManager::offeredLanguages()
{
    static const QList<OfferedLanguage> languages{
        {systemLanguage, QStringLiteral("跟随系统 / System")},
        {QStringLiteral("en"), QStringLiteral("English")},
        {QStringLiteral("es"), QStringLiteral("Español")},
        {QStringLiteral("ja"), QStringLiteral("日本語")},
        {QStringLiteral("pt-BR"), QStringLiteral("Português (Brasil)")},
        {QStringLiteral("zh-Hans"), QStringLiteral("简体中文")},
    };
    return languages;
}

bool LanguageManager::applySystemTextsAtStartup(UserDefaults &defaults)
{
    const QString code = defaults.string(languageKey, systemLanguage);
    if (code == systemLanguage || !QCoreApplication::instance())
        return false;
    return applyQtTexts(code);
}

bool LanguageManager::applyQtTexts(const QString &code)
{
    if (!QCoreApplication::instance())
        return false;
    // "zh-Hans" is simplified Chinese as spoken in China; QLocale reads the script subtag.
    const QLocale locale = code == systemLanguage ? QLocale::system() : QLocale(code);
    QLocale::setDefault(locale);
    // Kept for the application's life and replaced in place: Qt's dialogs (the open panel, the
    // standard buttons) read their texts through it each time they are built.
    static QTranslator *translator = nullptr;
    if (!translator)
        translator = new QTranslator(QCoreApplication::instance());
    else
        QCoreApplication::removeTranslator(translator);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator);
    return true;
}

void LanguageManager::applyAppleLanguages(UserDefaults &defaults, const QString &code)
{
    if (code == systemLanguage)
        defaults.remove(appleLanguagesKey);
    else
        defaults.setStringList(appleLanguagesKey, {code});
}

void LanguageManager::applyLanguageOverrideAtStartup(UserDefaults &defaults)
{
    const QString code = defaults.string(languageKey, systemLanguage);
    if (code == systemLanguage)
        return;
    defaults.setStringList(appleLanguagesKey, {code});
    defaults.synchronize();
}

void LanguageManager::setMainBundleResourcesPath(const QString &path)
{
    mainBundleResourcesPath() = path;
}

ResourceBundle LanguageManager::resourceBundle()
{
    QString resources = mainBundleResourcesPath();
    if (resources.isEmpty() && QCoreApplication::instance())
        resources = QCoreApplication::applicationDirPath() + QStringLiteral("/Resources");
    if (!resources.isEmpty()) {
        for (const ResourceBundle &candidate : {ResourceBundle(resources + QStringLiteral("/Kestrowan_Kestrowan.bundle")), ResourceBundle(resources)}) {
            if (candidate.isValid() && candidate.hasStringsFor(QStringLiteral("en")))
                return candidate;
        }
    }
    return ResourceBundle::packaged();
}

ResourceBundle LanguageManager::languageBundle(const QString &code)
{
    const ResourceBundle base = resourceBundle();
    if (code == systemLanguage)
        return base;
    ResourceBundle folder = base.languageFolder(code);
    if (folder.isValid())
        return folder;
    folder = base.languageFolder(code.toLower());
    if (folder.isValid())
        return folder;
    return base;
}

QStringList LanguageManager::preferredLanguages()
{
    const QStringList chosen = UserDefaults::standard().stringList(appleLanguagesKey);
    if (!chosen.isEmpty())
        return chosen;
    // Every text lookup asks this, many times on each key typed; the system's languages are fixed
    // for the program's run, and asking the locale for them again costs more than the lookup.
    static const QStringList system = [] {
        QStringList languages;
        for (const QString &language : QLocale::system().uiLanguages())
            languages << QString(language).replace(QLatin1Char('_'), QLatin1Char('-'));
        return languages;
    }();
    return system;
}

QString localized(const QString &key)
{
    const QStringList languages = LanguageManager::preferredLanguages();
    const QString chosen = LanguageManager::shared().bundle().localizedString(key, key, languages);
    if (chosen != key)
        return LineBreaking::joinPhrases(chosen);
    const QString packaged = ResourceBundle::packaged().localizedString(key, key, languages);
    if (packaged != key)
        return LineBreaking::joinPhrases(packaged);
    return key;
}
