#pragma once

#include <QString>

// Path text operations on plain strings, following the rules of the platform's path APIs: a trailing
// slash does not start a new component.

// The last path component ("Report.pdf" of "/Users/a/Report.pdf/"); "/" for the root.
QString lastPathComponent(const QString &path);
// The text after the last dot of the last path component, as written; empty when there is no dot.
QString pathExtension(const QString &path);
// The last path component without its extension and the dot ("Safari" of "/Applications/Safari.app").
QString lastPathComponentWithoutExtension(const QString &path);
