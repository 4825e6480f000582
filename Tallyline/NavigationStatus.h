#pragma once

#include <QObject>
#include <QString>

#include <optional>

// Where the last navigation signal of this process went, so that a caller who knows only the new
// path can still report the move. Never saved: every launch starts with no previous path. Used on
// the main thread only.
class NavigationStatus
{
public:
    static NavigationStatus &shared();

    std::optional<QString> previousNavigationPath;
};

// Reports a navigation to `path` each time the view it watches comes into view. Made by
// `Tallyline::trackNavigation`; it lives as the view's child.
class TrackNavigationModifier final : public QObject
{
public:
    TrackNavigationModifier(QObject *view, const QString &path);

    QString path() const { return m_path; }
    // Takes effect the next time the view comes into view.
    void setPath(const QString &path) { m_path = path; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString m_path;
};
