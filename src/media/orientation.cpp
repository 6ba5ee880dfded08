#include "media/orientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace media {

namespace {

// Within a degree of a quarter turn counts as that turn.
bool Near(double angle, double quarter) {
    return std::abs(angle - quarter) < 1.0;
}

} // namespace

Orientation OrientationOf(const std::int32_t* m) {
    if (m == nullptr)
        return {};
    // FFmpeg gives the turn counterclockwise; clockwise from 0 to 360 here.
    double clockwise = -std::round(av_display_rotation_get(m));
    clockwise -= 360 * std::floor(clockwise / 360 + 0.9 / 360);
    // The signs of the matrix tell a flip from a turn: m[0] and m[4] scale x
    // and y, m[3] carries y into x when the sides swap.
    if (Near(clockwise, 90))
        return {1, m[3] > 0};
    if (Near(clockwise, 270))
        return {3, m[3] < 0};
    const bool flipX = m[0] < 0;
    const bool flipY = m[4] < 0;
    if (Near(clockwise, 180) || Near(clockwise, 0) || Near(clockwise, 360)) {
        if (flipX && flipY)
            return {2, false};
        if (flipY)
            return {2, true}; // upside down is a half turn and a left-right flip
        return {0, flipX};
    }
    return {};
}

bool TurnPicture(const PixelBuffer& from, Orientation orientation, PixelBuffer& to) {
    const int width = from.Width();
    const int height = from.Height();
    const auto [turnedWidth, turnedHeight] = orientation.Turned(width, height);
    if (!to.Reserve(turnedWidth, turnedHeight))
        return false;
    // Each pixel (x, y) of the turned picture comes from the stored pixel at
    // origin + x * stepX + y * stepY, in bytes: a turn is a walk of the source.
    const std::ptrdiff_t pixel = 4;
    const std::ptrdiff_t row = from.Pitch();
    std::ptrdiff_t stepX = pixel;
    std::ptrdiff_t stepY = row;
    std::ptrdiff_t origin = 0;
    switch (orientation.quarterTurns) {
    case 1: // shown (x, y) is stored (y, height - 1 - x)
        stepX = -row;
        stepY = pixel;
        origin = (height - 1) * row;
        break;
    case 2:
        stepX = -pixel;
        stepY = -row;
        origin = (height - 1) * row + (width - 1) * pixel;
        break;
    case 3: // shown (x, y) is stored (width - 1 - y, x)
        stepX = row;
        stepY = -pixel;
        origin = (width - 1) * pixel;
        break;
    default:
        break;
    }
    if (orientation.mirrored) {
        origin += (turnedWidth - 1) * stepX;
        stepX = -stepX;
    }
    const std::uint8_t* source = from.Row(0) + origin;
    // Tiles keep both walks within the cache when the sides swap.
    constexpr int kTile = 64;
    for (int top = 0; top < turnedHeight; top += kTile) {
        const int bottom = std::min(top + kTile, turnedHeight);
        for (int left = 0; left < turnedWidth; left += kTile) {
            const int right = std::min(left + kTile, turnedWidth);
            for (int y = top; y < bottom; ++y) {
                std::uint8_t* out = to.Row(y) + left * pixel;
                const std::uint8_t* in = source + y * stepY + left * stepX;
                for (int x = left; x < right; ++x, out += pixel, in += stepX)
                    std::memcpy(out, in, pixel);
            }
        }
    }
    return true;
}

} // namespace media
