// A capture batch for the images tests: image buffers as the capture hands
// them over (360 × 256 pixels of 4 bytes, the band rows zeroed), and the
// string table the images subsystem reads its default label from.
#pragma once

#include "images/image_list.h"
#include "platform/dialogs.h"
#include "res/app_strings.h"

#include <QImage>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace tesselon::images::testing {

inline void InstallStrings() {
    platform::InstallStringTable(&res::LoadAppString);
}

// `count` buffers whose frame rows are filled by `fill` (bytes of one pixel:
// blue, green, red, unused) and whose band rows are zero.
class CapturedBatch {
public:
    explicit CapturedBatch(int count, std::uint32_t framePixel = 0x00408020)
        : buffers_(static_cast<std::size_t>(count)) {
        for (int index = 0; index < count; ++index) {
            buffers_[static_cast<std::size_t>(index)].assign(kImageBytes, 0);
            Fill(index, framePixel);
        }
    }

    std::uint8_t* Buffer(int index) { return buffers_[static_cast<std::size_t>(index)].data(); }

    // Fills the frame rows of buffer `index` with one pixel.
    void Fill(int index, std::uint32_t framePixel) {
        for (int i = 0; i < kImageWidth * kFrameRows; ++i)
            std::memcpy(Buffer(index) + i * 4, &framePixel, 4);
    }
    int Count() const { return static_cast<int>(buffers_.size()); }
    const std::vector<std::uint8_t>& Bytes(int index) const {
        return buffers_[static_cast<std::size_t>(index)];
    }
    // Fills the frame rows of buffer `index` with noise, which compresses badly.
    void FillWithNoise(int index, std::uint32_t seed) {
        std::uint32_t state = seed * 2654435761u + 1;
        for (int i = 0; i < kImageStride * kFrameRows; ++i) {
            state = state * 1664525u + 1013904223u;
            Buffer(index)[i] = static_cast<std::uint8_t>(state >> 24);
        }
    }

    // A list of the whole batch, every buffer added, with names "0", "1", ...
    std::unique_ptr<ImageList> MakeList(int viewCount = 1) {
        QStringList names;
        for (int i = 0; i < Count(); ++i)
            names.append(QString::number(i));
        auto list = std::make_unique<ImageList>(Count(), 360, 240, names, viewCount);
        for (int i = 0; i < Count(); ++i)
            list->AddImage(Buffer(i), kImageBytes);
        return list;
    }

    // The 32-bit word at (x, y) of buffer `index`.
    std::uint32_t Word(int index, int x, int y) {
        std::uint32_t word = 0;
        std::memcpy(&word, Buffer(index) + y * kImageStride + x * 4, 4);
        return word;
    }

    // The band rows of buffer `index`, as words.
    LabelBand BandOf(int index) {
        LabelBand band{};
        std::memcpy(band.data(), Buffer(index) + kFrameRows * kImageStride, sizeof band);
        return band;
    }

private:
    std::vector<std::vector<std::uint8_t>> buffers_;
};

} // namespace tesselon::images::testing
