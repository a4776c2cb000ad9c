// The sound track of a media output (see media.h for the rules).
#include "host/io/mediaaudio.h"
#include "host/io/medialog.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace vxh {

namespace {

// One input's sound, decoded and converted to the encoder's rate and
// channels as planar float, waiting in a queue aligned with output frame 0.
struct AudioSource {
    std::string name;
    AVFormatContext *format = nullptr;
    int stream = -1;
    AVCodecContext *decoder = nullptr;
    SwrContext *swr = nullptr;
    AVAudioFifo *fifo = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr, *converted = nullptr;
    double videoStart = 0;  // seconds: the time of the input's first frame
    double outputStart = 0; // seconds after videoStart shown as output frame 0
    bool aligned = false;
    int64_t skip = 0; // converted samples still to drop before output frame 0
    bool ended = false;
};

} // namespace

struct AudioTrack {
    std::string outName;
    AVRational frameRate{25, 1};
    AVStream *stream = nullptr;
    // Copying
    AVFormatContext *copyFrom = nullptr;
    int copyStream = -1;
    AVPacket *pending = nullptr;
    bool havePending = false;
    int64_t offset = 0; // input time stamp (its time base) of output frame 0
    bool cut = false;   // output frame 0 is later than the input's first frame
    bool copyEnded = false;
    // Mixing
    AudioSource sources[2];
    int sourceCount = 0;
    AVCodecContext *encoder = nullptr;
    AVFrame *mixed = nullptr;
    AVPacket *packet = nullptr;
    std::vector<int> levels;
    std::vector<float> other; // input 1's samples of the frame being mixed
    std::vector<void *> planes;
    int fieldsPerFrame = 2;
    int64_t produced = 0; // samples sent to the encoder
    bool soundEnded = false, flushed = false;
};

namespace {

// The input's first video time stamp in seconds (0 when unknown).
double videoStartOf(AVFormatContext *f)
{
    const int v = av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0 || f->streams[v]->start_time == AV_NOPTS_VALUE)
        return 0;
    return double(f->streams[v]->start_time) * av_q2d(f->streams[v]->time_base);
}

// Opens path's demuxer with only its best audio stream read; false when
// it has none (no error) or cannot be opened (err).
bool openAudioDemuxer(const std::string &path, AVFormatContext *&f, int &stream, std::string &err)
{
    int ret = avformat_open_input(&f, path.c_str(), nullptr, nullptr);
    if (ret >= 0)
        ret = avformat_find_stream_info(f, nullptr);
    if (ret < 0) {
        err = path + ": cannot read its sound: " + describeMediaError(ret);
        return false;
    }
    stream = av_find_best_stream(f, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0)
        return false;
    for (unsigned i = 0; i < f->nb_streams; ++i)
        f->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    return true;
}

// ---- copying ---------------------------------------------------------------

bool openCopy(AudioTrack &t, AVFormatContext *out, const AudioPlan &plan,
              std::vector<std::string> &notes, bool &storable, std::string &err)
{
    storable = true;
    if (!openAudioDemuxer(plan.source0, t.copyFrom, t.copyStream, err))
        return err.empty();
    const AVStream *in = t.copyFrom->streams[t.copyStream];
    const AVCodecID id = in->codecpar->codec_id;
    if (avformat_query_codec(out->oformat, id, FF_COMPLIANCE_NORMAL) != 1) {
        storable = false;
        notes.push_back(t.outName + ": " + out->oformat->name + " files cannot hold input 0's " +
                        avcodec_get_name(id) + " sound as it is: it is re-encoded");
        return true;
    }
    t.stream = avformat_new_stream(out, nullptr);
    t.pending = av_packet_alloc();
    if (!t.stream || !t.pending || avcodec_parameters_copy(t.stream->codecpar, in->codecpar) < 0) {
        err = t.outName + ": out of memory";
        return false;
    }
    t.stream->codecpar->codec_tag = 0;
    t.stream->time_base = in->time_base;
    const double start = videoStartOf(t.copyFrom) + double(plan.firstFrame) / av_q2d(t.frameRate);
    t.offset = int64_t(std::llround(start / av_q2d(in->time_base)));
    t.cut = plan.firstFrame > 0;
    return true;
}

