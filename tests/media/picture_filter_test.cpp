// HDR and wide-gamut video comes out as BT.709 SDR: which frames need which
// filters, ordinary video untouched, and the pictures of PQ, HLG and BT.2020
// clips made by the ffmpeg command, fetched through a media stream, against
// ffmpeg's own tone-mapped pictures.
#include "filter_clips.h"
#include "media/picture_filter.h"

#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

namespace {

using media::Deinterlace;
using media::FilterPlan;
using Colour = media::FilterPlan::Colour;
using namespace filter_clips;

struct PlanCase {
    const char* name;
    AVColorTransferCharacteristic transfer;
    AVColorPrimaries primaries;
    AVColorSpace matrix;
    AVFieldOrder fieldOrder;
    bool interlacedFrame;
    Deinterlace deinterlace;
    std::optional<double> streamPeak; // nits
    std::optional<double> framePeak;  // nits
    Colour colour;
    double peak; // units of 100 nits
    bool deinterlaces;
};

void PrintTo(const PlanCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr auto kAuto = Deinterlace::Auto;
constexpr auto kProgressive = AV_FIELD_PROGRESSIVE;
constexpr auto k709 = AVCOL_TRC_BT709;
constexpr auto kPq = AVCOL_TRC_SMPTE2084;
constexpr auto kP709 = AVCOL_PRI_BT709;
constexpr auto kP2020 = AVCOL_PRI_BT2020;
constexpr auto kM709 = AVCOL_SPC_BT709;
constexpr auto kM2020 = AVCOL_SPC_BT2020_NCL;

// One frame a line, its fields in the order of PlanCase.
// clang-format off
const PlanCase kPlanCases[] = {
    {"sdr_bt709", k709, kP709, kM709, kProgressive, false, kAuto, {}, {}, Colour::AsDecoded, 10, false},
    {"sdr_bt601", AVCOL_TRC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_SPC_SMPTE170M, AV_FIELD_UNKNOWN, false, kAuto, {}, {}, Colour::AsDecoded, 10, false},
    {"untagged", AVCOL_TRC_UNSPECIFIED, AVCOL_PRI_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED, AV_FIELD_UNKNOWN, false, kAuto, {}, {}, Colour::AsDecoded, 10, false},
    {"pq_without_metadata", kPq, kP2020, kM2020, kProgressive, false, kAuto, {}, {}, Colour::ToneMap, 10, false},
    {"hlg", AVCOL_TRC_ARIB_STD_B67, kP2020, kM2020, kProgressive, false, kAuto, {}, {}, Colour::ToneMap, 10, false},
    {"pq_stream_peak", kPq, kP2020, kM2020, kProgressive, false, kAuto, 4000.0, 600.0, Colour::ToneMap, 40, false},
    {"pq_frame_peak", kPq, kP2020, kM2020, kProgressive, false, kAuto, {}, 600.0, Colour::ToneMap, 6, false},
    {"bt2020_sdr_10bit", AVCOL_TRC_BT2020_10, kP2020, kM2020, kProgressive, false, kAuto, {}, {}, Colour::Primaries, 10, false},
    {"bt2020_sdr_709_transfer", k709, kP2020, kM2020, kProgressive, false, kAuto, {}, {}, Colour::Primaries, 10, false},
    {"bt2020_constant_luminance", AVCOL_TRC_BT2020_10, kP2020, AVCOL_SPC_BT2020_CL, kProgressive, false, kAuto, {}, {}, Colour::AsDecoded, 10, false},
    {"top_field_first", k709, kP709, kM709, AV_FIELD_TT, false, kAuto, {}, {}, Colour::AsDecoded, 10, true},
    {"bottom_first_shown_top", k709, kP709, kM709, AV_FIELD_BT, false, kAuto, {}, {}, Colour::AsDecoded, 10, true},
    {"frame_flagged_interlaced", k709, kP709, kM709, AV_FIELD_UNKNOWN, true, kAuto, {}, {}, Colour::AsDecoded, 10, true},
    {"interlaced_but_off", k709, kP709, kM709, AV_FIELD_TT, true, Deinterlace::Off, {}, {}, Colour::AsDecoded, 10, false},
    {"progressive_but_on", k709, kP709, kM709, kProgressive, false, Deinterlace::On, {}, {}, Colour::AsDecoded, 10, true},
    {"interlaced_pq", kPq, kP2020, kM2020, AV_FIELD_BB, false, kAuto, {}, {}, Colour::ToneMap, 10, true},
};
// clang-format on

class FilterPlanFor : public testing::TestWithParam<PlanCase> {};

TEST_P(FilterPlanFor, PicksTheFiltersTheFrameNeeds) {
    const PlanCase& c = GetParam();
    media::FramePtr frame = media::MakeFrame();
    frame->width = 64;
    frame->height = 36;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->color_trc = c.transfer;
    frame->color_primaries = c.primaries;
    frame->colorspace = c.matrix;
    frame->interlaced_frame = c.interlacedFrame;
    if (c.framePeak) {
        AVMasteringDisplayMetadata* metadata =
            av_mastering_display_metadata_create_side_data(frame.get());
        ASSERT_NE(metadata, nullptr);
        metadata->has_luminance = 1;
        metadata->max_luminance = av_d2q(*c.framePeak, 100000);
        metadata->min_luminance = {1, 10000};
    }
    media::PictureSource source;
    source.fieldOrder = c.fieldOrder;
    source.masteringPeak = c.streamPeak;
    const FilterPlan plan = media::PlanFor(*frame, source, c.deinterlace);
    EXPECT_EQ(plan.colour, c.colour);
    EXPECT_EQ(plan.deinterlace, c.deinterlaces);
    if (c.colour == Colour::ToneMap) {
        EXPECT_DOUBLE_EQ(plan.peak, c.peak);
    }
    EXPECT_EQ(plan.Passes(), media::FilterChain(plan).empty());
}

INSTANTIATE_TEST_SUITE_P(Frames, FilterPlanFor, testing::ValuesIn(kPlanCases),
                         [](const testing::TestParamInfo<PlanCase>& info) {
                             return std::string(info.param.name);
                         });

// Ordinary video costs nothing: the very frame pushed is handed on, its bytes
// as decoded, at once, and no graph is made.
TEST(PictureFilter, HandsOrdinaryFramesOnAsTheyAre) {
    media::PictureSource source;
    source.fieldOrder = AV_FIELD_PROGRESSIVE;
    media::PictureFilter filter(source, Deinterlace::Auto);
    for (const auto& [matrix, transfer] : {std::pair{AVCOL_SPC_BT709, AVCOL_TRC_BT709},
                                           {AVCOL_SPC_SMPTE170M, AVCOL_TRC_SMPTE170M}}) {
        media::FramePtr frame = media::MakeFrame();
        frame->width = 17;
        frame->height = 9;
        frame->format = AV_PIX_FMT_YUV420P;
        frame->colorspace = matrix;
        frame->color_trc = transfer;
        ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        std::vector<const AVFrame*> handed;
        filter.Push(*frame, [&](AVFrame& out, media::FilterEffects effects) {
            handed.push_back(&out);
            EXPECT_FALSE(effects.deinterlaced);
        });
        ASSERT_EQ(handed.size(), 1u);
        EXPECT_EQ(handed[0], frame.get());
        filter.Drain([&](AVFrame&, media::FilterEffects) { ADD_FAILURE() << "drained a frame"; });
        EXPECT_FALSE(filter.Filtering());
    }
}

media::FramePtr InterlacedFrame(std::int64_t timestamp, std::uint8_t grey) {
    media::FramePtr frame = media::MakeFrame();
    frame->width = 16;
    frame->height = 8;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->interlaced_frame = 1;
    frame->top_field_first = 1;
    frame->best_effort_timestamp = timestamp;
    frame->key_frame = timestamp == 0;
    frame->pict_type = timestamp == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
    if (av_frame_get_buffer(frame.get(), 0) >= 0)
        for (int plane = 0; plane < 3; ++plane)
            std::memset(frame->data[plane], plane == 0 ? grey : 128,
                        static_cast<std::size_t>(frame->linesize[plane]) * (plane == 0 ? 8 : 4));
    return frame;
}

// The deinterlacer looks one frame ahead: each frame comes out once, in
// order, with its own time and coding, the last at the drain; a reset drops
// what it held, so the frames after it come out as from a fresh start.
TEST(PictureFilter, DeinterlacesOneFrameForOneAndForgetsOnReset) {
    media::PictureSource source;
    source.fieldOrder = AV_FIELD_TT;
    source.timeBase = {1, 25};
    media::PictureFilter filter(source, Deinterlace::Auto);
    struct Out {
        std::int64_t timestamp;
        int keyFrame;
        AVPictureType type;
        std::uint8_t grey;
        bool deinterlaced;
    };
    std::vector<Out> out;
    const media::PictureFilter::Sink sink = [&](AVFrame& frame, media::FilterEffects effects) {
        out.push_back({frame.best_effort_timestamp, frame.key_frame, frame.pict_type,
                       frame.data[0][0], effects.deinterlaced});
    };
    for (std::int64_t t = 0; t < 3; ++t)
        filter.Push(*InterlacedFrame(t, static_cast<std::uint8_t>(40 + 40 * t)), sink);
    EXPECT_TRUE(filter.Filtering());
    filter.Drain(sink);
    ASSERT_EQ(out.size(), 3u);
    for (std::int64_t t = 0; t < 3; ++t) {
        const Out& frame = out[static_cast<std::size_t>(t)];
        EXPECT_EQ(frame.timestamp, t);
        EXPECT_EQ(frame.keyFrame, t == 0 ? 1 : 0);
        EXPECT_EQ(frame.type, t == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P);
        EXPECT_NEAR(frame.grey, 40 + 40 * t, 2);
        EXPECT_TRUE(frame.deinterlaced);
    }
    out.clear();
    filter.Push(*InterlacedFrame(7, 200), sink);
    filter.Push(*InterlacedFrame(8, 210), sink);
    filter.Reset();
    filter.Push(*InterlacedFrame(0, 60), sink);
    filter.Drain(sink);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].timestamp, 7);
    EXPECT_EQ(out[1].timestamp, 0);
    EXPECT_NEAR(out[1].grey, 60, 2);
}

