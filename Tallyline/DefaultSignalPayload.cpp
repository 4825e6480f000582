#include "Tallyline/DefaultSignalPayload.h"

#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/SessionManager.h"
#include "Tallyline/SessionStatisticsSource.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalPlatform.h"

#include <QLocale>
#include <QRegularExpression>

#include <cstdlib>

namespace {

const QString clientVersion = QStringLiteral("2.12.0");

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QStringList identifierParts(const QString &identifier)
{
    static const QRegularExpression separators(QStringLiteral("[-_]"));
    return identifier.split(separators);
}

QString versionForm(const QVersionNumber &version, int components)
{
    QStringList numbers;
    for (int i = 0; i < components; ++i)
        numbers.append(QString::number(version.segmentAt(i)));
    return QStringLiteral("macOS ") + numbers.join(QLatin1Char('.'));
}

QString regionOf(const QLocale &locale)
{
    if (locale.territory() != QLocale::AnyTerritory)
        return QLocale::territoryToCode(locale.territory());
    return identifierParts(locale.name()).constLast();
}

QString languageOf(const QLocale &locale)
{
    if (locale.language() != QLocale::AnyLanguage && locale.language() != QLocale::C)
        return QLocale::languageToCode(locale.language());
    return identifierParts(locale.name()).constFirst();
}

void addCalendar(QMap<QString, QString> &p, const QDateTime &localNow)
{
    const QDate date = localNow.date();
    const bool valid = date.isValid();
    const int dayOfWeek = valid ? date.dayOfWeek() : -1;
    const int month = valid ? date.month() : -1;
    p.insert(QStringLiteral("Tallyline.Calendar.dayOfMonth"), QString::number(valid ? date.day() : -1));
    p.insert(QStringLiteral("Tallyline.Calendar.dayOfWeek"), QString::number(dayOfWeek));
    p.insert(QStringLiteral("Tallyline.Calendar.dayOfYear"), QString::number(valid ? date.dayOfYear() : -1));
    p.insert(QStringLiteral("Tallyline.Calendar.weekOfYear"), QString::number(valid ? date.weekNumber() : -1));
    p.insert(QStringLiteral("Tallyline.Calendar.isWeekend"), boolText(dayOfWeek == 6 || dayOfWeek == 7));
    p.insert(QStringLiteral("Tallyline.Calendar.monthOfYear"), QString::number(month));
    p.insert(QStringLiteral("Tallyline.Calendar.quarterOfYear"), QString::number(valid ? (month - 1) / 3 + 1 : -1));
    p.insert(QStringLiteral("Tallyline.Calendar.hourOfDay"),
             QString::number((localNow.isValid() ? localNow.time().hour() : -1) + 1));
}

void addRetention(QMap<QString, QString> &p, const QDateTime &now, const QTimeZone &zone, const DefaultsSuite *suite,
                  const SessionStatisticsSource *sessions)
{
    const QString today = now.toTimeZone(zone).date().toString(Qt::ISODate);
    p.insert(QStringLiteral("Tallyline.Acquisition.firstSessionDate"),
             (suite ? suite->string(QStringLiteral("firstSessionDate")) : std::nullopt).value_or(today));

    const QList<qint64> durations = sessions ? sessions->recentSessionDurations() : QList<qint64>();
    p.insert(QStringLiteral("Tallyline.Retention.averageSessionSeconds"),
             QString::number(sessions ? sessions->averageSessionSeconds() : -1));

    const QStringList days = suite ? suite->stringList(QStringLiteral("distinctDaysUsed")) : QStringList();
    p.insert(QStringLiteral("Tallyline.Retention.distinctDaysUsed"), QString::number(days.size()));
    // The days were recorded in the user's own calendar, so the month is counted back in it too: a
    // cut-off taken in UTC would shift by a day for everyone far enough east or west.
    const QString cutOff = now.toTimeZone(zone).date().addDays(-30).toString(Qt::ISODate);
    p.insert(QStringLiteral("Tallyline.Retention.distinctDaysUsedLastMonth"),
             QString::number(SessionManager::countDistinctDaysSince(cutOff, days)));

    const qint64 deleted = suite ? suite->integer(QStringLiteral("deletedSessionsCount")) : 0;
    p.insert(QStringLiteral("Tallyline.Retention.totalSessionsCount"), QString::number(durations.size() + deleted));
    if (durations.size() >= 2)
        p.insert(QStringLiteral("Tallyline.Retention.previousSessionSeconds"),
                 QString::number(durations.at(durations.size() - 2)));
}

} // namespace

