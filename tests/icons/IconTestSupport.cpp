#include "tests/icons/IconTestSupport.h"

#include "Kestrowan/icons/SkinIconPainter.h"

#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Platform/Workspace.h"
#include "Platform/fake/FakeWorkspace.h"

#include <QFile>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPixmap>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

QIcon drawnAppIcon(const QColor &top, const QColor &bottom, const std::function<void(QPainter &)> &glyph)
{
    QImage image(512, 512, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(44, 44, 424, 424);
    QLinearGradient g(0, body.top(), 0, body.bottom());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    QPainterPath path;
    path.addRoundedRect(body, 96, 96);
    p.fillPath(path, g);
    glyph(p);
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

void writeReportDocument(const QString &path, const std::function<void(QPainter &, int unit)> &body)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p(&writer);
    const QRect page = p.viewport();
    const int unit = page.width() / 20;
    p.fillRect(QRect(0, 0, page.width(), unit * 4), QColor(45, 108, 223));
    body(p, unit);
}

QColor pointColor(const QImage &image, qreal x, qreal y)
{
    const qreal scale = image.devicePixelRatio();
    const int column = int(std::floor(x * scale));
    const int row = image.height() - 1 - int(std::floor(y * scale));
    if (column < 0 || row < 0 || column >= image.width() || row >= image.height())
        return QColor(0, 0, 0, 0);
    return QColor::fromRgba(qUnpremultiply(image.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(column, row)));
}

bool sameColor(const QColor &a, const QColor &b, int tolerance)
{
    if (a.alpha() == 0 && b.alpha() == 0)
        return true;
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

QString colorText(const QColor &color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(color.red()).arg(color.green()).arg(color.blue()).arg(color.alpha());
}

QColor blendOver(const QColor &over, const QColor &under)
{
    const qreal a = over.alphaF();
    return QColor::fromRgbF(float(over.redF() * a + under.redF() * (1 - a)), float(over.greenF() * a + under.greenF() * (1 - a)),
                            float(over.blueF() * a + under.blueF() * (1 - a)), 1.0f);
}

QColor gradientAt(const QGradientStops &stops, qreal t)
{
    if (t <= stops.first().first)
        return stops.first().second;
    for (qsizetype i = 1; i < stops.size(); ++i) {
        if (t <= stops.at(i).first) {
            const auto &[t0, c0] = stops.at(i - 1);
            const auto &[t1, c1] = stops.at(i);
            const qreal f = (t - t0) / (t1 - t0);
            const auto mix = [f](qreal a, qreal b) { return float(a + (b - a) * f); };
            return QColor::fromRgbF(mix(c0.redF(), c1.redF()), mix(c0.greenF(), c1.greenF()), mix(c0.blueF(), c1.blueF()),
                                    mix(c0.alphaF(), c1.alphaF()));
        }
    }
    return stops.last().second;
}

QImage solidImage(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

QIcon solidIcon(const QColor &color, int side)
{
    return QIcon(QPixmap::fromImage(solidImage(QSize(side, side), color)));
}

bool writeSolidPicture(const QString &path, const QSize &size, const QColor &color, const char *format)
{
    return solidImage(size, color).save(path, format);
}

int countPixels(const QImage &image, const QColor &color, int tolerance)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (sameColor(QColor::fromRgba(argb.pixel(x, y)), color, tolerance))
                ++count;
        }
    }
    return count;
}

FakeWorkspace &installFakeWorkspace()
{
    auto fake = std::make_unique<FakeWorkspace>();
    FakeWorkspace &ref = *fake;
    Workspace::install(std::move(fake));
    return ref;
}

