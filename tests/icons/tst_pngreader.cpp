// Icons and the composed folder pictures are read by a PNG reader of our own, faster than Qt's;
// whatever it does not take (other kinds of PNG, broken files) Qt reads as before. Its pixels are
// Qt's, for files written by Qt and by libpng with every row filter; broken files cost
// it nothing and are answered by the real icon helper exactly as Qt answers them.

#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/HelperIconDecoder.h"
#include "Platform/codecs/PngReader.h"
#include "Platform/thumbnailhelper/IconDrawing.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <vector>

namespace {

constexpr int kDeadlineMs = 120000;
constexpr qint64 kNoLimit = qint64(1) << 40;

enum class Kind { Rgba, Rgb, Grey, GreyAlpha, Palette };

struct LibpngOptions {
    Kind kind = Kind::Rgba;
    int depth = 8;
    int filters = PNG_ALL_FILTERS;
    bool interlaced = false;
    // The size of each image data chunk libpng writes.
    size_t chunkBytes = 8192;
    bool transparentColour = false;
};

// Colours and alpha that change from pixel to pixel and row to row, every alpha value among them,
// with wholly clear and wholly opaque parts as icons have: every filter has something to undo.
QImage testPicture(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage picture(width, height, QImage::Format_RGBA8888);
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const bool noise = (x / 5 + y / 3) % 3 == 0;
            const int alpha = x < width / 6 ? 0 : x > width * 5 / 6 ? 255 : int(random.bounded(256));
            row[x * 4 + 0] = uchar(noise ? random.bounded(256) : (x * 7 + y) & 0xff);
            row[x * 4 + 1] = uchar(noise ? random.bounded(256) : (y * 5) & 0xff);
            row[x * 4 + 2] = uchar(noise ? random.bounded(256) : (x * y) & 0xff);
            row[x * 4 + 3] = uchar(alpha);
        }
    }
    return picture;
}

