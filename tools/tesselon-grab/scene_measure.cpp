#include "scene_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace grab {

double MeanAbsoluteDifference(const GreyPicture& a, const GreyPicture& b) {
    const std::size_t count = std::min(a.pixels.size(), b.pixels.size());
    if (count == 0)
        return 0;
    // Whole numbers to the end: 64 x 36 pixels of 255 are far from overflow.
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += static_cast<std::uint64_t>(std::abs(int{a.pixels[i]} - int{b.pixels[i]}));
    return static_cast<double>(sum) / (255.0 * static_cast<double>(count));
}

double SceneMeasure::Next(const GreyPicture& picture) {
    const bool comparable = !previous_.empty() && picture.width == width_ &&
                            picture.height == height_ && picture.pixels.size() == previous_.size();
    double score = 0;
    if (comparable) {
        const double mafd =
            MeanAbsoluteDifference(picture, {previous_, width_, height_});
        score = std::clamp(std::min(mafd, std::fabs(mafd - previousMafd_)), 0.0, 1.0);
        previousMafd_ = mafd;
    } else {
        previousMafd_ = 0;
    }
    previous_.assign(picture.pixels.begin(), picture.pixels.end());
    width_ = picture.width;
    height_ = picture.height;
    return score;
}

} // namespace grab
