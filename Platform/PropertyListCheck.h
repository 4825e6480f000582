#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// libplist trusts what it reads: shared references are expanded into a tree without limit, deep
// nesting is read by recursion, and strings that are not well-formed are rewritten. These checks look at
// the raw bytes first, so such a file is refused before libplist sees it.
namespace PropertyListCheck {

// Deeper containers than this are refused; real property lists nest a dozen levels at most.
inline constexpr int maximumDepth = 256;
// A binary list may name one object from many places; this bounds the tree libplist would build
// (real lists hold a few thousand values; a quarter of a million already takes a noticeable time).
// An XML list is held to the same count, keys included: every change of a value writes the whole
// tree again.
inline constexpr qint64 maximumExpandedNodes = 250000;
// The same in bytes, strings and data included: one large string named from many places costs its
// size at every place once read. A list without shared objects stays near the size of its file.
inline constexpr qint64 maximumExpandedBytes = 64 * 1024 * 1024;
// What one value costs once read, beyond its text or bytes.
inline constexpr qint64 expandedBytesPerValue = 48;

// Why `bytes` (a binary property list, starting "bplist00") must not be handed to libplist, or
// nothing when it may.
std::optional<QString> binaryProblem(const QByteArray &bytes);

// The same for an XML property list: a NUL byte, text that is not UTF-8, containers nested too
// deeply, or more values than a binary one may expand to.
std::optional<QString> xmlProblem(const QByteArray &bytes);

} // namespace PropertyListCheck