void appendToArray(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

// The picture (RGBA8888) as libpng writes it with the options.
QByteArray libpngFile(const QImage &picture, const LibpngOptions &options)
{
    const int channels = options.kind == Kind::Rgba ? 4 : options.kind == Kind::Rgb ? 3 : options.kind == Kind::GreyAlpha ? 2 : 1;
    const int sampleBytes = options.depth / 8;
    std::vector<std::vector<png_byte>> rows(size_t(picture.height()), std::vector<png_byte>(size_t(picture.width() * channels * sampleBytes)));
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *source = picture.constScanLine(y);
        png_byte *out = rows[size_t(y)].data();
        for (int x = 0; x < picture.width(); ++x) {
            const uchar *rgba = source + x * 4;
            const uchar samples[4] = {rgba[0], options.kind == Kind::GreyAlpha ? rgba[3] : rgba[1], rgba[2], rgba[3]};
            for (int c = 0; c < channels; ++c) {
                *out++ = samples[c];
                if (sampleBytes == 2)
                    *out++ = png_byte(samples[c] ^ 0x5a);
            }
        }
    }
    std::vector<png_bytep> rowPointers;
    for (auto &row : rows)
        rowPointers.push_back(row.data());
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[size_t(i)] = png_color{png_byte(i), png_byte(255 - i), png_byte(i / 2)};
    png_byte paletteAlpha[16];
    for (int i = 0; i < 16; ++i)
        paletteAlpha[i] = png_byte(i * 16);
    png_color_16 transparent{};
    transparent.red = transparent.green = transparent.blue = transparent.gray = 7;

    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &bytes, appendToArray, nullptr);
    const int colourType = options.kind == Kind::Rgba ? PNG_COLOR_TYPE_RGBA
        : options.kind == Kind::Rgb                   ? PNG_COLOR_TYPE_RGB
        : options.kind == Kind::GreyAlpha             ? PNG_COLOR_TYPE_GRAY_ALPHA
        : options.kind == Kind::Grey                  ? PNG_COLOR_TYPE_GRAY
                                                      : PNG_COLOR_TYPE_PALETTE;
    png_set_IHDR(png, info, png_uint_32(picture.width()), png_uint_32(picture.height()), options.depth, colourType,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (options.kind == Kind::Palette) {
        png_set_PLTE(png, info, palette.data(), 256);
        if (options.transparentColour)
            png_set_tRNS(png, info, paletteAlpha, 16, nullptr);
    } else if (options.transparentColour) {
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, options.filters);
    png_set_compression_buffer_size(png, options.chunkBytes);
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char *>("Comment");
    text.text = const_cast<char *>("an ancillary chunk before the image data");
    png_set_text(png, info, &text, 1);
    png_write_info(png, info);
    png_write_image(png, rowPointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

quint32 bigEndian(const char *bytes)
{
    return qFromBigEndian<quint32>(bytes);
}

// The chunks of a well-formed file, as (offset, type, length).
struct ChunkAt {
    qsizetype offset;
    QByteArray type;
    quint32 length;
};
QList<ChunkAt> chunksOf(const QByteArray &file)
{
    QList<ChunkAt> chunks;
    for (qsizetype at = 8; at + 12 <= file.size();) {
        const quint32 length = bigEndian(file.constData() + at);
        chunks.append({at, file.mid(at + 4, 4), length});
        at += 12 + qsizetype(length);
    }
    return chunks;
}

// The filter bytes the rows of a well-formed 8-bit file start with.
QSet<int> filtersUsed(const QByteArray &file, int channels)
{
    QByteArray compressed;
    for (const ChunkAt &chunk : chunksOf(file))
        if (chunk.type == "IDAT")
            compressed += file.mid(chunk.offset + 8, chunk.length);
    const quint32 width = bigEndian(file.constData() + 16);
    const quint32 height = bigEndian(file.constData() + 20);
    const qsizetype rowLength = qsizetype(width) * channels + 1;
    QByteArray rows(rowLength * height, '\0');
    uLongf produced = uLongf(rows.size());
    if (uncompress(reinterpret_cast<Bytef *>(rows.data()), &produced, reinterpret_cast<const Bytef *>(compressed.constData()),
                   uLong(compressed.size()))
        != Z_OK)
        return {};
    QSet<int> filters;
    for (quint32 y = 0; y < height; ++y)
        filters.insert(quint8(rows.at(qsizetype(y) * rowLength)));
    return filters;
}

// A chunk with its length and check sum.
QByteArray chunk(const char *type, const QByteArray &data)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(quint32(data.size()), bytes.data());
    const QByteArray typeAndData = QByteArray(type, 4) + data;
    QByteArray checksum(4, '\0');
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(typeAndData.constData()), uInt(typeAndData.size()))), checksum.data());
    return bytes + typeAndData + checksum;
}

QByteArray header(quint32 width, quint32 height, quint8 depth = 8, quint8 colourType = 6, quint8 interlace = 0)
{
    QByteArray data(13, '\0');
    qToBigEndian(width, data.data());
    qToBigEndian(height, data.data() + 4);
    data[8] = char(depth);
    data[9] = char(colourType);
    data[12] = char(interlace);
    return chunk("IHDR", data);
}

QByteArray zlibOf(const QByteArray &raw)
{
    QByteArray out(qsizetype(compressBound(uLong(raw.size()))), '\0');
    uLongf length = uLongf(out.size());
    compress2(reinterpret_cast<Bytef *>(out.data()), &length, reinterpret_cast<const Bytef *>(raw.constData()), uLong(raw.size()), 6);
    out.truncate(qsizetype(length));
    return out;
}

// The rows of an RGBA8888 picture, each after its filter byte (none).
QByteArray unfilteredRows(const QImage &picture)
{
    QByteArray rows;
    for (int y = 0; y < picture.height(); ++y)
        rows += char(0) + QByteArray(reinterpret_cast<const char *>(picture.constScanLine(y)), picture.width() * 4);
    return rows;
}

QByteArray pngOf(const QList<QByteArray> &chunks)
{
    QByteArray bytes("\x89PNG\r\n\x1a\n", 8);
    for (const QByteArray &c : chunks)
        bytes += c;
    return bytes;
}

