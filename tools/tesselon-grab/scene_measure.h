// The scene score of a video's frames, one after another: FFmpeg's scene
// measure (its scdet filter, and select's `scene`, compute the same), taken on
// small grey copies of the frames. For each frame, mafd is the mean absolute
// difference of its pixels from the frame before's, as a fraction of full
// scale; the score is the smaller of mafd and its change from the frame
// before's mafd. A cut scores high once; steady motion (a pan), which differs
// from frame to frame by about the same amount each time, scores low.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace grab {

// A grey picture of width x height bytes, rows one after another.
struct GreyPicture {
    std::span<const std::uint8_t> pixels;
    int width = 0;
    int height = 0;
};

// The mean absolute difference of two pictures of one size, 0 (the same) to
// 1 (black against white everywhere).
double MeanAbsoluteDifference(const GreyPicture& a, const GreyPicture& b);

class SceneMeasure {
public:
    // The score of picture, 0 to 1, against the picture given before: 0 for
    // the first, and for the first after a change of size, which starts
    // again.
    double Next(const GreyPicture& picture);

private:
    std::vector<std::uint8_t> previous_;
    int width_ = 0;
    int height_ = 0;
    double previousMafd_ = 0;
};

} // namespace grab
