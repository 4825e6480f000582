#include "tests/support/HostileFiles.h"

#include <QFile>
#include <QMap>

#include "tests/support/BinaryPlistBuilder.h"

#include <limits>

#include <zlib.h>

namespace HostileFiles {
namespace {

QByteArray oneEntry(bool keyIsBad, bool utf16)
{
    BinaryPlistBuilder b;
    const QString bad = QStringLiteral("http://x\u00e9") + QChar(0) + QStringLiteral("y");
    const int badString = utf16 ? b.utf16(bad) : b.ascii(QByteArray("http://x\0y", 10));
    const int key = keyIsBad ? badString : b.ascii("URL");
    const int value = keyIsBad ? b.ascii("http://example.org/") : badString;
    return b.build(b.dict({{key, value}}));
}

// Seconds since 2001 of a moment given in seconds since 1970.
double since2001(double unixSeconds)
{
    return unixSeconds - 978307200.0;
}

QList<QPair<int, int>> awkwardEntries(BinaryPlistBuilder &b)
{
    return {
        {b.ascii("zeta-first"), b.ascii("keys keep their stored order")},
        {b.ascii("date-1900"), b.date(since2001(-2208988800.0))},
        {b.ascii("date-2100"), b.date(since2001(4102444800.5))},
        {b.ascii("date-1999-fraction"), b.date(since2001(915148800.25))},
        {b.ascii("date-microseconds"), b.date(since2001(1700000000.107034))},
        {b.ascii("largest-unsigned"), b.bigUnsigned(std::numeric_limits<quint64>::max())},
        {b.ascii("uid"), b.uid(77)},
        {b.ascii("not-a-number"), b.real(std::numeric_limits<double>::quiet_NaN())},
        {b.utf16(QStringLiteral("\u00c4sthetik")), b.utf16(QStringLiteral("\u65e5\u672c\u8a9e"))},
        {b.ascii("alpha"), b.boolean(true)},
    };
}

QByteArray pdfStream(const QByteArray &dictionary, const QByteArray &content)
{
    return "<< " + dictionary + " /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
}

// A PDF file of `objects`, numbered from 1 in order, the first the catalogue.
QByteArray pdfOf(const QList<QByteArray> &objects)
{
    QByteArray pdf("%PDF-1.4\n");
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace

QByteArray nulInAsciiString() { return oneEntry(false, false); }
QByteArray nulInUtf16String() { return oneEntry(false, true); }
QByteArray nulInAsciiKey() { return oneEntry(true, false); }
QByteArray nulInUtf16Key() { return oneEntry(true, true); }

QByteArray nulInXmlString()
{
    QByteArray xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>URL</key>"
                   "<string>http://x@NUL@y</string></dict></plist>\n");
    return xml.replace("@NUL@", QByteArray(1, '\0'));
}

QByteArray xmlDockFileOfManyKeys(int keys)
{
    QByteArray xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                   "<key>persistent-apps</key><array/>\n<key>persistent-others</key><array/>\n"
                   "<key>recorded-positions</key>\n<dict>\n");
    xml.reserve(xml.size() + qsizetype(keys) * 48);
    for (int i = 0; i < keys; ++i)
        xml += "<key>tile-" + QByteArray::number(i) + "</key><integer>" + QByteArray::number(i) + "</integer>\n";
    return xml + "</dict>\n</dict>\n</plist>\n";
}

QByteArray sharedReferences(int levels)
{
    BinaryPlistBuilder b;
    int inner = b.ascii("leaf");
    for (int i = 0; i < levels; ++i)
        inner = b.array({inner, inner});
    return b.build(inner);
}

QByteArray sharedLargeString(int stringBytes, int references)
{
    BinaryPlistBuilder b;
    const int text = b.ascii(QByteArray(stringBytes, 'k'));
    return b.build(b.array(QList<int>(references, text)));
}

QByteArray sharedLargeData(int dataBytes, int references)
{
    BinaryPlistBuilder b;
    const int bytes = b.data(QByteArray(dataBytes, '\x01'));
    return b.build(b.array(QList<int>(references, bytes)));
}

QByteArray nestedArrays(int depth)
{
    BinaryPlistBuilder b;
    int inner = b.array({});
    for (int i = 1; i < depth; ++i)
        inner = b.array({inner});
    return b.build(inner);
}

QByteArray cycle()
{
    BinaryPlistBuilder b;
    const int self = b.reserve();
    b.setArray(self, {b.ascii("x"), self});
    return b.build(self);
}

QByteArray awkwardValues()
{
    BinaryPlistBuilder b;
    return b.build(b.dict(awkwardEntries(b)));
}

QByteArray realisticDockFile()
{
    BinaryPlistBuilder b;
    const int tileType = b.ascii("tile-type");
    const int tileData = b.ascii("tile-data");
    const int fileData = b.ascii("file-data");
    const int urlString = b.ascii("_CFURLString");
    const int urlStringType = b.ascii("_CFURLStringType");
    const int guid = b.ascii("GUID");
    QList<int> apps;
    for (int i = 0; i < 32; ++i) {
        QByteArray book(180 + i, '\0');
        for (int j = 0; j < book.size(); ++j)
            book[j] = char((i * 31 + j * 7) & 0xFF);
        const int url = b.dict({{urlString, b.ascii(QByteArray("file:///Applications/App%20") + QByteArray::number(i) + ".app/")},
                                {urlStringType, b.integer(15)}});
        const int data = b.dict({{b.ascii("book"), b.data(book)},
                                 {b.ascii("bundle-identifier"), b.ascii("com.example.app" + QByteArray::number(i))},
                                 {fileData, url},
                                 {b.ascii("file-label"), b.utf16(QStringLiteral("App %1 \u2013 \u00e9").arg(i))},
                                 {b.ascii("file-mod-date"), b.integer(3762510950LL + i)},
                                 {b.ascii("file-type"), b.integer(41)},
                                 {b.ascii("is-beta"), b.boolean(false)},
                                 {b.ascii("parent-mod-date"), b.integer(3787342063LL)}});
        apps.append(b.dict({{guid, b.integer(2147483648LL + 1234567LL * i)}, {tileData, data}, {tileType, b.ascii("file-tile")}}));
        if (i % 10 == 9)
            apps.append(b.dict({{guid, b.integer(4000000000LL + i)}, {tileData, b.dict({})}, {tileType, b.ascii("spacer-tile")}}));
    }
    const int aliasOnly = b.dict({{guid, b.integer(3000000001LL)},
                                  {tileData, b.dict({{fileData, b.dict({{b.ascii("_CFURLAliasData"), b.data(QByteArray(64, '\x5a'))}})},
                                                     {b.ascii("file-label"), b.ascii("Downloads")},
                                                     {b.ascii("showas"), b.integer(1)},
                                                     {b.ascii("arrangement"), b.integer(2)}})},
                                  {tileType, b.ascii("directory-tile")}});
    const int documents = b.dict({{guid, b.integer(3000000002LL)},
                                  {tileData, b.dict({{fileData, b.dict({{urlString, b.ascii("file:///home/user/Documents/")}, {urlStringType, b.integer(15)}})},
                                                     {b.ascii("file-label"), b.ascii("Documents")},
                                                     {b.ascii("file-mod-date"), b.date(since2001(1700000000.107034))},
                                                     {b.ascii("displayas"), b.integer(0)},
                                                     {b.ascii("showas"), b.integer(2)}})},
                                  {tileType, b.ascii("directory-tile")}});
    int nested = b.dict({{b.ascii("level-5"), b.real(0.1)}});
    for (int level = 4; level >= 1; --level)
        nested = b.dict({{b.ascii("level-" + QByteArray::number(level)), nested}, {b.ascii("n"), b.integer(level)}});
    QList<QPair<int, int>> root = awkwardEntries(b);
    root += {
        {b.ascii("persistent-apps"), b.array(apps)},
        {b.ascii("persistent-others"), b.array({aliasOnly, documents})},
        {b.ascii("preferreditemsize"), b.integer(-1)},
        {b.ascii("tilesize"), b.real(48.0)},
        {b.ascii("largesize"), b.real(63.84375)},
        {b.ascii("last-messagetrace-stamp"), b.real(723456789.123456)},
        {b.ascii("mod-count"), b.integer(1234)},
        {b.ascii("autohide"), b.boolean(false)},
        {b.ascii("orientation"), b.ascii("bottom")},
        {b.ascii("trash-full"), b.boolean(false)},
        {b.ascii("region"), b.ascii("US")},
        {b.ascii("wvous-settings"), nested},
        {b.ascii("version"), b.integer(1)},
    };
    return b.build(b.dict(root));
}

QByteArray nestedTablesPage(int depth)
{
    return "<html><body>" + QByteArray("<table><tr><td>").repeated(depth) + "x"
        + QByteArray("</td></tr></table>").repeated(depth) + "</body></html>";
}

QByteArray oneLineText(qint64 bytes)
{
    return QByteArray("word ").repeated(int(bytes / 5));
}

namespace {

quint32 crc32Of(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

QByteArray bigEndian(quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

QByteArray bigEndian16(quint16 value)
{
    const char bytes[2] = {char(value >> 8), char(value)};
    return QByteArray(bytes, 2);
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32Of(type + data));
}

} // namespace

QByteArray blankPng(int width, int height)
{
    // Grey, one bit deep, no interlace; each row is the filter byte 0 then the pixels, all set.
    const QByteArray header = bigEndian(quint32(width)) + bigEndian(quint32(height)) + QByteArray("\x01\x00\x00\x00\x00", 5);
    const QByteArray row = QByteArray(1, '\0') + QByteArray((width + 7) / 8, char(0xff));
    // qCompress puts the length in front of a zlib stream, which is what a PNG holds.
    const QByteArray stream = qCompress(row.repeated(height), 9).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", stream) + pngChunk("IEND", {});
}

QByteArray pngWithChunkPastTheEnd(const QByteArray &type)
{
    // A 64-pixel RGBA header, then a chunk that names 768 MB and holds a keyword and a few letters.
    const QByteArray header = bigEndian(64) + bigEndian(64) + QByteArray("\x08\x06\x00\x00\x00", 5);
    QByteArray file = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + bigEndian(0x30000000) + type
        + QByteArray("Comment\0", 8);
    constexpr qsizetype fileSize = 141;
    return file.leftJustified(fileSize, 'x');
}

QByteArray iconFileHolding(const QByteArray &png)
{
    // One entry of 256 pixels a side (0 stands for 256) at 32 bits a pixel, its picture after it.
    QByteArray icon("\x00\x00\x01\x00\x01\x00" "\x00\x00\x00\x00\x01\x00\x20\x00", 14);
    const quint32 size = quint32(png.size());
    constexpr quint32 offset = 6 + 16;
    for (const quint32 value : {size, offset}) {
        const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
        icon += QByteArray(bytes, 4);
    }
    return icon + png;
}

QByteArray darkPng(int width, int height, int channels)
{
    return zeroPng(width, height, channels == 1 ? 0 : 6, 8);
}

QByteArray zeroPng(int width, int height, int colourType, int bitDepth, bool interlaced)
{
    static const QMap<int, int> samples{{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}};
    const QByteArray header = bigEndian(quint32(width)) + bigEndian(quint32(height)) + QByteArray(1, char(bitDepth))
        + QByteArray(1, char(colourType)) + QByteArray(2, '\0') + QByteArray(1, interlaced ? 1 : 0);
    const auto rowBytes = [&](qint64 columns) { return 1 + (columns * samples.value(colourType) * bitDepth + 7) / 8; };
    // Each pass of an interlaced file (or the one pass of a plain one): its columns and rows.
    QList<QPair<qint64, qint64>> passes;
    if (!interlaced) {
        passes.append({width, height});
    } else {
        static const int start[7][2] = {{0, 0}, {4, 0}, {0, 4}, {2, 0}, {0, 2}, {1, 0}, {0, 1}};
        static const int step[7][2] = {{8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}};
        for (int pass = 0; pass < 7; ++pass) {
            const qint64 columns = (width - start[pass][0] + step[pass][0] - 1) / step[pass][0];
            const qint64 rows = (height - start[pass][1] + step[pass][1] - 1) / step[pass][1];
            if (columns > 0 && rows > 0)
                passes.append({columns, rows});
        }
    }
    // Deflated a row at a time: the whole picture would take a hundred megabytes here.
    const QByteArray row(rowBytes(width), '\0');
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return {};
    QByteArray compressed;
    char out[64 * 1024];
    for (qsizetype p = 0; p < passes.size(); ++p) {
        for (qint64 y = 0; y < passes.at(p).second; ++y) {
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(row.constData()));
            stream.avail_in = uInt(rowBytes(passes.at(p).first));
            const bool last = p + 1 == passes.size() && y + 1 == passes.at(p).second;
            do {
                stream.next_out = reinterpret_cast<Bytef *>(out);
                stream.avail_out = sizeof out;
                deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
                compressed.append(out, qsizetype(sizeof out - stream.avail_out));
            } while (stream.avail_out == 0);
        }
    }
    deflateEnd(&stream);
    // A palette of one colour, black, for index 0.
    const QByteArray palette = colourType == 3 ? pngChunk("PLTE", QByteArray(3, '\0')) : QByteArray();
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + palette + pngChunk("IDAT", compressed) + pngChunk("IEND", {});
}

QByteArray blackBmp(int side)
{
    const auto littleEndian32 = [](quint32 value) {
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char((value >> (8 * i)) & 0xff);
        return bytes;
    };
    // One bit a pixel, rows padded to four bytes, a palette of black and white; every pixel 0.
    const quint32 rowBytes = quint32((side + 31) / 32 * 4);
    const quint32 offset = 14 + 40 + 8;
    const QByteArray info = littleEndian32(40) + littleEndian32(quint32(side)) + littleEndian32(quint32(side))
        + QByteArray("\x01\x00\x01\x00", 4) + littleEndian32(0) + littleEndian32(rowBytes * quint32(side)) + littleEndian32(2835)
        + littleEndian32(2835) + littleEndian32(2) + littleEndian32(0);
    return "BM" + littleEndian32(offset + rowBytes * quint32(side)) + littleEndian32(0) + littleEndian32(offset) + info
        + QByteArray("\x00\x00\x00\x00\xff\xff\xff\x00", 8) + QByteArray(qsizetype(rowBytes) * side, '\0');
}

QByteArray blackXpm(int side)
{
    QByteArray xpm = "/* XPM */\nstatic const char *black[] = {\n\"" + QByteArray::number(side) + ' ' + QByteArray::number(side)
        + " 1 1\",\n\"a c #000000\",\n";
    const QByteArray row = '"' + QByteArray(side, 'a') + "\",\n";
    xpm.reserve(xpm.size() + row.size() * side + 4);
    for (int y = 0; y < side; ++y)
        xpm += row;
    return xpm + "};\n";
}

QByteArray emptyGif(int width, int height)
{
    const auto littleEndian16 = [](int value) { return QByteArray(1, char(value & 0xff)) + char((value >> 8) & 0xff); };
    const QByteArray screen = littleEndian16(width) + littleEndian16(height);
    // A global table of two colours, black and white; one image over the whole screen whose data is
    // a clear code and the end code at three bits each, then the trailer.
    return "GIF89a" + screen + QByteArray("\x80\x00\x00", 3) + QByteArray("\x00\x00\x00\xff\xff\xff", 6) + ','
        + littleEndian16(0) + littleEndian16(0) + screen + QByteArray("\x00\x02\x01\x2c\x00", 5) + ';';
}

QByteArray nestedFormsPdf(int levels, int fanOut)
{
    // Objects: 1 catalogue, 2 page tree, 3 page, 4 page contents, then one form per level (5 ...).
    QList<QByteArray> objects;
    objects.append("<< /Type /Catalog /Pages 2 0 R >>");
    objects.append("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /F 5 0 R >> >> "
                   "/Contents 4 0 R >>");
    const auto calls = [fanOut] {
        QByteArray content;
        for (int i = 0; i < fanOut; ++i)
            content += "q 0.99 0 0 0.99 " + QByteArray::number(i) + " " + QByteArray::number(i) + " cm /F Do Q\n";
        return content;
    };
    objects.append(pdfStream({}, calls()));
    for (int level = 0; level < levels; ++level) {
        const bool last = level == levels - 1;
        const QByteArray resources = last ? QByteArray() : "/Resources << /XObject << /F " + QByteArray::number(6 + level) + " 0 R >> >>";
        objects.append(pdfStream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] " + resources,
                              last ? QByteArray("0.2 0.4 0.8 rg 10 10 20 20 re f") : calls()));
    }
    return pdfOf(objects);
}