// ---- Pictures against ffmpeg's own.

struct HdrCase {
    const char* name;
    const char* x265;    // -x265-params
    const char* tags;    // the container's colour tags
    const char* filters; // ffmpeg's chain for the same picture
};

void PrintTo(const HdrCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr const char* kToneMap = "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                                 "tonemap=hable:desat=0:peak=";
constexpr const char* kTo709 = ",zscale=t=bt709:m=bt709:r=tv";
// Planar RGB out, as ours: left to itself zscale would keep 4:2:0 here,
// and blur the chroma of the patches' edges once more.
constexpr const char* kPrimaries = "zscale=p=bt709:t=bt709:m=bt709:r=tv,format=gbrp";
// A display of 4000 nits (L is in units of 0.0001 nit).
constexpr const char* kMasterDisplay =
    ":master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(40000000,50)";

const HdrCase kHdrCases[] = {
    {"pq", "colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc",
     "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc", "10"},
    {"hlg", "colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc",
     "-color_primaries bt2020 -color_trc arib-std-b67 -colorspace bt2020nc", "10"},
    {"pq_mastered_at_4000_nits", "colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc",
     "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc", "40"},
    {"bt2020_sdr", "colorprim=bt2020:transfer=bt2020-10:colormatrix=bt2020nc",
     "-color_primaries bt2020 -color_trc bt2020-10 -colorspace bt2020nc", nullptr},
};

class HdrClip : public testing::TestWithParam<HdrCase> {
protected:
    static void SetUpTestSuite() { folder_ = std::make_unique<ClipFolder>("hdr-clips"); }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::unique_ptr<ClipFolder> folder_;
};

std::unique_ptr<ClipFolder> HdrClip::folder_;

// SMPTE HD bars hold colour patches and a grey ramp; coded as 10-bit HEVC and
// read as HDR they span most of PQ's and HLG's range.
TEST_P(HdrClip, MatchesFfmpegsToneMappedPicture) {
    if (!HaveFfmpeg())
        GTEST_SKIP() << "the ffmpeg command is missing";
    const HdrCase& c = GetParam();
    const bool mastered = std::string(c.name).find("mastered") != std::string::npos;
    const fs::path clip = *folder_ / (std::string(c.name) + ".mkv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i smptehdbars=s=256x144:r=25:d=0.12 -pix_fmt yuv420p10le "
                       "-c:v libx265 -x265-params 'log-level=error:" +
                       std::string(c.x265) + (mastered ? kMasterDisplay : "") + "' " + c.tags +
                       " '" + clip.string() + "'"));
    const std::string chain =
        c.filters ? std::string(kToneMap) + c.filters + kTo709 : std::string(kPrimaries);
    const Picture expected = FfmpegPicture(clip, chain, *folder_ / "expected.raw");
    // What the stage must change: the picture converted as if it were BT.709.
    const Picture untouched = FfmpegPicture(clip, "null", *folder_ / "untouched.raw");
    const Fetched ours = FetchAll(clip, Deinterlace::Auto, 1);
    ASSERT_EQ(ours.pictures.size(), 1u);
    const Difference near = Compare(ours.pictures[0], expected);
    const Difference far = Compare(ours.pictures[0], untouched);
    std::printf("%s: mean %.3f, largest %d, %.4f%% over 8 from ffmpeg's; mean %.3f from "
                "untouched\n",
                c.name, near.mean, near.largest, 100 * near.offShare, far.mean);
    EXPECT_LE(near.mean, 2.0);
    // A few values may lie further off where the curve is steep: zimg's code
    // differs by instruction set (under valgrind it runs without AVX), and
    // the ffmpeg command may run another.
    EXPECT_LE(near.offShare, 0.001);
    EXPECT_GE(far.mean, 4 * near.mean + 2.0);
    if (mastered) {
        // The mastering peak, not the default 1000 nits, shaped the curve.
        const Picture thousand =
            FfmpegPicture(clip, std::string(kToneMap) + "10" + kTo709, *folder_ / "thousand.raw");
        EXPECT_GE(Compare(ours.pictures[0], thousand).mean, 2 * near.mean + 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Transfers, HdrClip, testing::ValuesIn(kHdrCases),
                         [](const testing::TestParamInfo<HdrCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
