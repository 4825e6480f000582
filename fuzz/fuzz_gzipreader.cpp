// The bounded reader of compressed vector pictures against zlib. Whatever the bytes, it gives what
// zlib expands them to, member after member, whenever that fits the room it gives each member (the
// size the file's trailer names for its last one, and what is left of the bound); and nothing when
// zlib refuses them (a header whose check sum is wrong, a broken stream, a wrong trailer, bytes
// after the last member that are not a whole one) or when they expand further than that.
#include "Platform/codecs/GzipReader.h"
#include "fuzz/FuzzSupport.h"

#include <QtEndian>

#include <zlib.h>

#include <cstdlib>

namespace {

// Small enough that mutations reach it, large enough for real pictures among the seeds.
constexpr qsizetype kLimit = 1 << 20;

enum class Member { Expanded, Refused, TooLarge };

// One member at the start of `bytes` through zlib, into at most `room` bytes: how many bytes it
// took, appended to `out`.
Member zlibMember(QByteArrayView bytes, qsizetype room, QByteArray &out, qsizetype &used)
{
    z_stream stream{};
    // 16 + 15: a gzip header and trailer around a stream of the largest window.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        std::abort();
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    const qsizetype start = out.size();
    // One byte beyond the room tells a member that fills it from one that goes further.
    out.resize(start + room + 1);
    stream.next_out = reinterpret_cast<Bytef *>(out.data() + start);
    stream.avail_out = uInt(room + 1);
    const int result = inflate(&stream, Z_FINISH);
    const qsizetype made = qsizetype(stream.total_out);
    used = qsizetype(stream.total_in);
    inflateEnd(&stream);
    out.resize(start + made);
    if (result == Z_STREAM_END)
        return made > room ? Member::TooLarge : Member::Expanded;
    return made > room ? Member::TooLarge : Member::Refused;
}

// What the reader should give: every member through zlib, each within its room.
std::optional<QByteArray> expected(QByteArrayView bytes)
{
    if (!GzipReader::hasSignature(bytes))
        return std::nullopt;
    QByteArray out;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const QByteArrayView member = bytes.sliced(at);
        if (!GzipReader::hasSignature(member))
            return std::nullopt;
        if (bytes.size() < 4)
            return std::nullopt;
        const qsizetype named = qsizetype(qFromLittleEndian<quint32>(bytes.data() + bytes.size() - 4));
        if (named > kLimit)
            return std::nullopt;
        qsizetype used = 0;
        if (zlibMember(member, std::min(named, kLimit - out.size()), out, used) != Member::Expanded || used == 0)
            return std::nullopt;
        at += used;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    const std::optional<QByteArray> read = GzipReader::inflated(bytes, kLimit);
    const std::optional<QByteArray> oracle = expected(bytes);
    if (read.has_value() != oracle.has_value())
        std::abort();
    if (read && *read != *oracle)
        std::abort();
    return 0;
}
