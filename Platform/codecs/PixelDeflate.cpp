#include "Platform/codecs/PixelDeflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int kLiteralLengthSymbols = 286;
constexpr int kDistanceSymbols = 30;
constexpr int kEndOfBlock = 256;
constexpr int kLongestMatch = 258;
constexpr int kWindow = 32768;
constexpr int kLongestCode = 15;
constexpr int kLongestCodeLengthCode = 7;
// Rows are coded in blocks of about this many bytes, each with codes fitted to its own content.
constexpr qsizetype kBlockBytes = qsizetype(1) << 17;

// The length symbols (257 to 285) and their extra bits, for every match length.
struct LengthCodes {
    std::array<uint16_t, kLongestMatch + 1> symbol{};
    std::array<uint8_t, kLongestMatch + 1> extraBits{};
    std::array<uint16_t, kLongestMatch + 1> extra{};

    LengthCodes()
    {
        static constexpr int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr int bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int code = 0; code < 29; ++code) {
            // 258 has a symbol of its own, so the symbol before it stops at 257.
            const int last = code == 28 ? kLongestMatch : base[code + 1] - 1;
            for (int length = base[code]; length <= last; ++length) {
                symbol[size_t(length)] = uint16_t(257 + code);
                extraBits[size_t(length)] = uint8_t(bits[code]);
                extra[size_t(length)] = uint16_t(length - base[code]);
            }
        }
    }
};

const LengthCodes &lengthCodes()
{
    static const LengthCodes codes;
    return codes;
}

struct Distance {
    int symbol = 0;
    int extraBits = 0;
    int extra = 0;
};

Distance distanceCode(int distance)
{
    static constexpr int base[kDistanceSymbols] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                                   193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr int bits[kDistanceSymbols] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int symbol = 0;
    while (symbol + 1 < kDistanceSymbols && base[symbol + 1] <= distance)
        ++symbol;
    return Distance{symbol, bits[symbol], distance - base[symbol]};
}

// Huffman code lengths for the symbols' counts, none longer than `limit`. Every symbol counted gets
// a code, and at least two symbols do: a code of one symbol is not complete, which some readers refuse.
std::vector<uint8_t> codeLengths(const uint32_t *counts, int symbols, int limit)
{
    std::vector<int> coded;
    for (int s = 0; s < symbols; ++s) {
        if (counts[s] > 0)
            coded.push_back(s);
    }
    for (int s = 0; coded.size() < 2 && s < symbols; ++s) {
        if (counts[s] == 0)
            coded.push_back(s);
    }
    const auto weight = [counts](int s) { return std::max<uint64_t>(counts[s], 1); };
    std::stable_sort(coded.begin(), coded.end(), [&weight](int a, int b) { return weight(a) < weight(b); });
    const size_t leaves = coded.size();
    // The tree by two queues: the leaves in order of weight, and the joined nodes, made in order too.
    std::vector<uint64_t> weights(2 * leaves - 1);
    std::vector<size_t> parent(2 * leaves - 1, 0);
    for (size_t i = 0; i < leaves; ++i)
        weights[i] = weight(coded[i]);
    size_t nextLeaf = 0;
    size_t nextNode = leaves;
    const auto lightest = [&](size_t made) {
        if (nextLeaf < leaves && (nextNode >= made || weights[nextLeaf] <= weights[nextNode]))
            return nextLeaf++;
        return nextNode++;
    };
    for (size_t made = leaves; made < 2 * leaves - 1; ++made) {
        const size_t a = lightest(made);
        const size_t b = lightest(made);
        weights[made] = weights[a] + weights[b];
        parent[a] = parent[b] = made;
    }
    std::vector<int> depth(2 * leaves - 1, 0);
    for (size_t i = 2 * leaves - 1; i-- > 1;)
        depth[i - 1] = depth[parent[i - 1]] + 1;

    // How many codes of each length; the longest are folded into `limit` and the lengths made to fit
    // again by moving codes one length down, each move keeping the code complete.
    std::vector<int> perLength(size_t(std::max(limit, *std::max_element(depth.begin(), depth.begin() + qsizetype(leaves))) + 1), 0);
    for (size_t i = 0; i < leaves; ++i)
        ++perLength[size_t(depth[i])];
    for (size_t length = size_t(limit) + 1; length < perLength.size(); ++length) {
        perLength[size_t(limit)] += perLength[length];
        perLength[length] = 0;
    }
    uint64_t total = 0;
    for (int length = 1; length <= limit; ++length)
        total += uint64_t(perLength[size_t(length)]) << (limit - length);
    while (total > (uint64_t(1) << limit)) {
        --perLength[size_t(limit)];
        for (int length = limit - 1; length > 0; --length) {
            if (perLength[size_t(length)] > 0) {
                --perLength[size_t(length)];
                perLength[size_t(length) + 1] += 2;
                break;
            }
        }
        --total;
    }
    // The rarest symbols take the longest codes.
    std::vector<uint8_t> lengths(size_t(symbols), 0);
    size_t next = 0;
    for (int length = limit; length > 0; --length) {
        for (int n = perLength[size_t(length)]; n > 0; --n)
            lengths[size_t(coded[next++])] = uint8_t(length);
    }
    return lengths;
}

