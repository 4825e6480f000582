#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// The whole file; empty when it cannot be read.
QByteArray readTestFile(const QString &path);
// Writes `bytes` to `path` in place of what was there, making its folder; whether all of it was written.
bool writeTestFile(const QString &path, const QByteArray &bytes);

// A temporary folder for the files a test writes, removed with it.
class ScratchFolder {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Writes `contents` to the file `name` in the folder and gives its path.
    QString file(const QString &name, const QByteArray &contents)
    {
        writeTestFile(path(name), contents);
        return path(name);
    }

private:
    QTemporaryDir m_dir;
};

// Whether the process runs (one that has ended but is not yet reaped by its parent counts as ended).
bool processIsRunning(qint64 pid);

// An application whose icon exists only as a scalable picture in the user's "hicolor" theme, a
// square of `color` edge to edge: installs the picture and a desktop entry naming it by its theme
// name, and returns the entry's path.
QString installApplicationWithScalableIcon(const QString &iconName, const QString &color);