// Copies input packets that start before output frame `frames`.
bool copyUntil(AudioTrack &t, AVFormatContext *out, long frames, std::string &err)
{
    const AVStream *in = t.copyFrom->streams[t.copyStream];
    const int64_t limit =
        av_rescale_q(frames, AVRational{t.frameRate.den, t.frameRate.num}, in->time_base) +
        t.offset;
    while (!t.copyEnded) {
        if (!t.havePending) {
            const int ret = av_read_frame(t.copyFrom, t.pending);
            if (ret == AVERROR_EOF) {
                t.copyEnded = true;
                break;
            }
            if (ret < 0) {
                err = t.outName + ": reading input 0's sound failed: " + describeMediaError(ret);
                return false;
            }
            if (t.pending->stream_index != t.copyStream) {
                av_packet_unref(t.pending);
                continue;
            }
            t.havePending = true;
        }
        AVPacket *p = t.pending;
        const int64_t at = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        if (at != AV_NOPTS_VALUE && at >= limit)
            break;
        t.havePending = false;
        if (t.cut && at != AV_NOPTS_VALUE && at + p->duration <= t.offset) {
            av_packet_unref(p);
            continue;
        }
        if (p->pts != AV_NOPTS_VALUE)
            p->pts -= t.offset;
        if (p->dts != AV_NOPTS_VALUE)
            p->dts -= t.offset;
        av_packet_rescale_ts(p, in->time_base, t.stream->time_base);
        p->stream_index = t.stream->index;
        p->pos = -1;
        const int ret = av_interleaved_write_frame(out, p);
        if (ret < 0) {
            err = t.outName + ": writing the sound failed: " + describeMediaError(ret);
            return false;
        }
    }
    return true;
}

// ---- mixing ----------------------------------------------------------------

// The container's usual audio encoder when it takes planar float, else AAC;
// never an experimental one.
const AVCodec *mixEncoder(const AVOutputFormat *of)
{
    auto fits = [&](const AVCodec *c) {
        if (!c || (c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) ||
            avformat_query_codec(of, c->id, FF_COMPLIANCE_NORMAL) != 1)
            return false;
        for (const AVSampleFormat *f = c->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_FLTP)
                return true;
        return false;
    };
    const AVCodec *c = avcodec_find_encoder(of->audio_codec);
    if (fits(c))
        return c;
    c = avcodec_find_encoder(AV_CODEC_ID_AAC);
    return fits(c) ? c : nullptr;
}

int chooseRate(const AVCodec *c, int wanted)
{
    if (!c->supported_samplerates)
        return wanted;
    int best = c->supported_samplerates[0];
    for (const int *r = c->supported_samplerates; *r; ++r)
        if (std::abs(*r - wanted) < std::abs(best - wanted))
            best = *r;
    return best;
}

bool openSource(AudioSource &s, const std::string &path, const AudioPlan &plan,
                AVRational frameRate, std::string &err)
{
    s.name = path;
    if (!openAudioDemuxer(path, s.format, s.stream, err))
        return false;
    const AVStream *st = s.format->streams[s.stream];
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    s.decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    int ret = s.decoder ? avcodec_parameters_to_context(s.decoder, st->codecpar) : AVERROR(ENOMEM);
    if (ret >= 0)
        ret = avcodec_open2(s.decoder, codec, nullptr);
    if (!codec || ret < 0) {
        err = path + ": cannot decode its " + avcodec_get_name(st->codecpar->codec_id) + " sound" +
              (codec ? ": " + describeMediaError(ret) : "");
        return false;
    }
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    s.converted = av_frame_alloc();
    s.videoStart = videoStartOf(s.format);
    s.outputStart = double(plan.firstFrame) / av_q2d(frameRate);
    return s.packet && s.frame && s.converted;
}

bool startConverter(AudioSource &s, const AVCodecContext *enc, std::string &err)
{
    s.fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, enc->ch_layout.nb_channels, 4096);
    AVChannelLayout in = {};
    av_channel_layout_copy(&in, &s.decoder->ch_layout);
    if (in.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, in.nb_channels);
    const int ret = swr_alloc_set_opts2(&s.swr, const_cast<AVChannelLayout *>(&enc->ch_layout),
                                        AV_SAMPLE_FMT_FLTP, enc->sample_rate, &in,
                                        s.decoder->sample_fmt, s.decoder->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (ret < 0 || !s.fifo || swr_init(s.swr) < 0) {
        err = s.name + ": cannot convert its sound: " + describeMediaError(ret);
        return false;
    }
    return true;
}