// The canonical codes of the lengths, bit-reversed: the stream takes each code's first bit first.
std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t> &lengths)
{
    std::array<int, kLongestCode + 2> perLength{};
    for (const uint8_t length : lengths)
        ++perLength[length];
    perLength[0] = 0;
    std::array<int, kLongestCode + 2> next{};
    int code = 0;
    for (int length = 1; length <= kLongestCode; ++length) {
        code = (code + perLength[size_t(length) - 1]) << 1;
        next[size_t(length)] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t s = 0; s < lengths.size(); ++s) {
        const int length = lengths[s];
        if (length == 0)
            continue;
        int value = next[size_t(length)]++;
        int reversed = 0;
        for (int bit = 0; bit < length; ++bit, value >>= 1)
            reversed = (reversed << 1) | (value & 1);
        codes[s] = uint16_t(reversed);
    }
    return codes;
}

// Writes bits first bit first into a buffer made large enough beforehand.
class BitWriter {
public:
    explicit BitWriter(uint8_t *out) : m_start(out), m_out(out) {}

    // `count` is at most 32.
    void put(uint32_t bits, int count)
    {
        m_buffer |= uint64_t(bits) << m_count;
        m_count += count;
        if (m_count >= 32) {
            const uint32_t word = uint32_t(m_buffer);
            const uint8_t bytes[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
            std::memcpy(m_out, bytes, 4);
            m_out += 4;
            m_buffer >>= 32;
            m_count -= 32;
        }
    }

    void alignToByte()
    {
        while (m_count > 0) {
            *m_out++ = uint8_t(m_buffer);
            m_buffer >>= 8;
            m_count = std::max(0, m_count - 8);
        }
    }

    size_t written() const { return size_t(m_out - m_start); }

private:
    uint8_t *m_start;
    uint8_t *m_out;
    uint64_t m_buffer = 0;
    int m_count = 0;
};

// Some literal bytes straight from the rows, then a match from one of the places a run can repeat
// (none when `matchLength` is 0).
struct Token {
    qsizetype literalsAt;
    uint32_t literals;
    uint16_t matchLength;
    uint8_t place;
};

template <int bytesPerPixel>
uint32_t pixelAt(const uint8_t *pixel)
{
    if constexpr (bytesPerPixel == 4) {
        uint32_t value;
        std::memcpy(&value, pixel, 4);
        return value;
    } else {
        return uint32_t(pixel[0]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[2]) << 16;
    }
}

class Blocks {
public:
    Blocks(const uint8_t *rows, int width, int height, int bytesPerPixel, uint8_t *out)
        : m_rows(rows), m_width(width), m_height(height), m_bytesPerPixel(bytesPerPixel),
          m_rowBytes(1 + qsizetype(width) * bytesPerPixel), m_bits(out)
    {
        // The pixel to the left; above, when a row is within the window: straight up, and up to
        // the right and to the left, where the steps of a diagonal gradient repeat.
        m_places.push_back(Place{bytesPerPixel, 0, distanceCode(bytesPerPixel)});
        m_rowsAbove = m_rowBytes + bytesPerPixel <= kWindow;
        if (m_rowsAbove) {
            for (const int dx : {0, 1, -1})
                m_places.push_back(Place{int(m_rowBytes) - dx * bytesPerPixel, dx, distanceCode(int(m_rowBytes) - dx * bytesPerPixel)});
        }
    }

