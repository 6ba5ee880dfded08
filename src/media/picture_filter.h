// The libavfilter stage between the video decoder and the frame converter:
// HDR video (PQ or HLG) is tone-mapped to BT.709, BT.2020 video has its
// primaries converted, and interlaced video is deinterlaced, one frame out
// for each frame in. Any other video passes straight through: no graph is
// made, and its frames are handed on as decoded.
//
// Owned and used by the video decoder thread alone.
#pragma once

#include "media/ffmpeg_handles.h"
#include "media/media_stream.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
}

namespace media {

// What the stream says of its pictures before any is decoded.
struct PictureSource {
    AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
    AVRational timeBase{1, 1};
    // The brightest the mastering display showed, in nits; none when the
    // file does not say.
    std::optional<double> masteringPeak;
};

PictureSource PictureSourceOf(const AVStream& stream);

// What the stage does to a frame: each step it needs, and the tone-mapping
// peak in units of 100 nits.
struct FilterPlan {
    enum class Colour { AsDecoded, Primaries, ToneMap };
    Colour colour = Colour::AsDecoded;
    double peak = 10;
    // zscale options for what an HDR frame leaves untagged, e.g. ":pin=bt2020".
    std::string input;
    bool deinterlace = false;
    // Frames flagged progressive too (Deinterlace::On).
    bool deinterlaceAll = false;

    bool Passes() const { return colour == Colour::AsDecoded && !deinterlace; }
    friend bool operator==(const FilterPlan&, const FilterPlan&) = default;
};

// The plan for frame of a stream described by source.
FilterPlan PlanFor(const AVFrame& frame, const PictureSource& source, Deinterlace deinterlace);
// The libavfilter graph text of a plan (empty for one that passes); the last
// filter makes planar 8-bit RGB, which the converter takes without a matrix.
std::string FilterChain(const FilterPlan& plan);

// What the stage did to a frame it hands on.
struct FilterEffects {
    bool deinterlaced = false;
};

class PictureFilter {
public:
    // The frame is only valid during the call.
    using Sink = std::function<void(AVFrame&, FilterEffects)>;

    PictureFilter(const PictureSource& source, Deinterlace deinterlace);
    ~PictureFilter();
    PictureFilter(const PictureFilter&) = delete;
    PictureFilter& operator=(const PictureFilter&) = delete;

    // Hands frame on through sink, filtered as its plan says; a filter that
    // keeps a frame back (the deinterlacer looks one ahead) hands it on at a
    // later Push or at Drain. The frame's time, key frame flag and picture
    // type stay its own. A frame the graph refuses is handed on as decoded.
    void Push(AVFrame& frame, const Sink& sink);
    // At the end of the stream: hands on every frame still kept back.
    void Drain(const Sink& sink);
    // After a seek: forgets every frame kept back and the plan, so that what
    // follows is filtered as a fresh open would filter it.
    void Reset();

    // A graph is made (for tests): false while every frame passed straight through.
    bool Filtering() const { return graph_ != nullptr; }

private:
    // A frame sent into the graph, as the graph's output frame must be told.
    struct Sent {
        std::int64_t timestamp = AV_NOPTS_VALUE;
        std::int64_t presentation = AV_NOPTS_VALUE;
        int keyFrame = 0;
        AVPictureType pictureType = AV_PICTURE_TYPE_NONE;
        bool deinterlaced = false;
    };
    struct GraphDeleter {
        void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
    };
    // The frame's size and format, which the graph's source was made for.
    struct Shape {
        int width = 0;
        int height = 0;
        int format = -1;
        friend bool operator==(const Shape&, const Shape&) = default;
    };

    bool Build(const AVFrame& frame, const FilterPlan& plan);
    void Receive(const Sink& sink);

    PictureSource source_;
    Deinterlace deinterlace_;
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph_;
    AVFilterContext* input_ = nullptr;  // owned by graph_
    AVFilterContext* output_ = nullptr; // owned by graph_
    FilterPlan plan_;
    Shape shape_;
    // A frame flagged interlaced was seen since the last reset: the
    // deinterlacer stays, so a clip that mixes field and frame pictures is
    // not rebuilt at each change.
    bool interlacedSeen_ = false;
    std::optional<double> framePeak_;
    std::deque<Sent> sent_;
    FramePtr filtered_;
};

} // namespace media
