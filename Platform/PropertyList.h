#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <optional>

// Property lists (XML and binary) as QVariant trees:
//   dict <-> QVariantMap, array <-> QVariantList, string <-> QString, bool <-> bool,
//   integer <-> qint64, real <-> double, data <-> QByteArray, date <-> QDateTime (UTC),
//   uid <-> PropertyList::Uid.
// A parse followed by a write keeps every value and its type, so files we rewrite keep what we
// don't understand.
namespace PropertyList {

struct Uid {
    quint64 value = 0;
    friend bool operator==(const Uid &, const Uid &) = default;
};

// Largest input we parse; property lists of this program and of the Dock are a few hundred KiB at most.
inline constexpr qsizetype maximumInputSize = 16 * 1024 * 1024;

// XML or binary; nullopt for anything that is not a well-formed property list (or is too large
// or nested too deeply).
std::optional<QVariant> parse(const QByteArray &bytes);

// A stored property-list file that may be missing: its bytes, empty when nothing is at `path`;
// nullopt, with the reason in `failure` when given, when it is not a regular file of a sane size or
// cannot be read.
std::optional<QByteArray> readStoredFile(const QString &path, QString *failure = nullptr);
// The dictionary at the root of stored bytes, where no bytes hold an empty one; nullopt for anything
// else.
std::optional<QVariantMap> storedDictionary(const QByteArray &bytes);

// Values of another type than the one asked for count as absent.
QVariantMap mapIn(const QVariant &value);
QString stringIn(const QVariantMap &dictionary, const QString &key, const QString &fallback = {});

// Whether two values read from or meant for a property list are the same: as QVariant's equality,
// except that a real that is not a number equals itself, as it does in the file.
bool sameValue(const QVariant &a, const QVariant &b);

// `stored` (the bytes of a dictionary property list; empty counts as an empty dictionary) as a binary
// property list with `key` set to `value`. Every value the change does not touch is written back
// exactly as it was stored, whatever its type or range, and the dictionaries keep their key order.
// nullopt when `stored` cannot be read as a dictionary.
std::optional<QByteArray> withKeyReplaced(const QByteArray &stored, const QString &key, const QVariant &value);

// `stored` (the bytes of a dictionary property list; empty counts as none) with each key of
// `changes` set to its value, or removed where the value is invalid, in the form it was stored in
// (binary or XML; a new file in the stored form below). The entries the change does not touch are
// written back as they stand in the file, not as this program reads them. nullopt, with the reason
// in `failure`, when the result would not read back with exactly those values, or would be refused
// by the reader (too large once read, among others): such a file is never written.
std::optional<QByteArray> withTopLevelChanges(const QByteArray &stored, const QVariantMap &changes, QString *failure = nullptr);
// The binary form of any property list this reads; nullopt for anything it does not.
std::optional<QByteArray> asBinary(const QByteArray &bytes);

QByteArray toBinary(const QVariant &value);
// XML keeps dates to the second and strings only of characters XML 1.0 allows (a carriage return
// comes back as a line feed), and libplist reads a UID written as XML back as a dictionary: for a
// value holding any of these, the XML form loses it or is refused by other readers.
QByteArray toXml(const QVariant &value);
bool fitsXml(const QVariant &value);
// The form a stored file of ours is written in: XML when it keeps every value as it is, else the
// binary form, which keeps them all; any reader of property lists reads either.
QByteArray toStoredForm(const QVariant &value);

// Replaces the file at `path` by `value` as a binary property list, all at once: a failed write
// leaves the old file as it was. Makes the folder when it is missing.
bool writeBinaryFile(const QString &path, const QVariant &value);
bool writeBytesAtomically(const QString &path, const QByteArray &bytes);

} // namespace PropertyList

Q_DECLARE_METATYPE(PropertyList::Uid)
