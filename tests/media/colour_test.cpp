// Colours come out as the stream declares them: clips of one flat colour,
// encoded with the BT.601 or BT.709 matrix in limited or full range, tagged or
// not, are made by the ffmpeg command and must decode to that colour.
#include "media/media_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ColourCase {
    const char* name;
    int width;
    int height;
    const char* matrix; // the matrix the encoder used: bt601 or bt709
    const char* range;  // tv (limited) or pc (full)
    bool tagged;        // whether the stream says which
};

// By name: the bytes of the record include padding.
void PrintTo(const ColourCase& c, std::ostream* out) {
    *out << c.name;
}

// Untagged clips carry "unspecified" in their H.264 headers: the decoder
// must choose by the picture's height.
std::string MakeCommand(const ColourCase& c, const fs::path& output) {
    std::string tags;
    if (c.tagged)
        tags = std::string(" -colorspace ") +
               (std::string(c.matrix) == "bt709" ? "bt709" : "smpte170m") + " -color_range " +
               c.range;
    else
        tags = " -bsf:v h264_metadata=colour_primaries=2:transfer_characteristics=2:"
               "matrix_coefficients=2";
    return "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i color=c=0xC03020:s=" +
           std::to_string(c.width) + "x" + std::to_string(c.height) +
           ":r=25:d=0.2 -vf scale=flags=accurate_rnd+full_chroma_int:out_color_matrix=" +
           c.matrix + ":out_range=" + c.range +
           ",format=yuv420p -c:v libx264 -qp 0" + tags + " '" + output.string() + "'";
}

class FlatColourClip : public testing::TestWithParam<ColourCase> {
protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("colour-clips-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    static void TearDownTestSuite() { fs::remove_all(folder_); }
    static fs::path folder_;
};

fs::path FlatColourClip::folder_;

TEST_P(FlatColourClip, DecodesToItsColourWithinTwoLevels) {
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the ffmpeg command is missing";
    const ColourCase& c = GetParam();
    const fs::path clip = folder_ / (std::string(c.name) + ".mp4");
    ASSERT_EQ(std::system(MakeCommand(c, clip).c_str()), 0);

    auto time = std::make_shared<media::ManualTimeSource>();
    media::MediaStream stream({time, media::AudioMode::Silent});
    ASSERT_TRUE(stream.OpenFile(clip));
    ASSERT_EQ(stream.VideoWidth(), c.width);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(c.width) * c.height * 4);
    stream.Seek(0);
    stream.SetState(media::StreamState::Run);
    time->Advance(std::chrono::hours(1));
    ASSERT_EQ(stream.Fetch({pixels.data(), c.width * 4, c.width, c.height}),
              media::FetchResult::Frame);
    // Corners and centre: chroma subsampling must not bleed at the edges either.
    for (const auto& [x, y] : {std::pair{0, 0}, {c.width / 2, c.height / 2},
                              {c.width - 1, c.height - 1}}) {
        const std::uint8_t* pixel = &pixels[(static_cast<std::size_t>(y) * c.width + x) * 4];
        EXPECT_NEAR(pixel[2], 0xC0, 2) << "red at " << x << "," << y;
        EXPECT_NEAR(pixel[1], 0x30, 2) << "green at " << x << "," << y;
        EXPECT_NEAR(pixel[0], 0x20, 2) << "blue at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, FlatColourClip,
    testing::Values(ColourCase{"bt709_tagged_hd", 1280, 720, "bt709", "tv", true},
                    ColourCase{"bt709_untagged_hd", 1280, 720, "bt709", "tv", false},
                    ColourCase{"bt601_untagged_sd", 352, 288, "bt601", "tv", false},
                    ColourCase{"bt709_tagged_sd", 352, 288, "bt709", "tv", true},
                    ColourCase{"bt601_tagged_hd", 1280, 720, "bt601", "tv", true},
                    ColourCase{"bt601_full_range", 352, 288, "bt601", "pc", true},
                    ColourCase{"bt709_full_range_hd", 1280, 720, "bt709", "pc", true}),
    [](const testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });

} // namespace