QImage qtReads(const QByteArray &bytes)
{
    return QImage::fromData(bytes).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// What the icon helper drew before it had a reader of its own: Qt's reader scaling while it reads
// to the largest side, the smaller sides made from that.
QList<QImage> qtDraws(const QByteArray &bytes, const QList<int> &sides)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return {};
    const int largest = *std::max_element(sides.cbegin(), sides.cend());
    const auto within = [](QSize natural, int side) {
        return natural.width() > side || natural.height() > side
            ? QSizeF(natural).scaled(QSizeF(side, side), Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1))
            : natural;
    };
    if (within(size, largest) != size)
        reader.setScaledSize(within(size, largest));
    const QImage decoded = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (decoded.isNull())
        return {};
    QList<QImage> pictures;
    for (const int side : sides) {
        const QSize wanted = within(decoded.size(), side);
        pictures.append(wanted == decoded.size() ? decoded : decoded.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return pictures;
}

// The same with Qt's pixels scaled by Qt's own smooth scaling, from premultiplied pixels: what
// the helper draws from the files this reader takes. Qt's reader, scaling while it reads, averages
// colours that are not premultiplied, which darkens the translucent edges of an icon a little.
QList<QImage> qtScales(const QByteArray &bytes, const QList<int> &sides)
{
    // Scaled once to the largest side, the smaller ones made from that.
    const QList<QImage> before = qtDraws(bytes, sides);
    const QSize largest = before.at(std::max_element(sides.cbegin(), sides.cend()) - sides.cbegin()).size();
    QImage first = qtReads(bytes);
    if (first.size() != largest)
        first = first.scaled(largest, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QList<QImage> pictures;
    for (const QImage &wanted : before)
        pictures.append(wanted.size() == first.size() ? first : first.scaled(wanted.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return pictures;
}

// Whether two drawings of a picture look the same: alpha within one step everywhere, and colours
// within one step wherever the picture is opaque.
bool looksTheSame(const QImage &one, const QImage &other)
{
    if (one.size() != other.size())
        return false;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x) {
            const QRgb a = one.pixel(x, y);
            const QRgb b = other.pixel(x, y);
            if (std::abs(qAlpha(a) - qAlpha(b)) > 1)
                return false;
            if (qAlpha(a) == 255 && qAlpha(b) == 255
                && (std::abs(qRed(a) - qRed(b)) > 1 || std::abs(qGreen(a) - qGreen(b)) > 1 || std::abs(qBlue(a) - qBlue(b)) > 1))
                return false;
        }
    }
    return true;
}

// Files the reader leaves to Qt, by name: other kinds of PNG that Qt reads, and broken ones.
QList<std::pair<QString, QByteArray>> filesLeftToQt()
{
    const QImage picture = testPicture(37, 23, 7);
    const QByteArray rows = unfilteredRows(picture);
    const QByteArray data = zlibOf(rows);
    QByteArray badFilter = rows;
    badFilter[5 * (37 * 4 + 1)] = char(5);
    QList<std::pair<QString, QByteArray>> files{
        {QStringLiteral("interlaced"), libpngFile(picture, {.interlaced = true})},
        {QStringLiteral("16-bit RGBA"), libpngFile(picture, {.depth = 16})},
        {QStringLiteral("16-bit grey"), libpngFile(picture, {.kind = Kind::Grey, .depth = 16})},
        {QStringLiteral("palette"), libpngFile(picture, {.kind = Kind::Palette})},
        {QStringLiteral("palette with alpha"), libpngFile(picture, {.kind = Kind::Palette, .transparentColour = true})},
        {QStringLiteral("RGB with a transparent colour"), libpngFile(picture, {.kind = Kind::Rgb, .transparentColour = true})},
        {QStringLiteral("grey with a transparent colour"), libpngFile(picture, {.kind = Kind::Grey, .transparentColour = true})},
        {QStringLiteral("stream a byte short"), pngOf({header(37, 23), chunk("IDAT", zlibOf(rows.chopped(1))), chunk("IEND", {})})},
        {QStringLiteral("stream a byte long"), pngOf({header(37, 23), chunk("IDAT", zlibOf(rows + 'x')), chunk("IEND", {})})},
        {QStringLiteral("bad filter byte"), pngOf({header(37, 23), chunk("IDAT", zlibOf(badFilter)), chunk("IEND", {})})},
        {QStringLiteral("100000 pixels a side"), pngOf({header(100000, 100000), chunk("IDAT", data), chunk("IEND", {})})},
        {QStringLiteral("no end chunk"), pngOf({header(37, 23), chunk("IDAT", data)})},
        {QStringLiteral("image data split by another chunk"),
         pngOf({header(37, 23), chunk("IDAT", data.left(40)), chunk("tEXt", "a\0b"), chunk("IDAT", data.mid(40)), chunk("IEND", {})})},
        {QStringLiteral("unknown critical chunk"), pngOf({header(37, 23), chunk("QQQQ", "x"), chunk("IDAT", data), chunk("IEND", {})})},
        {QStringLiteral("palette in an RGBA file"),
         pngOf({header(37, 23), chunk("PLTE", QByteArray(6, 'p')), chunk("IDAT", data), chunk("IEND", {})})},
        {QStringLiteral("bytes after the stream"), pngOf({header(37, 23), chunk("IDAT", data + "xyz"), chunk("IEND", {})})},
        {QStringLiteral("wrong check sum"), [&] {
             QByteArray bytes = pngOf({header(37, 23), chunk("IDAT", data), chunk("IEND", {})});
             bytes[33 + 8 + 10] = char(bytes[33 + 8 + 10] ^ 1);
             return bytes;
         }()},
        {QStringLiteral("no width"), pngOf({header(0, 23), chunk("IDAT", data), chunk("IEND", {})})},
        {QStringLiteral("width beyond 2^31"), pngOf({header(0x80000000u, 1), chunk("IDAT", data), chunk("IEND", {})})},
        {QStringLiteral("header not first"), pngOf({chunk("tEXt", "a\0b"), header(37, 23), chunk("IDAT", data), chunk("IEND", {})})},
        {QStringLiteral("chunk type not letters"), pngOf({header(37, 23), chunk("t3Xt", "a"), chunk("IDAT", data), chunk("IEND", {})})},
    };
    return files;
}

} // namespace

class TestPngReader : public QObject {
    Q_OBJECT

private slots:
    void readsAsQtReads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("channels");
        const std::pair<Kind, int> kinds[] = {{Kind::Rgba, 4}, {Kind::Rgb, 3}, {Kind::GreyAlpha, 2}, {Kind::Grey, 1}};
        const std::pair<int, int> filters[] = {{PNG_FILTER_NONE, 0}, {PNG_FILTER_SUB, 1}, {PNG_FILTER_UP, 2},
                                               {PNG_FILTER_AVG, 3},  {PNG_FILTER_PAETH, 4}, {PNG_ALL_FILTERS, -1}};
        const QSize sizes[] = {{1, 1}, {7, 5}, {48, 48}, {129, 65}};
        quint32 seed = 1;
        for (const auto &[kind, channels] : kinds) {
            for (const auto &[filterMask, filter] : filters) {
                for (const QSize size : sizes) {
                    // Small image data chunks make many of them.
                    for (const size_t chunkBytes : {size_t(8192), size_t(61)}) {
                        const QByteArray bytes = libpngFile(testPicture(size.width(), size.height(), ++seed),
                                                            {.kind = kind, .filters = filterMask, .chunkBytes = chunkBytes});
                        QTest::addRow("libpng %d channels, filter %d, %dx%d, %zu-byte chunks", channels, filter, size.width(),
                                      size.height(), chunkBytes)
                            << bytes << filter << channels;
                    }
                }
            }
        }
        // As Qt writes them: RGBA, RGB and grey.
        const QImage picture = testPicture(93, 61, 99);
        for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_Grayscale8}) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(picture.convertToFormat(format).save(&buffer, "PNG"));
            QTest::addRow("Qt, format %d", int(format)) << bytes << -1 << 0;
        }
    }

    void readsAsQtReads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, filter);
        QFETCH(int, channels);
        QVERIFY(!bytes.isEmpty());
        // The file holds what it is said to: rows filtered the one way (libpng filters no row of a
        // single pixel).
        if (filter >= 0 && bytes.size() > 200)
            QVERIFY(filtersUsed(bytes, channels).contains(filter));
        const std::optional<QImage> read = PngReader::read(bytes, kNoLimit);
        QVERIFY(read);
        QCOMPARE(read->format(), QImage::Format_ARGB32_Premultiplied);
        const QImage expected = qtReads(bytes);
        QCOMPARE(read->size(), expected.size());
        QVERIFY(*read == expected);
    }

    void aFileOfManyImageDataChunksIsReadWhole()
    {
        const QByteArray bytes = libpngFile(testPicture(129, 65, 5), {.chunkBytes = 61});
        const QList<ChunkAt> chunks = chunksOf(bytes);
        QVERIFY(std::count_if(chunks.cbegin(), chunks.cend(), [](const ChunkAt &c) { return c.type == "IDAT"; }) > 100);
        QVERIFY(*PngReader::read(bytes, kNoLimit) == qtReads(bytes));
    }

    void otherKindsAndBrokenFilesAreLeftToQt()
    {
        for (const auto &[name, bytes] : filesLeftToQt())
            QVERIFY2(!PngReader::read(bytes, kNoLimit), qPrintable(name));
        // Qt reads the other kinds.
        for (const auto &[name, bytes] : filesLeftToQt().first(7))
            QVERIFY2(!QImage::fromData(bytes).isNull(), qPrintable(name));
    }

    void aCutFileIsLeftToQt()
    {
        const QByteArray bytes = libpngFile(testPicture(64, 40, 11), {.chunkBytes = 512});
        QVERIFY(PngReader::read(bytes, kNoLimit));
        QList<qsizetype> cuts;
        for (const ChunkAt &c : chunksOf(bytes)) {
            for (const qsizetype at : {c.offset - 1, c.offset, c.offset + 1, c.offset + 4, c.offset + 8, c.offset + 8 + c.length / 2,
                                       c.offset + 8 + qsizetype(c.length), c.offset + 11 + qsizetype(c.length)})
                cuts.append(at);
        }
        for (qsizetype at = 0; at < 8; ++at)
            cuts.append(at);
        for (const qsizetype at : std::as_const(cuts)) {
            QVERIFY(at < bytes.size());
            QVERIFY2(!PngReader::read(bytes.left(at), kNoLimit), qPrintable(QString::number(at)));
        }
    }

    void aLengthBeyondTheFileIsRefused()
    {
        const QByteArray bytes = libpngFile(testPicture(30, 20, 13), {.chunkBytes = 256});
        for (const ChunkAt &c : chunksOf(bytes)) {
            for (const quint32 length : {0xffffffffu, 0x7fffffffu, c.length + 1, quint32(bytes.size())}) {
                QByteArray changed = bytes;
                qToBigEndian(length, changed.data() + c.offset);
                QVERIFY2(!PngReader::read(changed, kNoLimit), qPrintable(QString::fromLatin1(c.type) + QString::number(length)));
            }
        }
    }

    void aPictureOverTheLimitIsLeftToQt()
    {
        const QByteArray bytes = libpngFile(testPicture(64, 64, 17), {});
        QVERIFY(!PngReader::read(bytes, 64 * 64 - 1));
        QVERIFY(PngReader::read(bytes, 64 * 64));
        // One beyond the most Qt's reader allocates: Qt refuses it, and so is it left to Qt.
        const int saved = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        const QByteArray large = libpngFile(testPicture(600, 600, 19), {});
        QVERIFY(!PngReader::read(large, kNoLimit));
        QVERIFY(QImage::fromData(large).isNull());
        QImageReader::setAllocationLimit(saved);
        QVERIFY(PngReader::read(large, kNoLimit));
    }

    // Through the real helper, every file is answered as Qt's reader answers it: the files the
    // reader leaves, and those of more than a few times the pixels drawn, are drawn by Qt's reader,
    // scaled as it reads; those it takes have Qt's pixels, scaled by Qt, and look the same.
    void theHelperDrawsEveryFileAsQtDid()
    {
        ScratchFolder folder;
        QVERIFY(folder.isValid());
        const QList<std::pair<QString, QByteArray>> leftToQt = filesLeftToQt();
        const QList<std::pair<QString, QByteArray>> taken{
            {QStringLiteral("RGBA 512"), libpngFile(testPicture(512, 512, 23), {})},
            {QStringLiteral("RGB 300x200"), libpngFile(testPicture(300, 200, 29), {.kind = Kind::Rgb})},
            {QStringLiteral("grey and alpha 96"), libpngFile(testPicture(96, 96, 31), {.kind = Kind::GreyAlpha})},
            {QStringLiteral("grey 33x70"), libpngFile(testPicture(33, 70, 37), {.kind = Kind::Grey})},
            {QStringLiteral("RGBA 40, smaller than asked"), libpngFile(testPicture(40, 40, 41), {})},
        };
        const QList<int> sides{128, 48, 32};
        QList<IconDecoder::Request> requests;
        struct Expected {
            QString name;
            QList<QImage> pictures;
            QList<QImage> before;
        };
        QHash<QString, Expected> expected;
        int answeredByQt = 0;
        for (const auto &[name, bytes] : leftToQt + taken) {
            const QString path = folder.file(QStringLiteral("icon%1.png").arg(expected.size()), bytes);
            requests.append({path, sides, IconDecoder::Fit::Within});
            // The helper reads whole a picture of up to four times the largest square asked for, or
            // of 512 by 512 pixels.
            const int largest = *std::max_element(sides.cbegin(), sides.cend());
            const bool isTaken = PngReader::read(bytes, std::max(qint64(4) * largest * largest, qint64(512) * 512)).has_value();
            if (isTaken)
                QVERIFY(taken.contains(std::pair{name, bytes}));
            expected.insert(path, {name, isTaken ? qtScales(bytes, sides) : qtDraws(bytes, sides), qtDraws(bytes, sides)});
            answeredByQt += !isTaken && !expected.value(path).pictures.isEmpty() ? 1 : 0;
        }
        // The other kinds of PNG and a few of the broken files (a stream too long, data after it,
        // no end chunk) give pictures through Qt.
        QVERIFY2(answeredByQt >= 7 + 3, qPrintable(QString::number(answeredByQt)));
        HelperIconDecoder decoder(ChildProcess::iconHelperProgram());
        QSignalSpy decoded(&decoder, &IconDecoder::decoded);
        decoder.decode(requests);
        QTRY_COMPARE_WITH_TIMEOUT(decoded.count(), requests.size(), kDeadlineMs);
        for (const QList<QVariant> &answer : std::as_const(decoded)) {
            const auto request = answer.at(0).value<IconDecoder::Request>();
            const auto pictures = answer.at(1).value<QList<QImage>>();
            const Expected wanted = expected.value(request.path);
            QCOMPARE(answer.at(3).toBool(), false);
            QVERIFY2(pictures.size() == wanted.pictures.size(), qPrintable(wanted.name));
            for (qsizetype i = 0; i < pictures.size(); ++i) {
                const QImage picture = pictures.at(i).convertToFormat(QImage::Format_ARGB32_Premultiplied);
                const QString where = QStringLiteral("%1 at %2").arg(wanted.name).arg(sides.at(i));
                QVERIFY2(picture == wanted.pictures.at(i), qPrintable(where));
                QVERIFY2(looksTheSame(picture, wanted.before.at(i)), qPrintable(where));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(decoder.runningCount(), 0, kDeadlineMs);
    }
};

KESTROWAN_TEST_MAIN(TestPngReader)
#include "tst_pngreader.moc"
