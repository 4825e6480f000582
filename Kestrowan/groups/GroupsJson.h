#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The bytes of "groups.json": an indented array of groups, the keys of every object in ascending
// order. Both directions work straight between the bytes and the model, without an intermediate
// JSON tree, and give exactly what the tree-based coding of AppGroup gives: the same bytes written,
// the same files accepted and refused, the same model read.
namespace GroupsJson {

QByteArray encode(const QList<AppGroup> &groups);

// The groups, or nullopt with a description of the fault in `failure`.
std::optional<QList<AppGroup>> decode(const QByteArray &bytes, QString *failure = nullptr);

// The tree-based reading that decode() must agree with; it also decides every file the fast reader
// leaves open.
std::optional<QList<AppGroup>> decodeThroughTree(const QByteArray &bytes, QString *failure = nullptr);

} // namespace GroupsJson
