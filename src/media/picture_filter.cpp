#include "media/picture_filter.h"

#include <cstdio>
#include <utility>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mastering_display_metadata.h>
}

namespace media {

namespace {

// Without mastering metadata a PQ or HLG grade is taken as made on a
// 1000-nit display, the usual grading peak, in units of npl=100 nits.
constexpr double kDefaultPeak = 1000.0 / 100.0;

std::optional<double> PeakOf(const AVMasteringDisplayMetadata& metadata) {
    if (!metadata.has_luminance || metadata.max_luminance.num <= 0 ||
        metadata.max_luminance.den <= 0)
        return std::nullopt;
    return av_q2d(metadata.max_luminance);
}

std::optional<double> FramePeak(const AVFrame& frame) {
    const AVFrameSideData* data =
        av_frame_get_side_data(&frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
    if (!data || data->size < sizeof(AVMasteringDisplayMetadata))
        return std::nullopt;
    return PeakOf(*reinterpret_cast<const AVMasteringDisplayMetadata*>(data->data));
}

bool IsHighDynamicRange(AVColorTransferCharacteristic transfer) {
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

// BT.2020 with a standard dynamic range transfer; the constant luminance
// matrix has no conversion in the chain.
bool IsWideGamutStandardRange(const AVFrame& frame) {
    const bool transfer = frame.color_trc == AVCOL_TRC_BT709 ||
                          frame.color_trc == AVCOL_TRC_BT2020_10 ||
                          frame.color_trc == AVCOL_TRC_BT2020_12;
    return frame.color_primaries == AVCOL_PRI_BT2020 && transfer &&
           frame.colorspace != AVCOL_SPC_BT2020_CL;
}

bool FieldOrderSaysInterlaced(AVFieldOrder order) {
    return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB ||
           order == AV_FIELD_BT;
}

// What zscale cannot guess of an untagged HDR frame: BT.2020 as the streams
// that carry PQ or HLG are made.
std::string UntaggedInput(const AVFrame& frame) {
    std::string options;
    if (frame.color_primaries == AVCOL_PRI_UNSPECIFIED)
        options += ":pin=bt2020";
    if (frame.colorspace == AVCOL_SPC_UNSPECIFIED)
        options += ":min=bt2020nc";
    if (frame.color_range == AVCOL_RANGE_UNSPECIFIED)
        options += ":rin=tv";
    return options;
}

} // namespace

PictureSource PictureSourceOf(const AVStream& stream) {
    PictureSource source;
    source.fieldOrder = stream.codecpar->field_order;
    source.timeBase = stream.time_base;
    std::size_t size = 0;
    const std::uint8_t* data =
        av_stream_get_side_data(&stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size);
    if (data && size >= sizeof(AVMasteringDisplayMetadata))
        source.masteringPeak = PeakOf(*reinterpret_cast<const AVMasteringDisplayMetadata*>(data));
    return source;
}

FilterPlan PlanFor(const AVFrame& frame, const PictureSource& source, Deinterlace deinterlace) {
    FilterPlan plan;
    if (IsHighDynamicRange(frame.color_trc)) {
        plan.colour = FilterPlan::Colour::ToneMap;
        const std::optional<double> peak =
            source.masteringPeak ? source.masteringPeak : FramePeak(frame);
        plan.peak = peak ? *peak / 100.0 : kDefaultPeak;
        plan.input = UntaggedInput(frame);
    } else if (IsWideGamutStandardRange(frame)) {
        plan.colour = FilterPlan::Colour::Primaries;
    }
    plan.deinterlace =
        deinterlace == Deinterlace::On ||
        (deinterlace == Deinterlace::Auto &&
         (FieldOrderSaysInterlaced(source.fieldOrder) || frame.interlaced_frame != 0));
    plan.deinterlaceAll = deinterlace == Deinterlace::On;
    return plan;
}

std::string FilterChain(const FilterPlan& plan) {
    std::string chain;
    if (plan.deinterlace) {
        // send_frame: one frame out per frame in, so frame numbers and times
        // stay those of the file.
        chain = std::string("bwdif=mode=send_frame:parity=auto:deint=") +
                (plan.deinterlaceAll ? "all" : "interlaced");
    }
    const char* const separator = chain.empty() ? "" : ",";
    switch (plan.colour) {
    case FilterPlan::Colour::AsDecoded:
        break;
    case FilterPlan::Colour::Primaries:
        chain += separator;
        chain += "zscale=p=bt709:t=bt709:m=bt709:r=tv,format=gbrp";
        break;
    case FilterPlan::Colour::ToneMap: {
        // Linear light scaled so that 1.0 is 100 nits, BT.709 primaries in
        // floating point (nothing clips before the curve), hable without
        // desaturation, then BT.709's transfer as 8-bit planar RGB.
        char peak[32];
        std::snprintf(peak, sizeof peak, "%.6g", plan.peak);
        chain += separator;
        chain += "zscale=t=linear:npl=100" + plan.input +
                 ",format=gbrpf32le,zscale=p=bt709,tonemap=hable:desat=0:peak=" + peak +
                 ",zscale=t=bt709:m=bt709:r=tv,format=gbrp";
        break;
    }
    }
    return chain;
}

PictureFilter::PictureFilter(const PictureSource& source, Deinterlace deinterlace)
    : source_(source)
    , deinterlace_(deinterlace)
    , filtered_(MakeFrame()) {}

PictureFilter::~PictureFilter() = default;

void PictureFilter::Push(AVFrame& frame, const Sink& sink) {
    // Only some frames carry the mastering metadata (x265 puts it on
    // keyframes): the first peak found holds until a seek.
    if (!framePeak_)
        framePeak_ = FramePeak(frame);
    PictureSource source = source_;
    if (!source.masteringPeak)
        source.masteringPeak = framePeak_;
    interlacedSeen_ = interlacedSeen_ || frame.interlaced_frame != 0;
    FilterPlan plan = PlanFor(frame, source, deinterlace_);
    plan.deinterlace = plan.deinterlace || (interlacedSeen_ && deinterlace_ == Deinterlace::Auto);
    const Shape shape{frame.width, frame.height, frame.format};
    if (!(plan == plan_) || !(shape == shape_)) {
        Drain(sink);
        plan_ = plan;
        shape_ = shape;
        // A graph that cannot be made (a format zscale does not take) leaves
        // the frames as decoded rather than losing them.
        if (!plan.Passes())
            Build(frame, plan);
    }
    if (!graph_) {
        sink(frame, {});
        return;
    }
    // The graph's filters keep the frame's fields; its time is set from the
    // decoder's best guess, which the deinterlacer's look-ahead uses.
    frame.pts = frame.best_effort_timestamp;
    const Sent sent{frame.best_effort_timestamp, frame.pts, frame.key_frame, frame.pict_type,
                    plan.deinterlace && (plan.deinterlaceAll || frame.interlaced_frame != 0)};
    if (av_buffersrc_add_frame_flags(input_, &frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
        sink(frame, {});
        return;
    }
    sent_.push_back(sent);
    Receive(sink);
}

void PictureFilter::Drain(const Sink& sink) {
    if (graph_ && av_buffersrc_add_frame_flags(input_, nullptr, 0) >= 0)
        Receive(sink);
    // A drained graph takes no more frames: the next one builds it again.
    graph_.reset();
    input_ = output_ = nullptr;
    sent_.clear();
    plan_ = {};
    shape_ = {};
}

void PictureFilter::Reset() {
    graph_.reset();
    input_ = output_ = nullptr;
    sent_.clear();
    plan_ = {};
    shape_ = {};
    interlacedSeen_ = false;
    framePeak_.reset();
}

bool PictureFilter::Build(const AVFrame& frame, const FilterPlan& plan) {
    graph_.reset(avfilter_graph_alloc());
    if (!graph_)
        return false;
#if defined(__SANITIZE_THREAD__)
    // The graph's slice threads hand work over through atomics that
    // ThreadSanitizer cannot see in an uninstrumented library.
    graph_->nb_threads = 1;
#endif
    const AVRational aspect =
        frame.sample_aspect_ratio.den > 0 ? frame.sample_aspect_ratio : AVRational{0, 1};
    char arguments[256];
    std::snprintf(arguments, sizeof arguments,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame.width,
                  frame.height, frame.format, source_.timeBase.num, source_.timeBase.den,
                  aspect.num, aspect.den);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    bool built = outputs && inputs &&
                 avfilter_graph_create_filter(&input_, avfilter_get_by_name("buffer"), "in",
                                              arguments, nullptr, graph_.get()) >= 0 &&
                 avfilter_graph_create_filter(&output_, avfilter_get_by_name("buffersink"), "out",
                                              nullptr, nullptr, graph_.get()) >= 0;
    if (built) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = input_;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = output_;
        built = avfilter_graph_parse_ptr(graph_.get(), FilterChain(plan).c_str(), &inputs, &outputs,
                                         nullptr) >= 0 &&
                avfilter_graph_config(graph_.get(), nullptr) >= 0;
    }
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (!built) {
        graph_.reset();
        input_ = output_ = nullptr;
    }
    return built;
}

void PictureFilter::Receive(const Sink& sink) {
    while (av_buffersink_get_frame(output_, filtered_.get()) >= 0) {
        // Every filter of the chain hands out one frame per frame in, in
        // order: the oldest frame sent is this one. The deinterlacer doubles
        // the time base and the time, so the frame's own are put back.
        Sent sent;
        if (!sent_.empty()) {
            sent = sent_.front();
            sent_.pop_front();
        }
        AVFrame& out = *filtered_;
        out.best_effort_timestamp = sent.timestamp;
        out.pts = sent.presentation;
        out.key_frame = sent.keyFrame;
        out.pict_type = sent.pictureType;
        if (plan_.colour != FilterPlan::Colour::AsDecoded) {
            // Planar RGB, full range, BT.709: the converter takes it as it is.
            out.colorspace = AVCOL_SPC_RGB;
            out.color_range = AVCOL_RANGE_JPEG;
            out.color_primaries = AVCOL_PRI_BT709;
            out.color_trc = AVCOL_TRC_BT709;
        }
        sink(out, {sent.deinterlaced});
        av_frame_unref(filtered_.get());
    }
}

} // namespace media