QByteArray nestedStatesPdf(int depth)
{
    QByteArray content;
    content.reserve(qsizetype(depth) * 4 + 64);
    for (int i = 0; i < depth; ++i)
        content += "q\n";
    content += "0.2 0.4 0.8 rg 10 10 20 20 re f\n";
    for (int i = 0; i < depth; ++i)
        content += "Q\n";
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>", pdfStream({}, content)});
}

namespace {

// A JPEG file of one grey component, `side` by `side`, with one quantisation table of ones, a frame
// of `frameType`, Huffman tables in which the one-bit code 0 means "no change" (and, for the AC
// coefficients, "the rest of the block is zero"), one scan and its data.
QByteArray greyJpeg(quint8 frameType, int side, bool withAcTable, const QByteArray &scan, const QByteArray &data)
{
    const auto marker = [](quint8 type, const QByteArray &body) {
        return QByteArray("\xff", 1) + char(type) + bigEndian16(quint16(body.size() + 2)) + body;
    };
    const QByteArray quantisation = QByteArray(1, '\0') + QByteArray(64, '\x01');
    const QByteArray frame = QByteArray(1, 8) + bigEndian16(quint16(side)) + bigEndian16(quint16(side)) + QByteArray("\x01\x01\x11\x00", 4);
    const QByteArray oneCode = QByteArray(1, 1) + QByteArray(15, '\0') + QByteArray(1, '\0');
    QByteArray huffman = QByteArray(1, '\0') + oneCode;
    if (withAcTable)
        huffman += QByteArray(1, '\x10') + oneCode;
    return QByteArray("\xff\xd8", 2) + marker(0xdb, quantisation) + marker(frameType, frame) + marker(0xc4, huffman)
        + marker(0xda, scan) + data + QByteArray("\xff\xd9", 2);
}

} // namespace

