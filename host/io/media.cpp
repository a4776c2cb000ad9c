// Media files through FFmpeg's libraries (see media.h for the rules).
#include "host/io/media.h"

#include "host/core/pixels.h"
#include "host/io/mediaaudio.h"
#include "host/io/medialog.h"
#include "host/io/tempfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vxh {

namespace {

// Decoded frames kept per input (the input keeps the last two unpacked), and
// how far ahead decoding goes on rather than seeking.
constexpr size_t kCachedFrames = 1;
constexpr long kForwardReach = 48;

void quietLibraries()
{
    quietMediaLibraries();
}

std::string describe(int code)
{
    return describeMediaError(code);
}

} // namespace

bool mediaBuilt()
{
    return true;
}

bool mediaWritesName(const std::string &path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    const AVOutputFormat *f = av_guess_format(nullptr, path.c_str(), nullptr);
    // Picture sequences and raw streams are not containers of a clip.
    return f && f->video_codec != AV_CODEC_ID_NONE && !(f->flags & AVFMT_NOFILE) &&
           strcmp(f->name, "image2") != 0 && strcmp(f->name, "yuv4mpegpipe") != 0 &&
           strcmp(f->name, "rawvideo") != 0;
}

bool mediaHasAudio(const std::string &path)
{
    quietLibraries();
    AVFormatContext *f = nullptr;
    if (avformat_open_input(&f, path.c_str(), nullptr, nullptr) < 0)
        return false;
    const bool has = avformat_find_stream_info(f, nullptr) >= 0 &&
                     av_find_best_stream(f, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    avformat_close_input(&f);
    return has;
}

// ---------------------------------------------------------------------------
// Reading

struct MediaReader {
    std::string name;
    AVFormatContext *format = nullptr;
    AVCodecContext *decoder = nullptr;
    int stream = -1;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int width = 0, height = 0;
    std::vector<int64_t> stamps; // frame k shows at stamps[k]
    bool counted = false;        // no usable time stamps: frames numbered as decoded from the start
    long nextCounted = 0;
    long last = -1; // index of the frame decoded last; -1 right after a seek
    bool draining = false;
    struct Kept {
        long index = -1;
        AVFrame *frame = nullptr;
        uint64_t used = 0;
    };
    Kept kept[kCachedFrames];
    uint64_t clock = 0;
    SwsContext *sws = nullptr;
    std::vector<uint8_t> rgba;
    std::vector<uint16_t> row[4];
};

namespace {

bool openDemuxer(MediaReader &r, std::string &err)
{
    if (r.format)
        avformat_close_input(&r.format);
    quietLibraries(); // what an earlier demuxer logged is not this one's
    int ret = avformat_open_input(&r.format, r.name.c_str(), nullptr, nullptr);
    if (ret < 0) {
        err = r.name +
              ": not a YUV4MPEG2, PNG or media file the libraries can open: " + describe(ret);
        return false;
    }
    ret = avformat_find_stream_info(r.format, nullptr);
    if (ret < 0) {
        err = r.name + ": cannot read the stream facts: " + describe(ret);
        return false;
    }
    r.stream = -1;
    for (unsigned i = 0; i < r.format->nb_streams; ++i)
        r.format->streams[i]->discard = AVDISCARD_ALL;
    ret = av_find_best_stream(r.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (ret < 0 || (r.format->streams[ret]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        err = r.name + ": has no video stream";
        return false;
    }
    r.stream = ret;
    r.format->streams[ret]->discard = AVDISCARD_DEFAULT;
    return true;
}

// Lists the time stamps of every frame in display order by demuxing the
// stream once; a cut-off or damaged packet is an error here already.
bool indexStream(MediaReader &r, std::string &err)
{
    bool noStamps = false;
    std::string logged;
    for (;;) {
        const int ret = av_read_frame(r.format, r.packet);
        // Some demuxers (Matroska's) log a cut-off file and then report a
        // plain end, as though the file ended there.
        if (ret == AVERROR_EOF && demuxerLoggedError(r.format, logged)) {
            err = r.name + ": cut off or damaged after frame " + std::to_string(r.stamps.size()) +
                  " (" + logged + ")";
            return false;
        }
        if (ret == AVERROR_EOF)
            break;
        if (ret < 0) {
            err = r.name + ": read error after frame " + std::to_string(r.stamps.size()) + ": " +
                  describe(ret);
            return false;
        }
        if (r.packet->stream_index == r.stream && !(r.packet->flags & AV_PKT_FLAG_DISCARD)) {
            if (r.packet->flags & AV_PKT_FLAG_CORRUPT) {
                av_packet_unref(r.packet);
                err = r.name + ": frame " + std::to_string(r.stamps.size()) +
                      " is cut off or damaged";
                return false;
            }
            noStamps |= r.packet->pts == AV_NOPTS_VALUE;
            r.stamps.push_back(r.packet->pts);
        }
        av_packet_unref(r.packet);
    }
    std::sort(r.stamps.begin(), r.stamps.end());
    r.counted = noStamps || std::adjacent_find(r.stamps.begin(), r.stamps.end()) != r.stamps.end();
    if (r.stamps.empty()) {
        err = r.name + ": the video stream has no frames";
        return false;
    }
    return true;
}

// Starts decoding again at the key frame at or before frame k (the start
// when frames are counted). The demuxer is reopened rather than rewound to
// the start, which every format can do.
bool seekTo(MediaReader &r, long k, std::string &err)
{
    avcodec_flush_buffers(r.decoder);
    r.draining = false;
    r.last = -1;
    r.nextCounted = 0;
    if (!r.counted && k > 0 &&
        av_seek_frame(r.format, r.stream, r.stamps[size_t(k)], AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    return openDemuxer(r, err);
}

// The next decoded frame into r.frame: 1, 0 at the end, -1 on an error.
int decodeNext(MediaReader &r, std::string &err)
{
    for (;;) {
        int ret = avcodec_receive_frame(r.decoder, r.frame);
        if (ret == 0) {
            if (r.frame->decode_error_flags || (r.frame->flags & AV_FRAME_FLAG_CORRUPT)) {
                err = r.name + ": decode error near frame " + std::to_string(r.last + 1);
                return -1;
            }
            return 1;
        }
        if (ret == AVERROR_EOF)
            return 0;
        if (ret != AVERROR(EAGAIN)) {
            err = r.name + ": decode error near frame " + std::to_string(r.last + 1) + ": " +
                  describe(ret);
            return -1;
        }
        for (;;) {
            ret = av_read_frame(r.format, r.packet);
            if (ret == AVERROR_EOF) {
                avcodec_send_packet(r.decoder, nullptr);
                r.draining = true;
                break;
            }
            if (ret < 0) {
                err = r.name + ": read error near frame " + std::to_string(r.last + 1) + ": " +
                      describe(ret);
                return -1;
            }
            if (r.packet->stream_index != r.stream) {
                av_packet_unref(r.packet);
                continue;
            }
            const bool damaged = r.packet->flags & AV_PKT_FLAG_CORRUPT;
            ret = damaged ? AVERROR_INVALIDDATA : avcodec_send_packet(r.decoder, r.packet);
            av_packet_unref(r.packet);
            if (ret < 0) {
                err = r.name + ": decode error near frame " + std::to_string(r.last + 1) + ": " +
                      describe(ret);
                return -1;
            }
            break;
        }
    }
}

// The frame number of the frame just decoded; -1 for one not listed.
long indexOf(MediaReader &r)
{
    if (r.counted)
        return r.nextCounted++;
    int64_t t = r.frame->pts != AV_NOPTS_VALUE ? r.frame->pts : r.frame->best_effort_timestamp;
    const auto at = std::lower_bound(r.stamps.begin(), r.stamps.end(), t);
    return at != r.stamps.end() && *at == t ? long(at - r.stamps.begin()) : -1;
}

MediaReader::Kept *findKept(MediaReader &r, long k)
{
    for (MediaReader::Kept &e : r.kept)
        if (e.frame && e.index == k)
            return &e;
    return nullptr;
}

void keep(MediaReader &r, long k)
{
    MediaReader::Kept *slot = findKept(r, k);
    if (!slot) {
        slot = &r.kept[0];
        for (MediaReader::Kept &e : r.kept)
            if (!e.frame || e.used < slot->used)
                slot = &e;
        av_frame_free(&slot->frame);
        slot->frame = av_frame_clone(r.frame);
        slot->index = k;
    }
    slot->used = ++r.clock;
}

// Decodes until frame k is kept.
bool decodeUntil(MediaReader &r, long k, std::string &err)
{
    bool retried = false;
    for (;;) {
        const int got = decodeNext(r, err);
        if (got < 0)
            return false;
        if (got == 0) {
            err = r.name + ": frame " + std::to_string(k) +
                  " could not be decoded (the stream ends after frame " + std::to_string(r.last) +
                  ")";
            return false;
        }
        if (r.frame->width != r.width || r.frame->height != r.height) {
            err = r.name + ": frame " + std::to_string(r.last + 1) + " is " +
                  std::to_string(r.frame->width) + "x" + std::to_string(r.frame->height) +
                  " but the stream started at " + std::to_string(r.width) + "x" +
                  std::to_string(r.height);
            av_frame_unref(r.frame);
            return false;
        }
        const long index = indexOf(r);
        if (index >= 0) {
            keep(r, index);
            r.last = index;
        }
        av_frame_unref(r.frame);
        if (index == k)
            return true;
        if (index > k) {
            // The seek landed after the frame (an open group of pictures):
            // decode from the start instead.
            if (retried || r.counted) {
                err = r.name + ": frame " + std::to_string(k) + " cannot be reached by seeking";
                return false;
            }
            retried = true;
            if (!seekTo(r, 0, err))
                return false;
        }
    }
}

// Rounds a sample of d bits to 8 bits.
inline uint8_t to8(unsigned v, int d)
{
    if (d == 8)
        return uint8_t(v);
    if (d > 8) {
        const unsigned x = (v + (1u << (d - 9))) >> (d - 8);
        return uint8_t(x > 255 ? 255 : x);
    }
    return uint8_t((v * 255 + ((1u << d) - 1) / 2) / ((1u << d) - 1));
}

bool isPlanar8(const AVPixFmtDescriptor *d)
{
    if (!(d->flags & AV_PIX_FMT_FLAG_PLANAR) || (d->flags & AV_PIX_FMT_FLAG_RGB))
        return false;
    for (int c = 0; c < d->nb_components; ++c)
        if (d->comp[c].depth != 8 || d->comp[c].step != 1 || d->comp[c].shift != 0)
            return false;
    return true;
}

// Formats the libraries' component reader cannot give as integers.
bool needsSwscale(const AVPixFmtDescriptor *d)
{
    return (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                        AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER)) ||
           strncmp(d->name, "xyz", 3) == 0 || d->nb_components < 1;
}

// 8-bit planar YUV or grey: the bytes as they are, chroma replicated.
void unpackPlanar8(const AVFrame *f, const AVPixFmtDescriptor *d, uint32_t *dst)
{
    const int w = f->width, h = f->height, sx = d->log2_chroma_w, sy = d->log2_chroma_h;
    const bool colour = d->nb_components >= 3;
    const int alpha = (d->flags & AV_PIX_FMT_FLAG_ALPHA) ? d->nb_components - 1 : -1;
    for (int y = 0; y < h; ++y) {
        const uint8_t *Y = f->data[d->comp[0].plane] + ptrdiff_t(y) * f->linesize[d->comp[0].plane];
        const uint8_t *U =
            colour ? f->data[d->comp[1].plane] + ptrdiff_t(y >> sy) * f->linesize[d->comp[1].plane]
                   : nullptr;
        const uint8_t *V =
            colour ? f->data[d->comp[2].plane] + ptrdiff_t(y >> sy) * f->linesize[d->comp[2].plane]
                   : nullptr;
        const uint8_t *A = alpha >= 0 ? f->data[d->comp[alpha].plane] +
                                            ptrdiff_t(y) * f->linesize[d->comp[alpha].plane]
                                      : nullptr;
        uint32_t *out = dst + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x)
            out[x] = packYuva(Y[x], U ? U[x >> sx] : 128, V ? V[x >> sx] : 128, A ? A[x] : 255);
    }
}

// Any other integer format, one component row at a time.
void unpackGeneric(MediaReader &r, const AVFrame *f, const AVPixFmtDescriptor *d, uint32_t *dst)
{
    const int w = f->width, h = f->height, sx = d->log2_chroma_w, sy = d->log2_chroma_h;
    const bool rgb = d->flags & AV_PIX_FMT_FLAG_RGB, colour = d->nb_components >= 3;
    const int alpha = (d->flags & AV_PIX_FMT_FLAG_ALPHA) ? d->nb_components - 1 : -1;
    const int cw = AV_CEIL_RSHIFT(w, sx);
    for (std::vector<uint16_t> &v : r.row)
        v.resize(size_t(w));
    auto read = [&](int c, int y, int n) {
        av_read_image_line2(r.row[c].data(), (const uint8_t **)f->data, f->linesize, d, 0, y, c, n,
                            0, 2);
    };
    for (int y = 0; y < h; ++y) {
        read(0, y, w);
        if (colour) {
            read(1, rgb ? y : y >> sy, rgb ? w : cw);
            read(2, rgb ? y : y >> sy, rgb ? w : cw);
        }
        if (alpha >= 0)
            av_read_image_line2(r.row[3].data(), (const uint8_t **)f->data, f->linesize, d, 0, y,
                                alpha, w, 0, 2);
        uint32_t *out = dst + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const uint8_t a = alpha >= 0 ? to8(r.row[3][x], d->comp[alpha].depth) : 255;
            const uint8_t c0 = to8(r.row[0][x], d->comp[0].depth);
            if (rgb) {
                out[x] = rgbaToYuva(c0, to8(r.row[1][x], d->comp[1].depth),
                                    to8(r.row[2][x], d->comp[2].depth), a);
            } else {
                const int cx = x >> sx;
                out[x] = packYuva(c0, colour ? to8(r.row[1][cx], d->comp[1].depth) : 128,
                                  colour ? to8(r.row[2][cx], d->comp[2].depth) : 128, a);
            }
        }
    }
}

bool unpackViaRgba(MediaReader &r, const AVFrame *f, uint32_t *dst, std::string &err)
{
    const int w = f->width, h = f->height;
    r.sws = sws_getCachedContext(r.sws, w, h, AVPixelFormat(f->format), w, h, AV_PIX_FMT_RGBA,
                                 SWS_POINT, nullptr, nullptr, nullptr);
    if (!r.sws) {
        err =
            r.name + ": cannot convert pixels of " + av_get_pix_fmt_name(AVPixelFormat(f->format));
        return false;
    }
    r.rgba.resize(size_t(w) * size_t(h) * 4);
    uint8_t *planes[4] = {r.rgba.data()};
    int strides[4] = {4 * w};
    sws_scale(r.sws, f->data, f->linesize, 0, h, planes, strides);
    for (size_t i = 0, n = size_t(w) * size_t(h); i < n; ++i) {
        const uint8_t *p = &r.rgba[4 * i];
        dst[i] = rgbaToYuva(p[0], p[1], p[2], p[3]);
    }
    return true;
}

// How a pixel format reaches the host's bytes; empty when as the
// YUV4MPEG2 reader would.
std::string conversionRule(AVPixelFormat fmt)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(fmt);
    const std::string name = av_get_pix_fmt_name(fmt);
    if (needsSwscale(d))
        return name + " converted to 8-bit RGBA by libswscale, then to Y, U, V with the BT.601 "
                      "studio-range matrix";
    std::string rule;
    auto add = [&](const std::string &part) { rule += (rule.empty() ? "" : "; ") + part; };
    const int depth = d->comp[0].depth;
    if (d->flags & AV_PIX_FMT_FLAG_RGB) {
        add("RGB converted to Y, U, V with the BT.601 studio-range matrix");
    } else if (d->nb_components >= 3) {
        const int bw = 1 << d->log2_chroma_w, bh = 1 << d->log2_chroma_h;
        const bool asY4m = (bw == 1 && bh == 1) || (bw == 2 && bh == 2);
        if (!asY4m || !(d->flags & AV_PIX_FMT_FLAG_PLANAR))
            add("chroma replicated over the " + std::to_string(bw) + "x" + std::to_string(bh) +
                " block it covers");
    }
    if (depth != 8)
        add(std::to_string(depth) + "-bit samples rounded to 8 bits");
    return rule.empty() ? rule : name + ": " + rule;
}

bool unpackFrame(MediaReader &r, const AVFrame *f, std::vector<uint32_t> &out, std::string &err)
{
    out.resize(size_t(f->width) * size_t(f->height));
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(AVPixelFormat(f->format));
    if (!d || needsSwscale(d))
        return unpackViaRgba(r, f, out.data(), err);
    if (isPlanar8(d))
        unpackPlanar8(f, d, out.data());
    else
        unpackGeneric(r, f, d, out.data());
    return true;
}

bool openDecoder(MediaReader &r, std::string &err)
{
    const AVCodecParameters *par = r.format->streams[r.stream]->codecpar;
    const AVCodec *codec = avcodec_find_decoder(par->codec_id);
    if (!codec) {
        err = r.name + ": no decoder for its video (" + avcodec_get_name(par->codec_id) + ")";
        return false;
    }
    r.decoder = avcodec_alloc_context3(codec);
    if (!r.decoder || avcodec_parameters_to_context(r.decoder, par) < 0) {
        err = r.name + ": out of memory";
        return false;
    }
    // Damage is an error, not something to hide.
    r.decoder->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK;
    // One frame thread per core rather than the libraries' cores + 1: the
    // plug-in's thread and the encoder's share the cores, and each frame
    // thread holds pictures of its own (some 20 MB per decoder at 4K).
    r.decoder->thread_count = av_cpu_count();
    const int ret = avcodec_open2(r.decoder, codec, nullptr);
    if (ret < 0) {
        err = r.name + ": cannot open the " + codec->name + " decoder: " + describe(ret);
        return false;
    }
    return true;
}

// The decoded picture's own flags first (they follow the bitstream), then
// the stream's field order (a container's note for codecs without flags).
char interlaceOf(AVFieldOrder order, const AVFrame *first)
{
    if (first->interlaced_frame)
        return first->top_field_first ? 't' : 'b';
    switch (order) {
    case AV_FIELD_TT:
    case AV_FIELD_TB:
        return 't';
    case AV_FIELD_BB:
    case AV_FIELD_BT:
        return 'b';
    default:
        return 'p';
    }
}

} // namespace

bool openMediaReader(const std::string &path, int64_t maxPixels, MediaReader *&reader, Clip &facts,
                     long &frames, std::vector<std::string> &notes, std::string &err)
{
    quietLibraries();
    closeMediaReader(reader);
    MediaReader *r = new MediaReader;
    r->name = path;
    r->packet = av_packet_alloc();
    r->frame = av_frame_alloc();
    auto fail = [&] {
        closeMediaReader(r);
        return false;
    };
    if (!r->packet || !r->frame) {
        err = path + ": out of memory";
        return fail();
    }
    if (!openDemuxer(*r, err))
        return fail();
    AVStream *st = r->format->streams[r->stream];
    r->width = st->codecpar->width;
    r->height = st->codecpar->height;
    if (r->width < 1 || r->height < 1 || r->width > kMaxFrameSide || r->height > kMaxFrameSide) {
        err = path + ": frame size " + std::to_string(r->width) + "x" + std::to_string(r->height) +
              " out of range (1.." + std::to_string(kMaxFrameSide) + ")";
        return fail();
    }
    if (int64_t(r->width) * r->height > maxPixels) {
        err = path + ": pictures of " + std::to_string(r->width) + "x" + std::to_string(r->height) +
              " exceed the limit of " + std::to_string(maxPixels) +
              " pixels (--max-pixels N raises it)";
        return fail();
    }
    if (!indexStream(*r, err) || !openDemuxer(*r, err) || !openDecoder(*r, err) ||
        !decodeUntil(*r, 0, err))
        return fail();
    st = r->format->streams[r->stream];
    const MediaReader::Kept *first = findKept(*r, 0);

    facts = Clip{};
    facts.width = r->width;
    facts.height = r->height;
    AVRational rate = av_guess_frame_rate(r->format, st, nullptr);
    if (rate.num <= 0 || rate.den <= 0) {
        rate = AVRational{25, 1};
        notes.push_back(path + ": no frame rate given; 25 frames/s assumed");
    }
    av_reduce(&facts.fpsNum, &facts.fpsDen, rate.num, rate.den, INT32_MAX);
    const AVRational sar = av_guess_sample_aspect_ratio(r->format, st, first->frame);
    if (sar.num > 0 && sar.den > 0)
        facts.aspect = std::to_string(sar.num) + ":" + std::to_string(sar.den);
    facts.interlace = interlaceOf(st->codecpar->field_order, first->frame);
    const AVPixelFormat fmt = AVPixelFormat(first->frame->format);
    const AVColorRange range = first->frame->color_range != AVCOL_RANGE_UNSPECIFIED
                                   ? first->frame->color_range
                                   : st->codecpar->color_range;
    if (range == AVCOL_RANGE_JPEG || fmt == AV_PIX_FMT_YUVJ420P || fmt == AV_PIX_FMT_YUVJ422P ||
        fmt == AV_PIX_FMT_YUVJ444P || fmt == AV_PIX_FMT_YUVJ440P || fmt == AV_PIX_FMT_YUVJ411P)
        facts.colorRange = "FULL";
    else if (range == AVCOL_RANGE_MPEG)
        facts.colorRange = "LIMITED";
    if (const std::string rule = conversionRule(fmt); !rule.empty())
        notes.push_back(path + ": " + rule);
    frames = long(r->stamps.size());
    reader = r;
    return true;
}

bool readMediaFrame(MediaReader *r, long k, std::vector<uint32_t> &out, std::string &err)
{
    k = std::clamp(k, 0L, long(r->stamps.size()) - 1);
    MediaReader::Kept *e = findKept(*r, k);
    if (!e) {
        // Decoding on is cheaper than a seek when the frame is a little ahead;
        // counted frames are only ever reached from the start.
        const bool onward =
            k > r->last && (r->counted || (r->last >= 0 && k <= r->last + kForwardReach));
        if (!onward && !seekTo(*r, k, err))
            return false;
        if (!decodeUntil(*r, k, err))
            return false;
        e = findKept(*r, k);
    }
    e->used = ++r->clock;
    const bool ok = unpackFrame(*r, e->frame, out, err);
    // The input keeps the unpacked frame; the picture goes back to the
    // decoder, whose pool then holds one picture fewer.
    av_frame_free(&e->frame);
    e->index = -1;
    return ok;
}

void closeMediaReader(MediaReader *&r)
{
    if (!r)
        return;
    for (MediaReader::Kept &e : r->kept)
        av_frame_free(&e.frame);
    av_frame_free(&r->frame);
    av_packet_free(&r->packet);
    avcodec_free_context(&r->decoder);
    avformat_close_input(&r->format);
    sws_freeContext(r->sws);
    delete r;
    r = nullptr;
}

// ---------------------------------------------------------------------------
// Writing

struct MediaWriter {
    std::string name;
    TempFile temp;
    AVFormatContext *format = nullptr;
    AVCodecContext *encoder = nullptr;
    AVStream *stream = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    SwsContext *sws = nullptr; // the encoder's format from planar 4:4:4, when it takes none of ours
    AVFrame *source = nullptr; // that 4:4:4 picture
    PixFmt planesFmt = PixFmt::Yuv420;
    std::vector<uint8_t> planes;
    int64_t next = 0;
    bool opened = false; // header written
    AudioTrack *audio = nullptr;
};

namespace {

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int writeToTemp(void *opaque, const uint8_t *buf, int size)
#else
int writeToTemp(void *opaque, uint8_t *buf, int size)
#endif
{
    std::FILE *fp = static_cast<MediaWriter *>(opaque)->temp.fp;
    return std::fwrite(buf, 1, size_t(size), fp) == size_t(size) ? size : AVERROR(EIO);
}

int64_t seekInTemp(void *opaque, int64_t offset, int whence)
{
    std::FILE *fp = static_cast<MediaWriter *>(opaque)->temp.fp;
    if (whence == AVSEEK_SIZE) {
        const int64_t at = ftello(fp);
        if (fseeko(fp, 0, SEEK_END) != 0)
            return AVERROR(errno);
        const int64_t size = ftello(fp);
        fseeko(fp, at, SEEK_SET);
        return size;
    }
    if (fseeko(fp, offset, whence & ~AVSEEK_FORCE) != 0)
        return AVERROR(errno);
    return ftello(fp);
}

AVPixelFormat avFormatOf(PixFmt fmt)
{
    return fmt == PixFmt::Yuv420   ? AV_PIX_FMT_YUV420P
           : fmt == PixFmt::Yuv444 ? AV_PIX_FMT_YUV444P
                                   : AV_PIX_FMT_YUVA444P;
}

bool takes(const AVCodec *codec, AVPixelFormat fmt)
{
    if (!codec->pix_fmts)
        return true;
    for (const AVPixelFormat *p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == fmt)
            return true;
    return false;
}

// Sends one frame (null: the end) and writes every packet the encoder has.
bool encode(MediaWriter &w, const AVFrame *frame, std::string &err)
{
    int ret = avcodec_send_frame(w.encoder, frame);
    while (ret >= 0) {
        ret = avcodec_receive_packet(w.encoder, w.packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            break;
        av_packet_rescale_ts(w.packet, w.encoder->time_base, w.stream->time_base);
        w.packet->stream_index = w.stream->index;
        ret = av_interleaved_write_frame(w.format, w.packet);
    }
    err = w.name + ": encoding failed: " + describe(ret);
    return false;
}

// What to do when an encoder refuses a picture whose odd side its chroma
// subsampling cannot halve; empty when the size is not the reason.
std::string oddSizeAdvice(const Clip &facts, AVPixelFormat fmt)
{
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(fmt);
    const bool oddW = d->log2_chroma_w && facts.width % 2,
               oddH = d->log2_chroma_h && facts.height % 2;
    if (!oddW && !oddH)
        return "";
    const int w = facts.width - (oddW ? 1 : 0), h = facts.height - (oddH ? 1 : 0);
    return std::string(". ") + av_get_pix_fmt_name(fmt) + " halves the chroma, so the " +
           (oddW && oddH ? "width and height"
            : oddW       ? "width"
                         : "height") +
           " of " + std::to_string(facts.width) + "x" + std::to_string(facts.height) +
           " must be even: write --pix-fmt 444 (whole chroma, any size), or crop or pad the clip "
           "by one pixel first (e.g. ffmpeg -vf crop=" +
           std::to_string(w) + ":" + std::to_string(h) +
           ":0:0, or pad=" + std::to_string(w + (oddW ? 2 : 0)) + ":" +
           std::to_string(h + (oddH ? 2 : 0)) + ")";
}

bool setUpEncoder(MediaWriter &w, const Clip &facts, const MediaSettings &s,
                  std::vector<std::string> &notes, std::string &err)
{
    const AVCodec *codec = s.codec.empty() ? avcodec_find_encoder_by_name("libx264")
                                           : avcodec_find_encoder_by_name(s.codec.c_str());
    if (!codec && s.codec.empty())
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        err = w.name + ": " +
              (s.codec.empty() ? "the libraries have no H.264 encoder; choose one with --codec"
                               : "the libraries have no video encoder '" + s.codec + "'");
        return false;
    }
    if (avformat_query_codec(w.format->oformat, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        err = w.name + ": " + codec->name + " video cannot be stored in " +
              w.format->oformat->name + " files";
        return false;
    }
    w.encoder = avcodec_alloc_context3(codec);
    if (!w.encoder) {
        err = w.name + ": out of memory";
        return false;
    }
    AVCodecContext *c = w.encoder;
    c->width = facts.width;
    c->height = facts.height;
    c->time_base = AVRational{facts.fpsDen, facts.fpsNum};
    c->framerate = AVRational{facts.fpsNum, facts.fpsDen};
    c->thread_count = 0;
    int sarNum = 0, sarDen = 0;
    if (sscanf(facts.aspect.c_str(), "%d:%d", &sarNum, &sarDen) == 2 && sarNum > 0 && sarDen > 0)
        c->sample_aspect_ratio = AVRational{sarNum, sarDen};
    c->color_range = facts.colorRange == "FULL" ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (facts.interlace == 't' || facts.interlace == 'b') {
        c->field_order = facts.interlace == 't' ? AV_FIELD_TT : AV_FIELD_BB;
        c->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    } else if (facts.interlace == 'p') {
        c->field_order = AV_FIELD_PROGRESSIVE;
    }
    if (w.format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (s.crf >= 0) {
        const int ret = av_opt_set_int(c->priv_data, "crf", s.crf, 0);
        if (ret < 0) {
            err = w.name + ": --crf " + std::to_string(s.crf) + ": " +
                  (ret == AVERROR_OPTION_NOT_FOUND
                       ? std::string("the ") + codec->name + " encoder has no CRF setting"
                       : describe(ret));
            return false;
        }
    }

    // The picture handed over: one of the planar formats the YUV4MPEG2
    // writer makes or, for an encoder that takes none, the format it takes
    // closest to the one asked for, converted from 4:4:4 by libswscale.
    w.planesFmt = s.fmt;
    AVPixelFormat want = avFormatOf(s.fmt);
    if (!takes(codec, want)) {
        w.planesFmt = s.fmt == PixFmt::Yuva444 ? PixFmt::Yuva444 : PixFmt::Yuv444;
        want = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, avFormatOf(s.fmt),
                                                 s.fmt == PixFmt::Yuva444, nullptr);
        notes.push_back(w.name + ": " + codec->name + " takes no " +
                        av_get_pix_fmt_name(avFormatOf(s.fmt)) + "; frames converted from " +
                        av_get_pix_fmt_name(avFormatOf(w.planesFmt)) + " to " +
                        av_get_pix_fmt_name(want) + " by libswscale (bicubic)");
    }
    c->pix_fmt = want;
    int ret = avcodec_open2(c, codec, nullptr);
    if (ret < 0) {
        err = w.name + ": cannot open the " + codec->name + " encoder for " +
              std::to_string(facts.width) + "x" + std::to_string(facts.height) + " " +
              av_get_pix_fmt_name(want) + ": " + describe(ret) + oddSizeAdvice(facts, want);
        return false;
    }
    w.frame = av_frame_alloc();
    w.packet = av_packet_alloc();
    if (!w.frame || !w.packet)
        return false;
    w.frame->format = want;
    w.frame->width = facts.width;
    w.frame->height = facts.height;
    if (av_frame_get_buffer(w.frame, 0) < 0)
        return false;
    if (want != avFormatOf(w.planesFmt)) {
        w.source = av_frame_alloc();
        w.sws = sws_getContext(facts.width, facts.height, avFormatOf(w.planesFmt), facts.width,
                               facts.height, want, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!w.source || !w.sws)
            return false;
    }
    return true;
}

} // namespace

bool openMediaWriter(const std::string &path, const Clip &facts, const MediaSettings &s,
                     MediaWriter *&writer, std::vector<std::string> &notes, std::string &err)
{
    quietLibraries();
    abandonMediaWriter(writer);
    MediaWriter *w = new MediaWriter;
    w->name = path;
    auto fail = [&] {
        if (err.empty())
            err = path + ": cannot set up the encoder: " + describe(AVERROR(ENOMEM));
        abandonMediaWriter(w);
        return false;
    };
    int ret = avformat_alloc_output_context2(&w->format, nullptr, nullptr, path.c_str());
    if (ret < 0) {
        err = path + ": cannot write this file type: " + describe(ret);
        return fail();
    }
    if (!setUpEncoder(*w, facts, s, notes, err) || !openTemp(path, w->temp, err))
        return fail();
    constexpr int kBufferBytes = 1 << 16;
    uint8_t *buffer = static_cast<uint8_t *>(av_malloc(kBufferBytes));
    w->format->pb =
        buffer ? avio_alloc_context(buffer, kBufferBytes, 1, w, nullptr, writeToTemp, seekInTemp)
               : nullptr;
    if (!w->format->pb) {
        av_free(buffer);
        return fail();
    }
    w->stream = avformat_new_stream(w->format, nullptr);
    if (!w->stream || avcodec_parameters_from_context(w->stream->codecpar, w->encoder) < 0)
        return fail();
    w->stream->time_base = w->encoder->time_base;
    w->stream->avg_frame_rate = w->encoder->framerate;
    w->stream->sample_aspect_ratio = w->encoder->sample_aspect_ratio;
    if (!openAudioTrack(path, w->format, s.audio, w->encoder->framerate, w->audio, notes, err))
        return fail();
    ret = avformat_write_header(w->format, nullptr);
    if (ret < 0) {
        err = path + ": cannot start the file: " + describe(ret);
        return fail();
    }
    w->opened = true;
    writer = w;
    return true;
}

bool writeMediaFrame(MediaWriter *w, const uint32_t *pixels, std::string &err)
{
    AVCodecContext *c = w->encoder;
    packPlanes(pixels, c->width, c->height, w->planesFmt, w->planes);
    AVFrame *f = w->frame;
    if (av_frame_make_writable(f) < 0) {
        err = w->name + ": out of memory";
        return false;
    }
    uint8_t *src[4];
    int strides[4];
    av_image_fill_arrays(src, strides, w->planes.data(), avFormatOf(w->planesFmt), c->width,
                         c->height, 1);
    if (w->sws)
        sws_scale(w->sws, src, strides, 0, c->height, f->data, f->linesize);
    else
        av_image_copy(f->data, f->linesize, const_cast<const uint8_t **>(src), strides, c->pix_fmt,
                      c->width, c->height);
    f->pts = w->next++;
    f->interlaced_frame = c->field_order == AV_FIELD_TT || c->field_order == AV_FIELD_BB;
    f->top_field_first = c->field_order == AV_FIELD_TT;
    f->color_range = c->color_range;
    return encode(*w, f, err) && writeAudioUntil(w->audio, w->format, long(w->next), false, err);
}

void setMediaAudioLevels(MediaWriter *w, std::vector<int> levels)
{
    if (w)
        setAudioLevels(w->audio, std::move(levels));
}

bool finishMediaWriter(MediaWriter *&w, std::string &err)
{
    bool ok =
        encode(*w, nullptr, err) && writeAudioUntil(w->audio, w->format, long(w->next), true, err);
    if (ok) {
        const int ret = av_write_trailer(w->format);
        w->opened = false;
        avio_flush(w->format->pb);
        if (ret < 0 || w->format->pb->error < 0) {
            err = w->name +
                  ": cannot complete the file: " + describe(ret < 0 ? ret : w->format->pb->error);
            ok = false;
        }
    }
    ok = ok && commitTemp(w->temp, err);
    abandonMediaWriter(w);
    return ok;
}

void abandonMediaWriter(MediaWriter *&w)
{
    if (!w)
        return;
    if (w->format && w->format->pb) {
        av_freep(&w->format->pb->buffer);
        avio_context_free(&w->format->pb);
    }
    avformat_free_context(w->format);
    avcodec_free_context(&w->encoder);
    av_frame_free(&w->frame);
    av_frame_free(&w->source);
    av_packet_free(&w->packet);
    sws_freeContext(w->sws);
    closeAudioTrack(w->audio);
    discardTemp(w->temp);
    delete w;
    w = nullptr;
}

} // namespace vxh
