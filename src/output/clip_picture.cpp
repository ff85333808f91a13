#include "output/clip_picture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <QFont>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <memory>

namespace lumarest {
namespace {

constexpr int kIoBufferBytes = 64 * 1024;
// A clip whose first frame has not come after this many packets shows none.
constexpr int kMostPackets = 600;

// Serves the kept bytes to the demuxer as one seekable file.
class KeptReader {
  public:
    explicit KeptReader(const KeptBytes& kept) : kept_(kept) {}

    static int Read(void* opaque, std::uint8_t* buffer, int size) {
        auto* reader = static_cast<KeptReader*>(opaque);
        const KeptBytes& kept = reader->kept_;
        if (size <= 0 || reader->position_ >= kept.size) {
            return AVERROR_EOF;
        }
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(size), kept.size - reader->position_));
        kept.CopyOut(reader->position_, buffer, count);
        reader->position_ += count;
        return static_cast<int>(count);
    }

    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
        auto* reader = static_cast<KeptReader*>(opaque);
        const auto size = static_cast<std::int64_t>(reader->kept_.size);
        if ((whence & AVSEEK_SIZE) != 0) {
            return size;
        }
        std::int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET:
                break;
            case SEEK_CUR:
                base = static_cast<std::int64_t>(reader->position_);
                break;
            case SEEK_END:
                base = size;
                break;
            default:
                return AVERROR(EINVAL);
        }
        if (offset < -base || offset > size - base) {
            return AVERROR(EINVAL);
        }
        reader->position_ = static_cast<std::uint64_t>(base + offset);
        return base + offset;
    }

  private:
    const KeptBytes& kept_;
    std::uint64_t position_ = 0;
};

struct IoFree {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct InputClose {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

std::unique_ptr<AVIOContext, IoFree> OpenIo(KeptReader& reader) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr) {
        return nullptr;
    }
    AVIOContext* io = avio_alloc_context(buffer, kIoBufferBytes, 0, &reader, KeptReader::Read,
                                         nullptr, KeptReader::Seek);
    if (io == nullptr) {
        av_free(buffer);
    }
    return std::unique_ptr<AVIOContext, IoFree>(io);
}

std::unique_ptr<AVFormatContext, InputClose> OpenInput(AVIOContext* io) {
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
        return nullptr;
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure the context is freed by the call itself.
    if (avformat_open_input(&format, nullptr, nullptr, nullptr) < 0) {
        return nullptr;
    }
    return std::unique_ptr<AVFormatContext, InputClose>(format);
}

std::unique_ptr<AVCodecContext, CodecFree> OpenDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) {
        return nullptr;
    }
    std::unique_ptr<AVCodecContext, CodecFree> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0) {
        return nullptr;
    }
    // Clips are decoded side by side on every core already.
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    return decoder;
}

// Feeds the stream's packets to the decoder until a frame comes out.
bool FirstFrame(AVFormatContext& format, int stream, AVCodecContext& decoder, AVFrame& frame) {
    const std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) {
        return false;
    }
    for (int count = 0; count < kMostPackets; ++count) {
        const bool more = av_read_frame(&format, packet.get()) >= 0;
        if (more && packet->stream_index != stream) {
            av_packet_unref(packet.get());
            continue;
        }
        // At the end the decoder is drained of what it still holds.
        const int sent = avcodec_send_packet(&decoder, more ? packet.get() : nullptr);
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            return false;
        }
        const int received = avcodec_receive_frame(&decoder, &frame);
        if (received >= 0) {
            return true;
        }
        if (!more || received != AVERROR(EAGAIN)) {
            return false;
        }
    }
    return false;
}

QSize Fitted(int width, int height, QSize wanted) {
    return QSize(width, height).scaled(wanted, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage Scaled(const AVFrame& frame, QSize wanted) {
    if (frame.width <= 0 || frame.height <= 0) {
        return {};
    }
    const QSize size = Fitted(frame.width, frame.height, wanted);
    const std::unique_ptr<SwsContext, ScalerFree> scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), size.width(),
        size.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        return {};
    }
    // The scaler writes whole vector blocks, past a line's last pixel: into a frame buffer,
    // padded as the library wants, never into the picture's own.
    const std::unique_ptr<AVFrame, FrameFree> scaled(av_frame_alloc());
    if (!scaled) {
        return {};
    }
    scaled->format = AV_PIX_FMT_RGB32;
    scaled->width = size.width();
    scaled->height = size.height();
    if (av_frame_get_buffer(scaled.get(), 0) < 0 ||
        sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, scaled->data,
                  scaled->linesize) <= 0) {
        return {};
    }
    return QImage(scaled->data[0], size.width(), size.height(), scaled->linesize[0],
                  QImage::Format_RGB32)
        .copy();
}

// "0:42", "12:05", "1:02:09".
QString LengthText(double seconds) {
    const auto whole = static_cast<long long>(std::llround(seconds));
    const auto twoDigits = [](long long value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    const long long hours = whole / 3600;
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(twoDigits((whole / 60) % 60))
            .arg(twoDigits(whole % 60));
    }
    return QStringLiteral("%1:%2").arg(whole / 60).arg(twoDigits(whole % 60));
}

}  // namespace

QImage DecodeClipFrame(const KeptBytes& clip, QSize wanted) {
    KeptReader reader(clip);
    const auto io = OpenIo(reader);
    const auto format = io ? OpenInput(io.get()) : nullptr;
    if (!format) {
        return {};
    }
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        return {};
    }
    const auto decoder = OpenDecoder(*format->streams[stream]);
    const std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!decoder || !frame || !FirstFrame(*format, stream, *decoder, *frame)) {
        return {};
    }
    return Scaled(*frame, wanted);
}

QImage FilmStripPicture(std::optional<double> seconds, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(32, 32, 36));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int band = std::max(size.height() / 8, 4);
    const int hole = std::max(band / 2, 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 220, 220));
    for (int x = hole; x + hole < size.width(); x += 2 * hole) {
        painter.drawRect(x, (band - hole) / 2, hole, hole);
        painter.drawRect(x, size.height() - band + (band - hole) / 2, hole, hole);
    }
    const QRect frame(band / 2, band, size.width() - band, size.height() - 2 * band);
    painter.setBrush(QColor(70, 76, 92));
    painter.drawRect(frame);
    const QPoint centre = frame.center();
    const int arrow = std::max(frame.height() / 5, 3);
    const QPoint play[] = {centre + QPoint(-arrow, -arrow), centre + QPoint(-arrow, arrow),
                           centre + QPoint(arrow, 0)};
    painter.setBrush(QColor(235, 235, 235));
    painter.drawPolygon(play, 3);
    if (seconds && std::isfinite(*seconds) && *seconds >= 0) {
        QFont font = painter.font();
        font.setPixelSize(std::max(frame.height() / 4, 8));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(frame.adjusted(2, 0, -2, -1), Qt::AlignRight | Qt::AlignBottom,
                         LengthText(*seconds));
    }
    return image;
}

void QuietClipDecoders() {
    av_log_set_level(AV_LOG_QUIET);
}

}  // namespace lumarest