    // The largest stream `bytes` of rows can take: no literal code is longer than 15 bits, no match
    // of three bytes or more takes more than 48, and each block adds a header.
    // Nothing when it would not fit in a qsizetype (which has 32 bits on some machines).
    static std::optional<qsizetype> largestStream(qsizetype bytes)
    {
        const qsizetype slack = 1024 * (bytes / kBlockBytes + 2) + 2 + 4;
        if (bytes > (std::numeric_limits<qsizetype>::max() - slack) / 2)
            return std::nullopt;
        return bytes * 2 + slack;
    }

    size_t write()
    {
        const int rowsPerBlock = int(std::max<qsizetype>(1, kBlockBytes / m_rowBytes));
        for (int top = 0; top < m_height; top += rowsPerBlock) {
            const int end = std::min(m_height, top + rowsPerBlock);
            m_tokens.clear();
            m_literalCounts.fill(0);
            m_distanceCounts.fill(0);
            for (int y = top; y < end; ++y) {
                if (m_bytesPerPixel == 4)
                    tokenizeRow<4>(y);
                else
                    tokenizeRow<3>(y);
            }
            writeBlock(end == m_height);
        }
        m_bits.alignToByte();
        return m_bits.written();
    }

private:
    void literals(qsizetype at, int count)
    {
        const uint8_t *bytes = m_rows + at;
        for (int i = 0; i < count; ++i)
            ++m_literalCounts[bytes[i]];
        if (!m_tokens.empty() && m_tokens.back().matchLength == 0 && m_tokens.back().literalsAt + m_tokens.back().literals == at)
            m_tokens.back().literals += uint32_t(count);
        else
            m_tokens.push_back(Token{at, uint32_t(count), 0, 0});
    }

    void match(int length, size_t place)
    {
        if (!m_tokens.empty() && m_tokens.back().matchLength == 0)
            m_tokens.back().matchLength = uint16_t(length);
        else
            m_tokens.push_back(Token{0, 0, uint16_t(length), 0});
        m_tokens.back().place = uint8_t(place);
        ++m_literalCounts[lengthCodes().symbol[size_t(length)]];
        ++m_distanceCounts[size_t(m_places[place].distance.symbol)];
    }

    template <int bytesPerPixel>
    void tokenizeRow(int y)
    {
        const qsizetype rowAt = qsizetype(y) * m_rowBytes;
        literals(rowAt, 1);
        const uint8_t *pixels = m_rows + rowAt + 1;
        const bool above = y > 0 && m_rowsAbove;
        int x = 0;
        while (x < m_width) {
            const uint8_t *pixel = pixels + qsizetype(x) * bytesPerPixel;
            const uint32_t value = pixelAt<bytesPerPixel>(pixel);
            // Which places the run can start from: whole pixels within the row, already in the stream.
            bool from[4] = {x > 0 && value == pixelAt<bytesPerPixel>(pixel - bytesPerPixel), false, false, false};
            if (above) {
                const uint8_t *over = pixel - m_rowBytes;
                from[1] = value == pixelAt<bytesPerPixel>(over);
                from[2] = x + 1 < m_width && value == pixelAt<bytesPerPixel>(over + bytesPerPixel);
                from[3] = x > 0 && value == pixelAt<bytesPerPixel>(over - bytesPerPixel);
            }
            if (!(from[0] || from[1] || from[2] || from[3])) {
                literals(rowAt + 1 + qsizetype(x) * bytesPerPixel, bytesPerPixel);
                ++x;
                continue;
            }
            int run = 0;
            size_t chosen = 0;
            for (size_t p = 0; p < m_places.size(); ++p) {
                if (!from[p])
                    continue;
                const Place &place = m_places[p];
                const int last = place.dx > 0 ? m_width - place.dx : m_width;
                const uint8_t *source = pixel - place.back;
                // Only a run past the longest found so far can win: a place whose pixel there differs
                // is not followed further.
                if (run > 0
                    && (x + run >= last
                        || pixelAt<bytesPerPixel>(pixel + qsizetype(run) * bytesPerPixel)
                               != (p == 0 ? value : pixelAt<bytesPerPixel>(source + qsizetype(run) * bytesPerPixel))))
                    continue;
                int length = 1;
                if (p == 0) {
                    // A copy from one pixel back repeats the pixel before the run.
                    while (x + length < last && pixelAt<bytesPerPixel>(pixel + qsizetype(length) * bytesPerPixel) == value)
                        ++length;
                } else {
                    while (x + length < last
                           && pixelAt<bytesPerPixel>(pixel + qsizetype(length) * bytesPerPixel)
                                  == pixelAt<bytesPerPixel>(source + qsizetype(length) * bytesPerPixel))
                        ++length;
                }
                // The first place wins a tie: its distance takes no extra bits.
                if (length > run) {
                    run = length;
                    chosen = p;
                }
            }
            PixelDeflate::forEachMatchPiece(qsizetype(run) * bytesPerPixel, [this, chosen](int piece) { match(piece, chosen); });
            x += run;
        }
    }

