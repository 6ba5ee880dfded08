// A capture batch for the images tests: pictures as the program's capture
// hands them over (360 × 240 pixels of 4 bytes and 16 zeroed band rows),
// and the string table the images subsystem reads its default label from.
#pragma once

#include "images/image_list.h"
#include "platform/dialogs.h"
#include "res/app_strings.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace images::testing {

// The program's pictures, as the tests look into them.
inline constexpr picture::Shape kShape{360, 240, 16};
inline constexpr int kImageWidth = kShape.width;
inline constexpr int kFrameRows = kShape.height;
inline constexpr int kBandRows = kShape.bandRows;
inline constexpr int kBandWidth = kShape.width;
inline constexpr int kImageRows = kFrameRows + kBandRows;
inline constexpr int kImageStride = kImageWidth * 4;
inline constexpr int kImageBytes = kImageStride * kImageRows; // 368640

inline LabelBand BlackBand() {
    return {kBandWidth, kBandRows, std::vector<std::uint32_t>(kBandWidth * kBandRows, 0)};
}

inline LabelBand RenderProgramBand(const QString& text) {
    return RenderLabelBand(text, kBandWidth, kBandRows);
}

inline void InstallStrings() {
    platform::InstallStringTable(&res::LoadAppString);
}

// `count` pictures whose frame rows are filled by `fill` (bytes of one pixel:
// blue, green, red, unused) and whose band rows are zero.
class CapturedBatch {
public:
    explicit CapturedBatch(int count, std::uint32_t framePixel = 0x00408020)
        : pictures_(static_cast<std::size_t>(count)) {
        for (int index = 0; index < count; ++index) {
            pictures_[static_cast<std::size_t>(index)] = picture::Picture::Allocate(kShape);
            Fill(index, framePixel);
        }
    }

    picture::Picture& PictureOf(int index) { return pictures_[static_cast<std::size_t>(index)]; }
    std::uint8_t* Buffer(int index) { return PictureOf(index).Pixels(); }

    // Fills the frame rows of buffer `index` with one pixel.
    void Fill(int index, std::uint32_t framePixel) {
        for (int i = 0; i < kImageWidth * kFrameRows; ++i)
            std::memcpy(Buffer(index) + i * 4, &framePixel, 4);
    }
    int Count() const { return static_cast<int>(pictures_.size()); }
    std::vector<std::uint8_t> Bytes(int index) const {
        const picture::Picture& shown = pictures_[static_cast<std::size_t>(index)];
        return {shown.Pixels(), shown.Pixels() + shown.Bytes()};
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
        auto list = std::make_unique<ImageList>(Count(), 360, 240, names, kShape, viewCount);
        for (int i = 0; i < Count(); ++i)
            EXPECT_TRUE(list->AddImage(PictureOf(i)));
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
        LabelBand band{kBandWidth, kBandRows, std::vector<std::uint32_t>(kBandWidth * kBandRows)};
        std::memcpy(band.words.data(), Buffer(index) + kFrameRows * kImageStride,
                    band.words.size() * 4);
        return band;
    }

private:
    std::vector<picture::Picture> pictures_;
};

} // namespace images::testing
