#include "Platform/thumbnailhelper/PreviewDrawing.h"

#include "Platform/codecs/PictureBytes.h"
#include "Platform/thumbnailhelper/PdfPageDrawing.h"
#include "Platform/thumbnailhelper/PictureDrawing.h"

#include <QFile>
#include <QTransform>

#include <cmath>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace frameRules {

constexpr int kMaximumSide = 256;
// A still is the first decodable frame; a file that yields none within this many packets has none.
constexpr int kMaximumPackets = 600;
// Frames beyond this are damaged or hostile rather than video.
constexpr int kMaximumFrameSide = 16384;
// Only the containers of the video extensions are opened, and only as local files: a playlist or
// reference file renamed to ".mp4" must not lead the demuxer to other files or to the network.
constexpr const char *kContainers = "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi";

struct DescriptorCloser {
    void operator()(int *descriptor) const
    {
        ::close(*descriptor);
        delete descriptor;
    }
};

struct FormatCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct ScalerFreer {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

// Degrees to turn the decoded picture clockwise so that it stands as the file means it to.
int uprightRotation(const AVStream *stream)
{
    size_t size = 0;
    const uint8_t *matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t))
        return 0;
    const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
    if (!std::isfinite(angle))
        return 0;
    int quarter = int(std::lround(angle / 90.0)) % 4;
    if (quarter < 0)
        quarter += 4;
    return quarter * 90;
}

std::optional<QImage> toImage(const AVFrame *frame, const AVRational sampleAspect, int rotation)
{
    const int w = frame->width;
    const int h = frame->height;
    if (w <= 0 || h <= 0 || w > kMaximumFrameSide || h > kMaximumFrameSide || frame->format < 0)
        return std::nullopt;
    // The picture as displayed: square pixels, then turned.
    qreal displayW = w;
    if (sampleAspect.num > 0 && sampleAspect.den > 0)
        displayW = w * av_q2d(sampleAspect);
    qreal displayH = h;
    const bool quarterTurn = rotation == 90 || rotation == 270;
    const qreal shownW = quarterTurn ? displayH : displayW;
    const qreal shownH = quarterTurn ? displayW : displayH;
    const qreal factor = std::min(1.0, kMaximumSide / std::max(shownW, shownH));
    const int outW = std::max(1, int(std::lround(displayW * factor)));
    const int outH = std::max(1, int(std::lround(displayH * factor)));

    std::unique_ptr<SwsContext, ScalerFreer> scaler(sws_getContext(w, h, AVPixelFormat(frame->format), outW, outH, AV_PIX_FMT_RGBA,
                                                                   SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler)
        return std::nullopt;
    QImage image(outW, outH, QImage::Format_RGBA8888);
    if (image.isNull())
        return std::nullopt;
    uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, h, planes, strides) <= 0)
        return std::nullopt;
    if (rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace frameRules

std::optional<QImage> PreviewDrawing::videoFrame(const QString &path)
{
    using namespace frameRules;
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        av_log_set_level(AV_LOG_QUIET);
        // No one buffer of a video's decoding may be larger than a picture's may be: a header that
        // names a frame of gigabytes fails its allocation.
        av_max_alloc(size_t(PictureBytes::allocationLimitMegabytes) << 20);
    });

    // Only a regular file is opened, and the demuxer opens that very file through its descriptor:
    // a fifo put in its place would block the open until someone writes to it.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    const std::unique_ptr<int, DescriptorCloser> held(new int(descriptor));
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kContainers, 0);
    AVFormatContext *raw = nullptr;
    const QByteArray url = "file:/proc/self/fd/" + QByteArray::number(descriptor);
    const int opened = avformat_open_input(&raw, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return std::nullopt;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return std::nullopt;
    const AVCodec *codec = nullptr;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || !codec)
        return std::nullopt;
    const AVStream *stream = format->streams[index];

    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
        return std::nullopt;
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return std::nullopt;

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!packet || !frame)
        return std::nullopt;
    const AVRational sampleAspect = stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio : stream->codecpar->sample_aspect_ratio;
    const int rotation = uprightRotation(stream);

    bool draining = false;
    for (int read = 0; read < kMaximumPackets;) {
        if (!draining) {
            const int status = av_read_frame(format.get(), packet.get());
            if (status < 0) {
                draining = true;
                avcodec_send_packet(decoder.get(), nullptr);
            } else {
                ++read;
                const bool ours = packet->stream_index == index;
                const int sent = ours ? avcodec_send_packet(decoder.get(), packet.get()) : 0;
                av_packet_unref(packet.get());
                if (sent < 0 && sent != AVERROR(EAGAIN))
                    continue;
            }
        }
        const int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received == 0)
            return toImage(frame.get(), sampleAspect, rotation);
        if (received == AVERROR_EOF || (draining && received != AVERROR(EAGAIN)))
            return std::nullopt;
        if (draining)
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QImage> PreviewDrawing::draw(Kind kind, const QString &path)
{
    switch (kind) {
    case Kind::Picture: return PictureDrawing::draw(path);
    case Kind::PdfPage: return PdfPageDrawing::firstPage(path);
    case Kind::VideoFrame: return videoFrame(path);
    }
    return std::nullopt;
}