    void writeBlock(bool last)
    {
        ++m_literalCounts[kEndOfBlock];
        const std::vector<uint8_t> literalLengths = codeLengths(m_literalCounts.data(), kLiteralLengthSymbols, kLongestCode);
        const std::vector<uint8_t> distanceLengths = codeLengths(m_distanceCounts.data(), kDistanceSymbols, kLongestCode);
        const std::vector<uint16_t> literalCodes = canonicalCodes(literalLengths);
        const std::vector<uint16_t> distanceCodes = canonicalCodes(distanceLengths);
        writeHeader(last, literalLengths, distanceLengths);

        // Each literal byte's code and length in one word, for the long runs of literals.
        std::array<uint32_t, 256> literalWords{};
        for (size_t b = 0; b < 256; ++b)
            literalWords[b] = uint32_t(literalCodes[b]) | uint32_t(literalLengths[b]) << 16;
        const LengthCodes &codes = lengthCodes();
        for (const Token &token : m_tokens) {
            const uint8_t *bytes = m_rows + token.literalsAt;
            for (uint32_t i = 0; i < token.literals; ++i) {
                const uint32_t word = literalWords[bytes[i]];
                m_bits.put(word & 0xffff, int(word >> 16));
            }
            if (token.matchLength == 0)
                continue;
            const size_t symbol = codes.symbol[token.matchLength];
            m_bits.put(literalCodes[symbol], literalLengths[symbol]);
            if (codes.extraBits[token.matchLength] > 0)
                m_bits.put(codes.extra[token.matchLength], codes.extraBits[token.matchLength]);
            const Distance &distance = m_places[token.place].distance;
            m_bits.put(distanceCodes[size_t(distance.symbol)], distanceLengths[size_t(distance.symbol)]);
            if (distance.extraBits > 0)
                m_bits.put(uint32_t(distance.extra), distance.extraBits);
        }
        m_bits.put(literalCodes[kEndOfBlock], literalLengths[kEndOfBlock]);
    }