QByteArray progressiveJpegHeader(int side)
{
    // A first scan of the DC coefficients only.
    return greyJpeg(0xc2, side, false, QByteArray("\x01\x01\x00\x00\x00\x00", 6), QByteArray(64, '\0'));
}

QByteArray greyBaselineJpeg(int side)
{
    // Every block "no change" and "the rest is zero": two bits a block.
    const qint64 blocks = qint64((side + 7) / 8) * ((side + 7) / 8);
    return greyJpeg(0xc0, side, true, QByteArray("\x01\x01\x00\x00\x3f\x00", 6), QByteArray((blocks * 2 + 7) / 8, '\0'));
}

QByteArray strokedPathsSvg(int paths, int segments)
{
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"512\" height=\"512\" viewBox=\"0 0 512 512\">\n";
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % 512);
    };
    for (int p = 0; p < paths; ++p) {
        svg += "<path fill=\"none\" stroke=\"#3a6\" stroke-width=\"37\" stroke-linejoin=\"round\" "
               "stroke-dasharray=\"0.3 0.2\" d=\"M" + QByteArray::number(next()) + ' ' + QByteArray::number(next());
        for (int s = 0; s < segments; ++s)
            svg += " L" + QByteArray::number(next()) + ' ' + QByteArray::number(next());
        svg += "\"/>\n";
    }
    return svg + "</svg>\n";
}

