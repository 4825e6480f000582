#pragma once

#include <QString>
#include <QStringList>

// Writes the Dock's preferences file as the platform keeps it (a binary property list), with the
// given application files and folders, plus one key of no meaning to the Dock so tests can see
// that rewrites keep what they do not understand. With `withBundleIdentifiers`, each application
// tile also names its application as the platform's Dock does, by the file's base name.
void writeDockPreferences(const QString &path, const QString &orientation, bool autohide,
                          const QStringList &applications, const QStringList &folders,
                          bool withBundleIdentifiers = false);
int dockPreferencesCount(const QString &path, const char *key);
bool dockPreferencesHasKey(const QString &path, const char *key);
