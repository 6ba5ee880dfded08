// Clips made at test time with the ffmpeg command for the picture filter's
// tests, the pictures a media stream hands over for them, and ffmpeg's own
// pictures to compare with.
#pragma once

#include "media/media_stream.h"
#include "support/clip_matrix.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace filter_clips {

namespace fs = std::filesystem;

using Picture = std::vector<std::uint8_t>; // BGRA rows, pitch = width x 4

inline bool HaveFfmpeg() {
    return testing_support::FfmpegOnPath();
}

inline bool Ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y " + arguments).c_str()) ==
           0;
}

// A folder for one test suite's clips, removed with them.
class ClipFolder : public testing_support::TemporaryFolder {
public:
    explicit ClipFolder(const std::string& name)
        : TemporaryFolder(name) {}
    fs::path operator/(const std::string& file) const { return Path() / file; }
};

// Every frame of clip, through a media stream decoding at full speed, each
// with its time and traits.
struct Fetched {
    std::vector<Picture> pictures;
    std::vector<media::StreamTime> times;
    std::vector<media::FrameTraits> traits;
    int width = 0;
    int height = 0;
};

inline Fetched FetchAll(const fs::path& clip,
                        media::Deinterlace deinterlace = media::Deinterlace::Auto,
                        std::size_t most = 1000) {
    media::MediaStream stream({std::make_shared<media::FreeRunningTimeSource>(),
                               media::AudioMode::Silent, 0, deinterlace});
    Fetched fetched;
    if (!stream.OpenFile(clip))
        return fetched;
    fetched.width = stream.VideoWidth();
    fetched.height = stream.VideoHeight();
    stream.SetState(media::StreamState::Run);
    Picture picture(static_cast<std::size_t>(fetched.width) * fetched.height * 4);
    const media::FrameTarget target{picture.data(), fetched.width * 4, fetched.width,
                                    fetched.height};
    while (fetched.pictures.size() < most && stream.Fetch(target) == media::FetchResult::Frame) {
        fetched.pictures.push_back(picture);
        fetched.times.push_back(stream.GetTime());
        fetched.traits.push_back(stream.ShownFrameTraits().value_or(media::FrameTraits{}));
    }
    return fetched;
}

// ffmpeg's first frame of clip through filters, as BGRA.
inline Picture FfmpegPicture(const fs::path& clip, const std::string& filters,
                             const fs::path& raw) {
    if (!Ffmpeg("-i '" + clip.string() + "' -vf '" + filters +
                "' -frames:v 1 -pix_fmt bgra -f rawvideo '" + raw.string() + "'"))
        return {};
    std::ifstream in(raw, std::ios::binary);
    return Picture(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How far apart two pictures are, over blue, green and red.
struct Difference {
    double mean = 0;
    int largest = 0;
    // The share of values more than 8 levels apart.
    double offShare = 0;
};

inline Difference Compare(const Picture& a, const Picture& b) {
    Difference difference;
    if (a.size() != b.size() || a.empty())
        return {255, 255, 1};
    std::uint64_t sum = 0;
    std::size_t count = 0;
    std::size_t off = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3)
            continue;
        const int d = std::abs(int{a[i]} - int{b[i]});
        sum += static_cast<std::uint64_t>(d);
        difference.largest = std::max(difference.largest, d);
        off += d > 8 ? 1 : 0;
        ++count;
    }
    difference.mean = static_cast<double>(sum) / static_cast<double>(count);
    difference.offShare = static_cast<double>(off) / static_cast<double>(count);
    return difference;
}

} // namespace filter_clips
