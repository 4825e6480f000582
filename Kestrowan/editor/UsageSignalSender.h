#pragma once

#include <QMap>
#include <QString>
#include <functional>

// How the editor's choices report a usage signal: the analytics facade, unless a test puts
// something else in its place.
using UsageSignalSender = std::function<void(const QString &name, const QMap<QString, QString> &parameters)>;

UsageSignalSender analyticsSignalSender();