namespace {

struct OutputCloser {
    void operator()(AVFormatContext *c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecFreer {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

bool drain(AVCodecContext *codec, AVFormatContext *format, AVStream *stream, AVPacket *packet)
{
    for (;;) {
        const int r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0)
            return false;
    }
}

} // namespace

bool writeTestVideo(const QString &path, const QImage &picture, int frames, int rotation)
{
    const QByteArray file = QFile::encodeName(path);
    AVFormatContext *raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, nullptr, file.constData()) < 0 || !raw)
        return false;
    std::unique_ptr<AVFormatContext, OutputCloser> format(raw);
    const AVCodec *encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!encoder)
        return false;
    AVStream *stream = avformat_new_stream(format.get(), nullptr);
    std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(encoder));
    if (!stream || !codec)
        return false;
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    codec->width = rgba.width();
    codec->height = rgba.height();
    codec->time_base = AVRational{1, 25};
    codec->framerate = AVRational{25, 1};
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->gop_size = 1;
    codec->flags |= AV_CODEC_FLAG_QSCALE;
    codec->global_quality = FF_QP2LAMBDA * 2;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec.get(), encoder, nullptr) < 0)
        return false;
    stream->time_base = codec->time_base;
    if (avcodec_parameters_from_context(stream->codecpar, codec.get()) < 0)
        return false;
    if (rotation != 0) {
        uint8_t *matrix = av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t));
        if (!matrix)
            return false;
        av_display_rotation_set(reinterpret_cast<int32_t *>(matrix), rotation);
    }
    if (avio_open(&format->pb, file.constData(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(format.get(), nullptr) < 0)
        return false;

    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!frame || !packet)
        return false;
    frame->format = codec->pix_fmt;
    frame->width = codec->width;
    frame->height = codec->height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    SwsContext *scaler = sws_getContext(rgba.width(), rgba.height(), AV_PIX_FMT_RGBA, codec->width, codec->height, codec->pix_fmt,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler)
        return false;
    const uint8_t *planes[1] = {rgba.constBits()};
    const int strides[1] = {int(rgba.bytesPerLine())};
    bool ok = true;
    for (int i = 0; i < frames && ok; ++i) {
        ok = av_frame_make_writable(frame.get()) >= 0;
        sws_scale(scaler, planes, strides, 0, rgba.height(), frame->data, frame->linesize);
        frame->pts = i;
        ok = ok && avcodec_send_frame(codec.get(), frame.get()) >= 0 && drain(codec.get(), format.get(), stream, packet.get());
    }
    sws_freeContext(scaler);
    ok = ok && avcodec_send_frame(codec.get(), nullptr) >= 0 && drain(codec.get(), format.get(), stream, packet.get());
    return ok && av_write_trailer(format.get()) >= 0;
}

bool previewPicturesDrawn(const QList<AppItem> &items, int timeoutMs)
{
    PreviewPictures *pictures = PreviewPictures::shared();
    if (!pictures)
        return false;
    bool drawn = false;
    pictures->whenDrawn(items, timeoutMs, nullptr, [&drawn] { drawn = true; });
    if (!QTest::qWaitFor([&drawn] { return drawn; }, timeoutMs + 1000))
        return false;
    for (const AppItem &item : items) {
        if (item.itemKind() == AppItem::Kind::App)
            continue;
        const auto kind = PreviewPictures::kindForExtension(ItemPreview::pathExtension(item.path));
        if (kind && pictures->lookup(*kind, item.path).state == PreviewPictures::State::Pending)
            return false;
    }
    return true;
}

QImage settledThumbnail(const AppItem &item)
{
    if (!previewPicturesDrawn({item}))
        qWarning("the picture of %s did not arrive", qPrintable(item.path));
    return itemThumbnail(item);
}

QImage settledGroupIcon(const QList<AppItem> &apps, AppGroup::IconStyle style, const std::optional<SkinDefinition> &skin,
                        const SkinManager *skinManager)
{
    if (!previewPicturesDrawn(apps.mid(0, 4)))
        qWarning("the pictures of a group did not arrive");
    if (!QTest::qWaitFor([&] { return !IconComposer::picturesPending(apps, style, skin, skinManager); }, 60000))
        qWarning("the icons or skin layers of a group did not arrive");
    return IconComposer::composeGroupIcon(apps, style, skin, skinManager);
}

QImage settledSkinIcon(const QList<IconComposer::IconSource> &sources, const SkinDefinition &skin, const QString &skinsDirectory)
{
    if (!QTest::qWaitFor([&] { return pendingSkinLayerFiles(skin, skinsDirectory).isEmpty(); }, 60000))
        qWarning("the layers of a skin did not arrive");
    return drawSkinIcon(sources, skin, skinsDirectory);
}
