#include "Platform/codecs/GzipReader.h"

#include <QtEndian>

#include <libdeflate.h>

#include <algorithm>
#include <memory>

namespace {

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor *decompressor) const { libdeflate_free_decompressor(decompressor); }
};

// gzip's fixed header and its trailer (CRC and size), the least a member can take.
constexpr qsizetype kSmallestMember = 18;
constexpr qsizetype kFixedHeader = 10;
// The header's flags: a check sum of the header, extra fields, a name, a comment.
constexpr quint8 kHeaderChecksum = 0x02;
constexpr quint8 kExtraField = 0x04;
constexpr quint8 kName = 0x08;
constexpr quint8 kComment = 0x10;

// Where the zero byte that ends a name or a comment starting at `at` is; -1 when there is none.
qsizetype endOfText(QByteArrayView member, qsizetype at)
{
    return at < member.size() ? member.indexOf('\0', at) : -1;
}

// Whether the member's header is whole and, where it names one, its check sum holds: the low
// half of the CRC-32 of every header byte before it. libdeflate skips that check sum unread.
bool headerHolds(QByteArrayView member)
{
    const quint8 flags = quint8(member.at(3));
    qsizetype at = kFixedHeader;
    if (flags & kExtraField) {
        if (member.size() - at < 2)
            return false;
        at += 2 + qsizetype(qFromLittleEndian<quint16>(member.data() + at));
    }
    for (const quint8 text : {kName, kComment}) {
        if (!(flags & text))
            continue;
        const qsizetype end = endOfText(member, at);
        if (end < 0)
            return false;
        at = end + 1;
    }
    if (!(flags & kHeaderChecksum))
        return true;
    if (member.size() - at < 2)
        return false;
    const quint32 crc = libdeflate_crc32(0, member.data(), size_t(at));
    return quint16(crc) == qFromLittleEndian<quint16>(member.data() + at);
}

} // namespace

namespace GzipReader {

bool hasSignature(QByteArrayView bytes)
{
    return bytes.size() >= 2 && quint8(bytes.at(0)) == 0x1f && quint8(bytes.at(1)) == 0x8b;
}

std::optional<QByteArray> inflated(QByteArrayView bytes, qsizetype limit)
{
    if (!hasSignature(bytes) || limit < 0)
        return std::nullopt;
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        return std::nullopt;
    QByteArray out;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const QByteArrayView member = bytes.sliced(at);
        if (member.size() < kSmallestMember || !hasSignature(member) || !headerHolds(member))
            return std::nullopt;
        // The file's trailer names the size of its last member (modulo 4 GiB), and a whole file is
        // nearly always that one member: no member is given more room than that, so a file that
        // hides how far it expands is refused at the size it named rather than at the bound.
        const qsizetype named = qsizetype(qFromLittleEndian<quint32>(bytes.data() + bytes.size() - 4));
        const qsizetype room = std::min(named, limit - out.size());
        if (named > limit)
            return std::nullopt;
        const qsizetype start = out.size();
        out.resize(start + room);
        size_t used = 0, made = 0;
        const libdeflate_result result = libdeflate_gzip_decompress_ex(decompressor.get(), member.data(), size_t(member.size()),
                                                                       out.data() + start, size_t(room), &used, &made);
        if (result != LIBDEFLATE_SUCCESS || used == 0)
            return std::nullopt;
        out.resize(start + qsizetype(made));
        at += qsizetype(used);
    }
    return out;
}

} // namespace GzipReader