QByteArray nestedUseSvg(int levels)
{
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
                     "<defs><rect id=\"u0\" width=\"1\" height=\"1\"/>";
    for (int level = 1; level <= levels; ++level) {
        const QByteArray use = "<use xlink:href=\"#u" + QByteArray::number(level - 1) + "\"/>";
        svg += "<g id=\"u" + QByteArray::number(level) + "\">" + use.repeated(4) + "</g>";
    }
    return svg + "</defs><use xlink:href=\"#u" + QByteArray::number(levels) + "\"/></svg>\n";
}

QByteArray gzippedSvgOf(qint64 expandedBytes)
{
    const QByteArray head = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\"><!--";
    const QByteArray tail = "--><rect width=\"16\" height=\"16\" fill=\"#000\"/></svg>\n";
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out;
    char buffer[65536];
    const auto feed = [&](const QByteArray &in, int flush) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
        stream.avail_in = uInt(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
    };
    feed(head, Z_NO_FLUSH);
    const QByteArray filler(1 << 20, 'A');
    for (qint64 written = 0; written < expandedBytes; written += filler.size())
        feed(filler, Z_NO_FLUSH);
    feed(tail, Z_FINISH);
    deflateEnd(&stream);
    return out;
}

} // namespace HostileFiles

bool HostileFiles::writeSparseFile(const QString &path, const QByteArray &head, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(head) != head.size())
        return false;
    return file.resize(bytes);
}