QString DefaultSignalPayload::timeZoneText(int offsetSeconds)
{
    const int hours = std::abs(offsetSeconds) / 3600;
    const int minutes = (std::abs(offsetSeconds) % 3600) / 60;
    QString text = QStringLiteral("UTC") + (offsetSeconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                   + QString::number(hours);
    if (minutes != 0)
        text += QStringLiteral(":%1").arg(minutes, 2, 10, QLatin1Char('0'));
    return text;
}

QString DefaultSignalPayload::decimalText(double value)
{
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('n')))
        text += QStringLiteral(".0");
    return text;
}

QMap<QString, QString> DefaultSignalPayload::parameters()
{
    const std::shared_ptr<SignalPlatform> platform = SignalPlatform::current();
    const std::unique_ptr<DefaultsSuite> suite = SignalHub::telemetryDefaultsSuite();
    return parameters(*platform, suite.get(), SessionStatisticsSource::shared());
}

QMap<QString, QString> DefaultSignalPayload::parameters(const SignalPlatform &platform, const DefaultsSuite *suite,
                                                        const SessionStatisticsSource *sessions)
{
    const QVersionNumber version = platform.systemVersion();
    const QString systemVersion = versionForm(version, 3);
    const QString majorMinor = versionForm(version, 2);
    const QString major = versionForm(version, 1);
    const QString appVersion = platform.bundleInfoString(QStringLiteral("CFBundleShortVersionString")).value_or(QStringLiteral("0"));
    const QString buildNumber = platform.bundleInfoString(QStringLiteral("CFBundleVersion")).value_or(QStringLiteral("0"));
    const bool sandboxReceipt = platform.hasSandboxReceipt();
    const QString modelName = platform.modelName();
    const QString architecture = platform.architecture();
    const QLocale locale = platform.locale();
    const QString localeIdentifier = locale.name();
    const QString region = regionOf(locale);
    const QString language = languageOf(locale);
    const QStringList preferred = platform.preferredLanguages();
    const QString preferredLanguage = identifierParts(preferred.isEmpty() ? QStringLiteral("zz-ZZ") : preferred.constFirst()).constFirst();
    const QDateTime now = platform.now();
    const QTimeZone zone = platform.timeZone();
    const std::optional<SignalPlatform::Screen> screen = platform.mainScreen();
    const QString notAvailable = QStringLiteral("N/A");

    QMap<QString, QString> p;
    p.insert(QStringLiteral("platform"), QStringLiteral("macOS"));
    p.insert(QStringLiteral("systemVersion"), systemVersion);
    p.insert(QStringLiteral("majorSystemVersion"), major);
    p.insert(QStringLiteral("majorMinorSystemVersion"), majorMinor);
    p.insert(QStringLiteral("appVersion"), appVersion);
    p.insert(QStringLiteral("buildNumber"), buildNumber);
    p.insert(QStringLiteral("isSimulator"), QStringLiteral("false"));
    p.insert(QStringLiteral("isDebug"), QStringLiteral("false"));
    p.insert(QStringLiteral("isTestFlight"), boolText(sandboxReceipt));
    p.insert(QStringLiteral("isAppStore"), boolText(!sandboxReceipt));
    p.insert(QStringLiteral("modelName"), modelName);
    p.insert(QStringLiteral("architecture"), architecture);
    p.insert(QStringLiteral("operatingSystem"), QStringLiteral("macOS"));
    p.insert(QStringLiteral("targetEnvironment"), QStringLiteral("native"));
    p.insert(QStringLiteral("locale"), localeIdentifier);
    p.insert(QStringLiteral("region"), region);
    p.insert(QStringLiteral("appLanguage"), language);
    p.insert(QStringLiteral("preferredLanguage"), preferredLanguage);
    p.insert(QStringLiteral("telemetryClientVersion"), clientVersion);
    p.insert(QStringLiteral("Tallyline.AppInfo.buildNumber"), buildNumber);
    p.insert(QStringLiteral("Tallyline.AppInfo.version"), appVersion);
    p.insert(QStringLiteral("Tallyline.AppInfo.versionAndBuildNumber"), appVersion + QStringLiteral(" (build ") + buildNumber + QStringLiteral(")"));
    p.insert(QStringLiteral("Tallyline.Device.architecture"), architecture);
    p.insert(QStringLiteral("Tallyline.Device.modelName"), modelName);
    p.insert(QStringLiteral("Tallyline.Device.operatingSystem"), QStringLiteral("macOS"));
    p.insert(QStringLiteral("Tallyline.Device.orientation"), QStringLiteral("Fixed"));
    p.insert(QStringLiteral("Tallyline.Device.platform"), QStringLiteral("macOS"));
    p.insert(QStringLiteral("Tallyline.Device.screenResolutionHeight"), screen ? decimalText(screen->height) : notAvailable);
    p.insert(QStringLiteral("Tallyline.Device.screenResolutionWidth"), screen ? decimalText(screen->width) : notAvailable);
    p.insert(QStringLiteral("Tallyline.Device.screenScaleFactor"), screen ? decimalText(screen->scale) : notAvailable);
    p.insert(QStringLiteral("Tallyline.Device.systemMajorMinorVersion"), majorMinor);
    p.insert(QStringLiteral("Tallyline.Device.systemMajorVersion"), major);
    p.insert(QStringLiteral("Tallyline.Device.systemVersion"), systemVersion);
    p.insert(QStringLiteral("Tallyline.Device.timeZone"), timeZoneText(zone.offsetFromUtc(now)));
    p.insert(QStringLiteral("Tallyline.RunContext.isAppStore"), boolText(!sandboxReceipt));
    p.insert(QStringLiteral("Tallyline.RunContext.isDebug"), QStringLiteral("false"));
    p.insert(QStringLiteral("Tallyline.RunContext.isSimulator"), QStringLiteral("false"));
    p.insert(QStringLiteral("Tallyline.RunContext.isTestFlight"), boolText(sandboxReceipt));
    p.insert(QStringLiteral("Tallyline.RunContext.language"), language);
    p.insert(QStringLiteral("Tallyline.RunContext.locale"), localeIdentifier);
    p.insert(QStringLiteral("Tallyline.RunContext.targetEnvironment"), QStringLiteral("native"));
    p.insert(QStringLiteral("Tallyline.SDK.name"), QStringLiteral("NativeSDK"));
    p.insert(QStringLiteral("Tallyline.SDK.nameAndVersion"), QStringLiteral("NativeSDK ") + clientVersion);
    p.insert(QStringLiteral("Tallyline.SDK.version"), clientVersion);
    p.insert(QStringLiteral("Tallyline.UserPreference.colorScheme"), platform.colorScheme());
    p.insert(QStringLiteral("Tallyline.UserPreference.language"), preferredLanguage);
    p.insert(QStringLiteral("Tallyline.UserPreference.layoutDirection"), platform.layoutDirection());
    p.insert(QStringLiteral("Tallyline.UserPreference.region"), region);

    if (const auto access = platform.universalAccess()) {
        p.insert(QStringLiteral("Tallyline.Accessibility.isReduceMotionEnabled"), boolText(access->reduceMotion));
        p.insert(QStringLiteral("Tallyline.Accessibility.isInvertColorsEnabled"), boolText(access->invertColors));
    }
    addCalendar(p, now.toTimeZone(zone));
    if (const auto extension = platform.bundleInfoString(QStringLiteral("NSExtensionPointIdentifier"))) {
        p.insert(QStringLiteral("extensionIdentifier"), *extension);
        p.insert(QStringLiteral("Tallyline.RunContext.extensionIdentifier"), *extension);
    }
    addRetention(p, now, zone, suite, sessions);
    return p;
}