    void writeHeader(bool last, const std::vector<uint8_t> &literalLengths, const std::vector<uint8_t> &distanceLengths)
    {
        int literals = kLiteralLengthSymbols;
        while (literals > 257 && literalLengths[size_t(literals) - 1] == 0)
            --literals;
        int distances = kDistanceSymbols;
        while (distances > 1 && distanceLengths[size_t(distances) - 1] == 0)
            --distances;

        // The code lengths, run-length coded: 16 repeats the last length 3 to 6 times, 17 and 18
        // give 3 to 10 and 11 to 138 zeros.
        std::vector<uint8_t> lengths(literalLengths.begin(), literalLengths.begin() + literals);
        lengths.insert(lengths.end(), distanceLengths.begin(), distanceLengths.begin() + distances);
        struct Item {
            uint8_t symbol;
            uint8_t extra;
        };
        std::vector<Item> items;
        std::array<uint32_t, 19> itemCounts{};
        const auto add = [&](int symbol, int extra) {
            items.push_back(Item{uint8_t(symbol), uint8_t(extra)});
            ++itemCounts[size_t(symbol)];
        };
        for (size_t i = 0; i < lengths.size();) {
            const uint8_t length = lengths[i];
            size_t run = 1;
            while (i + run < lengths.size() && lengths[i + run] == length)
                ++run;
            i += run;
            if (length == 0) {
                while (run >= 11) {
                    const size_t zeros = std::min<size_t>(run, 138);
                    add(18, int(zeros - 11));
                    run -= zeros;
                }
                if (run >= 3) {
                    add(17, int(run - 3));
                    run = 0;
                }
            } else {
                add(length, 0);
                --run;
                while (run >= 3) {
                    const size_t repeats = std::min<size_t>(run, 6);
                    add(16, int(repeats - 3));
                    run -= repeats;
                }
            }
            for (; run > 0; --run)
                add(length, 0);
        }
        const std::vector<uint8_t> itemLengths = codeLengths(itemCounts.data(), 19, kLongestCodeLengthCode);
        const std::vector<uint16_t> itemCodes = canonicalCodes(itemLengths);
        static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        int itemLengthCount = 19;
        while (itemLengthCount > 4 && itemLengths[size_t(order[itemLengthCount - 1])] == 0)
            --itemLengthCount;

        m_bits.put(last ? 1 : 0, 1);
        m_bits.put(2, 2); // Huffman codes of the block's own
        m_bits.put(uint32_t(literals - 257), 5);
        m_bits.put(uint32_t(distances - 1), 5);
        m_bits.put(uint32_t(itemLengthCount - 4), 4);
        for (int i = 0; i < itemLengthCount; ++i)
            m_bits.put(itemLengths[size_t(order[i])], 3);
        static constexpr int itemExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
        for (const Item &item : items) {
            m_bits.put(itemCodes[item.symbol], itemLengths[item.symbol]);
            if (itemExtraBits[item.symbol] > 0)
                m_bits.put(item.extra, itemExtraBits[item.symbol]);
        }
    }

    struct Place {
        // Bytes back in the stream, and pixels to the right of the pixel above (for the rows above).
        int back;
        int dx;
        Distance distance;
    };

    const uint8_t *m_rows;
    int m_width;
    int m_height;
    int m_bytesPerPixel;
    qsizetype m_rowBytes;
    BitWriter m_bits;
    std::vector<Place> m_places;
    bool m_rowsAbove = false;
    std::vector<Token> m_tokens;
    std::array<uint32_t, kLiteralLengthSymbols> m_literalCounts{};
    std::array<uint32_t, kDistanceSymbols> m_distanceCounts{};
};

} // namespace

namespace PixelDeflate {

std::optional<QByteArray> compress(const QByteArray &rows, int width, int height, int bytesPerPixel)
{
    if (width < 1 || height < 1 || (bytesPerPixel != 3 && bytesPerPixel != 4))
        return std::nullopt;
    const qsizetype rowBytes = 1 + qsizetype(width) * bytesPerPixel;
    if (rowBytes > std::numeric_limits<qsizetype>::max() / height || rows.size() != rowBytes * height)
        return std::nullopt;
    // Written in place into a buffer of the largest size the stream can take, which is given back.
    const std::optional<qsizetype> largest = Blocks::largestStream(rows.size());
    if (!largest)
        return std::nullopt;
    QByteArray stream(*largest, Qt::Uninitialized);
    auto *out = reinterpret_cast<uint8_t *>(stream.data());
    // Deflate with a window of 32 KiB, no dictionary, the check bits making the pair a multiple of 31.
    out[0] = 0x78;
    out[1] = 0x01;
    size_t length = 2 + Blocks(reinterpret_cast<const uint8_t *>(rows.constData()), width, height, bytesPerPixel, out + 2).write();
    const uint32_t check = libdeflate_adler32(1, rows.constData(), size_t(rows.size()));
    for (int shift = 24; shift >= 0; shift -= 8)
        out[length++] = uint8_t(check >> shift);
    stream.truncate(qsizetype(length));
    stream.squeeze();
    return stream;
}

} // namespace PixelDeflate
