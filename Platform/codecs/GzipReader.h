#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Compressed vector pictures (.svgz icons and documents): a file of a few hundred kilobytes can
// expand to gigabytes, and Qt's vector reader expands it whole before it looks at a byte. Here the
// expanded bytes are bounded before they are made.
namespace GzipReader {

// Whether the bytes start with gzip's magic.
bool hasSignature(QByteArrayView bytes);

// What the gzip data in `bytes` holds (every member, one after another), if that is no more than
// `limit` bytes; nothing when it is more, or when the data is broken or cut short (a header whose
// check sum is wrong among them, as zlib refuses it). No member is
// given more room than the file's trailer names for its last one (a member's own size is known
// only once it is expanded): a file that expands further than it says, or one of several members
// whose earlier ones are larger than its last, is refused.
std::optional<QByteArray> inflated(QByteArrayView bytes, qsizetype limit);

} // namespace GzipReader
