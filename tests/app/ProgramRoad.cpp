#include "tests/app/ProgramRoad.h"

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/ProgramProcess.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

using namespace ProgramWindows;

ProgramRoad::ProgramRoad()
{
    collectOutput(m_program, m_log);
}

QString ProgramRoad::programPath()
{
    return QStringLiteral(KESTROWAN_PROGRAM);
}

bool ProgramRoad::grantDockAccess()
{
    return TrustStore::grant(QFileInfo(programPath()).canonicalFilePath());
}

QList<ProgramRoad::Note> ProgramRoad::numberedNotes(const QString &name, int count)
{
    QList<Note> notes;
    for (int i = 1; i <= count; ++i)
        notes.append({QStringLiteral("%1 %2").arg(name).arg(i), QStringLiteral("Note %1").arg(i)});
    return notes;
}

AppGroup ProgramRoad::makeNotesGroup(const QString &name, const QList<Note> &notes, AppGroup::DisplayStyle style)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    group.displayStyle = style;
    for (const auto &[fileName, title] : notes) {
        const QString note = m_dock.home + QStringLiteral("/Documents/") + fileName + QStringLiteral(".txt");
        QDir().mkpath(QFileInfo(note).path());
        QFile(note).open(QIODevice::WriteOnly);
        group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + note, title, note});
    }
    return group;
}

QString ProgramRoad::storage() const
{
    return m_dock.home + QStringLiteral("/.local/share/Kestrowan");
}

bool ProgramRoad::writeGroups(const QList<AppGroup> &groups)
{
    QDir().mkpath(storage());
    QFile file(storage() + QStringLiteral("/groups.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray json = QJsonDocument(AppGroup::listToJson(groups)).toJson();
    return file.write(json) == json.size();
}

void ProgramRoad::setDefaults(const QVariantMap &values)
{
    SettingsFileUserDefaults defaults(QString{});
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        defaults.setValue(value.key(), value.value());
    defaults.synchronize();
}

void ProgramRoad::writeUserSettings(const QString &interactionMode, const QVariantMap &more)
{
    QVariantMap values = more;
    values.insert(QStringLiteral("interactionMode"), interactionMode);
    values.insert(QStringLiteral("didCompleteOnboarding"), true);
    values.insert(QStringLiteral("showInDock"), true);
    setDefaults(values);
}

bool ProgramRoad::launchProgram(const QString &readyLine)
{
    m_log.clear();
    if (!ProgramProcess::start(m_program, programPath(), ProgramProcess::environment())) {
        qWarning("the program did not start: %s", qPrintable(m_program.errorString()));
        return false;
    }
    if (!waitForLine(readyLine)) {
        qWarning("the program did not write \"%s\"", qPrintable(readyLine));
        return false;
    }
    return true;
}

bool ProgramRoad::waitForLine(const QString &text, int from, int timeout)
{
    return QTest::qWaitFor([&] { return lineIndex(text, from) >= 0; }, timeout);
}

int ProgramRoad::lineIndex(const QString &text, int from) const
{
    for (int i = from; i < m_log.size(); ++i) {
        if (m_log.at(i).contains(text))
            return i;
    }
    return -1;
}

std::optional<X11Windows::Window> ProgramRoad::shownMainWindow() const
{
    for (const X11Windows::Window &window : X11Windows().all()) {
        // A popup is narrower than the main window, which keeps its width even on a small screen.
        if (window.pid == m_program.processId() && window.viewable && window.name == QLatin1String("Kestrowan")
            && window.geometry.width() >= 600)
            return window;
    }
    return std::nullopt;
}

bool ProgramRoad::aboveMainWindow(const std::function<bool(const X11Windows::Window &)> &isIt) const
{
    int windowAt = -1, mainAt = -1;
    const QList<X11Windows::Window> windows = X11Windows().all();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const X11Windows::Window &window = windows.at(i);
        if (window.pid != m_program.processId() || !window.viewable)
            continue;
        if (isIt(window))
            windowAt = int(i);
        else if (window.name == QLatin1String("Kestrowan") && window.geometry.width() >= 600)
            mainAt = int(i);
    }
    return windowAt >= 0 && mainAt >= 0 && windowAt > mainAt;
}

std::optional<QRect> ProgramRoad::hoverUntilPopupBeside(const QString &group)
{
    std::optional<QRect> popup;
    (void)QTest::qWaitFor([&] {
        const std::optional<DockItemInfo> tile = tileOf(group);
        if (!tile)
            return false;
        m_pointer.move(tile->frame.center().toPoint() + QPoint(1, 0));
        m_pointer.move(tile->frame.center().toPoint());
        return QTest::qWaitFor([&] { return (popup = popupBeside(m_program.processId(), tile->frame.toRect())).has_value(); },
                               500);
    }, roadTimeout);
    return popup;
}

void ProgramRoad::printProgramOutput() const
{
    for (const QString &line : m_log)
        qInfo("program: %s", qPrintable(line));
}

void ProgramRoad::printWindowsAndTiles()
{
    for (const QRect &window : windowsOfProcess(m_program.processId()))
        qInfo("window: %s", qPrintable(describe(window)));
    for (const DockItemInfo &item : DockPositionResolver::readDockItems())
        qInfo("tile %s: %s", qPrintable(item.title), qPrintable(describe(item.frame.toRect())));
}