// Queues converted samples, dropping those before output frame 0.
bool queueConverted(AudioSource &s, const AVFrame *c)
{
    int64_t n = c->nb_samples, from = 0;
    if (s.skip > 0) {
        from = std::min(s.skip, n);
        s.skip -= from;
    }
    if (n - from <= 0)
        return true;
    void *planes[AV_NUM_DATA_POINTERS];
    for (int ch = 0; ch < c->ch_layout.nb_channels; ++ch)
        planes[ch] = c->extended_data[ch] + from * int64_t(sizeof(float));
    return av_audio_fifo_write(s.fifo, planes, int(n - from)) == int(n - from);
}

// Converts a decoded frame (null: the converter's rest) into the queue. The
// first frame fixes where output frame 0 falls in the input's sound.
bool convertFrame(AudioSource &s, const AVCodecContext *enc, const AVFrame *f, std::string &err)
{
    if (f && !s.aligned) {
        s.aligned = true;
        const AVStream *st = s.format->streams[s.stream];
        const int64_t t = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp
                          : st->start_time != AV_NOPTS_VALUE         ? st->start_time
                                                                     : 0;
        const double late = double(t) * av_q2d(st->time_base) - s.videoStart - s.outputStart;
        const int64_t samples = std::llround(late * enc->sample_rate);
        if (samples > 0) {
            std::vector<float> silence(size_t(samples), 0.0f);
            std::vector<void *> planes(size_t(enc->ch_layout.nb_channels), silence.data());
            if (av_audio_fifo_write(s.fifo, planes.data(), int(samples)) != int(samples)) {
                err = s.name + ": out of memory";
                return false;
            }
        } else {
            s.skip = -samples;
        }
    }
    av_frame_unref(s.converted);
    s.converted->format = AV_SAMPLE_FMT_FLTP;
    s.converted->sample_rate = enc->sample_rate;
    av_channel_layout_copy(&s.converted->ch_layout, &enc->ch_layout);
    const int ret = swr_convert_frame(s.swr, s.converted, f);
    if (ret < 0 || !queueConverted(s, s.converted)) {
        err = s.name + ": cannot convert its sound: " + describeMediaError(ret);
        return false;
    }
    return true;
}

// Decodes until the queue holds `want` samples or the sound ends.
bool fill(AudioSource &s, const AVCodecContext *enc, int want, std::string &err)
{
    while (!s.ended && av_audio_fifo_size(s.fifo) < want) {
        int ret = avcodec_receive_frame(s.decoder, s.frame);
        if (ret >= 0) {
            const bool ok = convertFrame(s, enc, s.frame, err);
            av_frame_unref(s.frame);
            if (!ok)
                return false;
            continue;
        }
        if (ret == AVERROR_EOF) {
            s.ended = true;
            return !s.aligned || convertFrame(s, enc, nullptr, err);
        }
        if (ret != AVERROR(EAGAIN)) {
            err = s.name + ": cannot decode its sound: " + describeMediaError(ret);
            return false;
        }
        ret = av_read_frame(s.format, s.packet);
        if (ret == AVERROR_EOF) {
            avcodec_send_packet(s.decoder, nullptr);
            continue;
        }
        if (ret < 0) {
            err = s.name + ": reading its sound failed: " + describeMediaError(ret);
            return false;
        }
        if (s.packet->stream_index == s.stream)
            ret = avcodec_send_packet(s.decoder, s.packet);
        av_packet_unref(s.packet);
        if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_INVALIDDATA) {
            err = s.name + ": cannot decode its sound: " + describeMediaError(ret);
            return false;
        }
    }
    return true;
}

// Sends one frame to the encoder (null: the end) and writes its packets.
bool encodeAudio(AudioTrack &t, AVFormatContext *out, const AVFrame *f, std::string &err)
{
    int ret = avcodec_send_frame(t.encoder, f);
    while (ret >= 0) {
        ret = avcodec_receive_packet(t.encoder, t.packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            break;
        av_packet_rescale_ts(t.packet, t.encoder->time_base, t.stream->time_base);
        t.packet->stream_index = t.stream->index;
        ret = av_interleaved_write_frame(out, t.packet);
    }
    err = t.outName + ": encoding the sound failed: " + describeMediaError(ret);
    return false;
}

// Input 1's share at output sample n: the level of the field it sounds in.
int levelAt(const AudioTrack &t, int64_t n)
{
    if (t.levels.empty())
        return 0;
    const int64_t field = n * t.frameRate.num * t.fieldsPerFrame /
                          (int64_t(t.encoder->sample_rate) * t.frameRate.den);
    return t.levels[size_t(std::min<int64_t>(field, int64_t(t.levels.size()) - 1))];
}

// Mixes and encodes the next n samples (n <= the encoder's frame size).
bool mixSamples(AudioTrack &t, AVFormatContext *out, int n, std::string &err)
{
    AVFrame *m = t.mixed;
    if (av_frame_make_writable(m) < 0) {
        err = t.outName + ": out of memory";
        return false;
    }
    const int channels = t.encoder->ch_layout.nb_channels;
    std::vector<float> &other = t.other;
    std::vector<void *> &planes = t.planes;
    other.assign(size_t(channels) * size_t(n), 0.0f);
    planes.resize(size_t(channels));
    for (int ch = 0; ch < channels; ++ch) {
        std::fill_n(reinterpret_cast<float *>(m->extended_data[ch]), n, 0.0f);
        planes[size_t(ch)] = m->extended_data[ch];
    }
    if (t.sources[0].fifo)
        av_audio_fifo_read(t.sources[0].fifo, planes.data(), n);
    if (t.sources[1].fifo) {
        for (int ch = 0; ch < channels; ++ch)
            planes[size_t(ch)] = other.data() + size_t(ch) * size_t(n);
        av_audio_fifo_read(t.sources[1].fifo, planes.data(), n);
    }
    for (int i = 0; i < n; ++i) {
        const float l = float(levelAt(t, t.produced + i));
        for (int ch = 0; ch < channels; ++ch) {
            float *s = reinterpret_cast<float *>(m->extended_data[ch]) + i;
            const float b = other[size_t(ch) * size_t(n) + size_t(i)];
            *s = (*s * (255.0f - l) + b * l) / 255.0f;
        }
    }
    m->nb_samples = n;
    m->pts = t.produced;
    t.produced += n;
    return encodeAudio(t, out, m, err);
}

bool openMix(AudioTrack &t, AVFormatContext *out, const AudioPlan &plan, std::string &err)
{
    // Input 0's sound is sources[0], input 1's sources[1]; either may be
    // silent (no file, or no audio stream in it).
    const std::string paths[2] = {plan.source0,
                                  plan.mode == AudioMode::Mix ? plan.source1 : std::string()};
    t.sourceCount = plan.mode == AudioMode::Mix ? 2 : 1;
    AudioSource *first = nullptr;
    for (int i = 0; i < t.sourceCount; ++i) {
        if (paths[i].empty())
            continue;
        if (openSource(t.sources[i], paths[i], plan, t.frameRate, err))
            first = first ? first : &t.sources[i];
        else if (!err.empty())
            return false;
    }
    if (!first)
        return true;
    const AVCodec *codec = mixEncoder(out->oformat);
    if (!codec) {
        err = t.outName + ": the libraries have no audio encoder for " + out->oformat->name +
              " files (--audio none leaves the sound out)";
        return false;
    }
    t.encoder = avcodec_alloc_context3(codec);
    if (!t.encoder)
        return false;
    AVCodecContext *c = t.encoder;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = chooseRate(codec, first->decoder->sample_rate);
    av_channel_layout_copy(&c->ch_layout, &first->decoder->ch_layout);
    if (c->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&c->ch_layout, c->ch_layout.nb_channels);
    if (c->ch_layout.nb_channels > 2 && codec->ch_layouts) {
        av_channel_layout_uninit(&c->ch_layout);
        c->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    }
    c->time_base = AVRational{1, c->sample_rate};
    if (out->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(c, codec, nullptr);
    if (ret < 0) {
        err = t.outName + ": cannot open the " + codec->name +
              " sound encoder: " + describeMediaError(ret);
        return false;
    }
    for (int i = 0; i < t.sourceCount; ++i)
        if (t.sources[i].decoder && !startConverter(t.sources[i], c, err))
            return false;
    t.stream = avformat_new_stream(out, nullptr);
    t.mixed = av_frame_alloc();
    t.packet = av_packet_alloc();
    if (!t.stream || !t.mixed || !t.packet ||
        avcodec_parameters_from_context(t.stream->codecpar, c) < 0)
        return false;
    t.stream->time_base = c->time_base;
    t.mixed->format = AV_SAMPLE_FMT_FLTP;
    t.mixed->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
    av_channel_layout_copy(&t.mixed->ch_layout, &c->ch_layout);
    return av_frame_get_buffer(t.mixed, 0) >= 0;
}

bool mixUntil(AudioTrack &t, AVFormatContext *out, long frames, bool end, std::string &err)
{
    if (!t.encoder || t.flushed)
        return true;
    const int frameSize = t.encoder->frame_size > 0 ? t.encoder->frame_size : 1024;
    const int64_t target =
        av_rescale_q(frames, AVRational{t.frameRate.den, t.frameRate.num}, t.encoder->time_base);
    while (!t.soundEnded && t.produced < target) {
        int available = 0;
        for (int i = 0; i < t.sourceCount; ++i) {
            AudioSource &s = t.sources[i];
            if (s.decoder && !fill(s, t.encoder, frameSize, err))
                return false;
            if (s.fifo)
                available = std::max(available, av_audio_fifo_size(s.fifo));
        }
        const int n = int(std::min<int64_t>({frameSize, target - t.produced, available}));
        if (n < frameSize && !end && available >= frameSize)
            break; // a whole frame only, until the end
        if (n <= 0) {
            t.soundEnded = true;
            break;
        }
        if (!mixSamples(t, out, n, err))
            return false;
        if (n < frameSize)
            t.soundEnded = true;
    }
    if (end) {
        t.flushed = true;
        return encodeAudio(t, out, nullptr, err);
    }
    return true;
}

void closeSource(AudioSource &s)
{
    avformat_close_input(&s.format);
    avcodec_free_context(&s.decoder);
    swr_free(&s.swr);
    if (s.fifo)
        av_audio_fifo_free(s.fifo);
    s.fifo = nullptr;
    av_packet_free(&s.packet);
    av_frame_free(&s.frame);
    av_frame_free(&s.converted);
}

} // namespace

bool openAudioTrack(const std::string &outName, AVFormatContext *out, const AudioPlan &plan,
                    AVRational frameRate, AudioTrack *&track, std::vector<std::string> &notes,
                    std::string &err)
{
    closeAudioTrack(track);
    if (plan.mode == AudioMode::None || (plan.source0.empty() && plan.source1.empty()))
        return true;
    AudioTrack *t = new AudioTrack;
    t->outName = outName;
    t->frameRate = frameRate;
    t->fieldsPerFrame = plan.fieldsPerFrame;
    bool ok = true, storable = true;
    if (plan.mode == AudioMode::Input0 && !plan.source0.empty())
        ok = openCopy(*t, out, plan, notes, storable, err);
    if (ok && (plan.mode == AudioMode::Mix || !storable)) {
        avformat_close_input(&t->copyFrom);
        ok = openMix(*t, out, plan, err);
    }
    if (!ok) {
        if (err.empty())
            err = outName + ": cannot set up the sound: out of memory";
        closeAudioTrack(t);
        return false;
    }
    if (!t->stream)
        closeAudioTrack(t);
    track = t;
    return true;
}

void setAudioLevels(AudioTrack *track, std::vector<int> levels)
{
    if (track)
        track->levels = std::move(levels);
}

bool writeAudioUntil(AudioTrack *t, AVFormatContext *out, long frames, bool end, std::string &err)
{
    if (!t)
        return true;
    if (t->copyFrom)
        return copyUntil(*t, out, frames, err);
    return mixUntil(*t, out, frames, end, err);
}

void closeAudioTrack(AudioTrack *&t)
{
    if (!t)
        return;
    avformat_close_input(&t->copyFrom);
    av_packet_free(&t->pending);
    for (AudioSource &s : t->sources)
        closeSource(s);
    avcodec_free_context(&t->encoder);
    av_frame_free(&t->mixed);
    av_packet_free(&t->packet);
    delete t;
    t = nullptr;
}

} // namespace vxh
