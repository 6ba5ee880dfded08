#include "platform/surface.h"

#include "event_pump.h"
#include "platform/messages.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using test_support::PumpUntil;

namespace {

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        DisplayFaults::Clear();
        ASSERT_EQ(DisplayDevice::Create(&device_), DD_OK);
    }
    void TearDown() override { DisplayFaults::Clear(); }

    std::shared_ptr<Surface> Offscreen(int width, int height) {
        SurfaceDescription description{DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, width, height,
                                       DDSCAPS_OFFSCREENPLAIN};
        std::shared_ptr<Surface> surface;
        EXPECT_EQ(device_->CreateSurface(description, &surface), DD_OK);
        return surface;
    }

    std::unique_ptr<DisplayDevice> device_;
};

std::uint32_t PixelAt(Surface& surface, int x, int y) {
    LockedSurface locked;
    EXPECT_EQ(surface.Lock(&locked, DDLOCK_WAIT), DD_OK);
    std::uint32_t pixel;
    std::memcpy(&pixel, locked.bits + y * locked.pitch + x * 4, 4);
    surface.Unlock();
    return pixel;
}

// Each pixel holds its own coordinates, so any misplaced copy shows.
void FillWithCoordinates(Surface& surface) {
    LockedSurface locked;
    ASSERT_EQ(surface.Lock(&locked, DDLOCK_WAIT), DD_OK);
    for (int y = 0; y < locked.height; ++y)
        for (int x = 0; x < locked.width; ++x) {
            const std::uint32_t value = (std::uint32_t(y) << 16) | std::uint32_t(x);
            std::memcpy(locked.bits + y * locked.pitch + x * 4, &value, 4);
        }
    surface.Unlock();
}

void Fill(Surface& surface, std::uint32_t colour) {
    LockedSurface locked;
    ASSERT_EQ(surface.Lock(&locked, DDLOCK_WAIT), DD_OK);
    for (int y = 0; y < locked.height; ++y)
        for (int x = 0; x < locked.width; ++x)
            std::memcpy(locked.bits + y * locked.pitch + x * 4, &colour, 4);
    surface.Unlock();
}

TEST_F(SurfaceTest, OffscreenSurfacesAre32BitZeroFilledWithPitchWidthTimesFour) {
    auto surface = Offscreen(17, 9);
    LockedSurface locked;
    ASSERT_EQ(surface->Lock(&locked, DDLOCK_WAIT), DD_OK);
    EXPECT_EQ(locked.width, 17);
    EXPECT_EQ(locked.height, 9);
    EXPECT_EQ(locked.pitch, 68);
    for (int i = 0; i < 68 * 9; ++i)
        ASSERT_EQ(locked.bits[i], 0) << i;
    EXPECT_EQ(surface->Unlock(), DD_OK);
}

struct BadDescription {
    const char* name;
    SurfaceDescription description;
    SurfaceResult expected;
};

// GoogleTest would print the bytes of the struct, padding that was never
// written included.
void PrintTo(const BadDescription& bad, std::ostream* out) {
    *out << bad.name;
}

class BadDescriptions : public SurfaceTest, public ::testing::WithParamInterface<BadDescription> {};

TEST_P(BadDescriptions, AreRefused) {
    std::shared_ptr<Surface> surface;
    EXPECT_EQ(device_->CreateSurface(GetParam().description, &surface), GetParam().expected);
    EXPECT_EQ(surface, nullptr);
}

constexpr std::uint32_t kAllSizeFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
INSTANTIATE_TEST_SUITE_P(
    Surface, BadDescriptions,
    ::testing::Values(
        BadDescription{"NoCapsFlag",
                       {DDSD_WIDTH | DDSD_HEIGHT, 4, 4, DDSCAPS_OFFSCREENPLAIN},
                       DDERR_INVALIDPARAMS},
        BadDescription{
            "NoSizeFlags", {DDSD_CAPS, 4, 4, DDSCAPS_OFFSCREENPLAIN}, DDERR_INVALIDPARAMS},
        BadDescription{
            "ZeroWidth", {kAllSizeFlags, 0, 4, DDSCAPS_OFFSCREENPLAIN}, DDERR_INVALIDPARAMS},
        BadDescription{
            "NegativeHeight", {kAllSizeFlags, 4, -1, DDSCAPS_OFFSCREENPLAIN}, DDERR_INVALIDPARAMS},
        BadDescription{
            "TooWide", {kAllSizeFlags, 16385, 1, DDSCAPS_OFFSCREENPLAIN}, DDERR_INVALIDPARAMS},
        BadDescription{"UnknownCaps", {kAllSizeFlags, 4, 4, 0x4}, DDERR_INVALIDPARAMS},
        BadDescription{"PrimaryBeforeCooperativeLevel",
                       {DDSD_CAPS, 0, 0, DDSCAPS_PRIMARYSURFACE},
                       DDERR_NOCOOPERATIVELEVELSET}),
    [](const auto& info) { return info.param.name; });

TEST_F(SurfaceTest, OneToOneBlitCopiesExactly) {
    auto source = Offscreen(47, 33);
    auto dest = Offscreen(47, 33);
    FillWithCoordinates(*source);
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 47; ++x)
            ASSERT_EQ(PixelAt(*dest, x, y), (std::uint32_t(y) << 16) | std::uint32_t(x));
}

TEST_F(SurfaceTest, BlitBetweenRectanglesTouchesOnlyTheDestination) {
    auto source = Offscreen(20, 10);
    auto dest = Offscreen(30, 20);
    FillWithCoordinates(*source);
    const Rect from{3, 2, 9, 7}; // 6 × 5
    const Rect to{11, 4, 17, 9};
    ASSERT_EQ(dest->Blt(&to, source.get(), &from, DDBLT_WAIT), DD_OK);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inside = x >= to.left && x < to.right && y >= to.top && y < to.bottom;
            const std::uint32_t expected = inside ? (std::uint32_t(y - to.top + from.top) << 16) |
                                                        std::uint32_t(x - to.left + from.left)
                                                  : 0;
            ASSERT_EQ(PixelAt(*dest, x, y), expected) << x << "," << y;
        }
}

struct StretchCase {
    int sourceWidth, sourceHeight, factor;
};

class IntegerStretch : public SurfaceTest, public ::testing::WithParamInterface<StretchCase> {};

// Stretching by a whole factor repeats each source pixel factor × factor times.
TEST_P(IntegerStretch, RepeatsEachPixel) {
    const StretchCase c = GetParam();
    auto source = Offscreen(c.sourceWidth, c.sourceHeight);
    auto dest = Offscreen(c.sourceWidth * c.factor, c.sourceHeight * c.factor);
    FillWithCoordinates(*source);
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    for (int y = 0; y < dest->Height(); ++y)
        for (int x = 0; x < dest->Width(); ++x)
            ASSERT_EQ(PixelAt(*dest, x, y),
                      (std::uint32_t(y / c.factor) << 16) | std::uint32_t(x / c.factor));
}

INSTANTIATE_TEST_SUITE_P(Surface, IntegerStretch,
                         ::testing::Values(StretchCase{1, 1, 5}, StretchCase{6, 5, 3},
                                           StretchCase{17, 9, 2}),
                         [](const auto& info) {
                             return std::to_string(info.param.sourceWidth) + "x" +
                                    std::to_string(info.param.sourceHeight) + "Times" +
                                    std::to_string(info.param.factor);
                         });

TEST_F(SurfaceTest, ShrinkingKeepsOnlySourcePixels) {
    auto source = Offscreen(47, 33);
    auto dest = Offscreen(6, 5);
    FillWithCoordinates(*source);
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    int previousColumn = -1;
    for (int x = 0; x < 6; ++x) {
        const std::uint32_t pixel = PixelAt(*dest, x, 0);
        const int column = int(pixel & 0xFFFF);
        EXPECT_GT(column, previousColumn);
        EXPECT_LT(column, 47);
        previousColumn = column;
    }
}

// ---- smooth blits ----

std::vector<std::uint8_t> RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& value : bytes)
        value = std::uint8_t(generator());
    return bytes;
}

void Write(Surface& surface, const std::vector<std::uint8_t>& bytes) {
    LockedSurface locked;
    ASSERT_EQ(surface.Lock(&locked, DDLOCK_WAIT), DD_OK);
    std::memcpy(locked.bits, bytes.data(), std::size_t(locked.pitch) * locked.height);
    surface.Unlock();
}

std::vector<std::uint8_t> Read(Surface& surface) {
    LockedSurface locked;
    EXPECT_EQ(surface.Lock(&locked, DDLOCK_WAIT), DD_OK);
    std::vector<std::uint8_t> bytes(locked.bits,
                                    locked.bits + std::size_t(locked.pitch) * locked.height);
    surface.Unlock();
    return bytes;
}

struct ResampleCase {
    int sourceWidth, sourceHeight, destWidth, destHeight;
};

std::string ResampleCaseName(const testing::TestParamInfo<ResampleCase>& info) {
    const ResampleCase& c = info.param;
    return std::to_string(c.sourceWidth) + "x" + std::to_string(c.sourceHeight) + "To" +
           std::to_string(c.destWidth) + "x" + std::to_string(c.destHeight);
}

class SmoothFlatColour : public SurfaceTest, public testing::WithParamInterface<ResampleCase> {};

// Every weight set sums to exactly one unit, so rounding leaves one colour as it was.
TEST_P(SmoothFlatColour, StaysExactlyThatColour) {
    const ResampleCase c = GetParam();
    auto source = Offscreen(c.sourceWidth, c.sourceHeight);
    auto dest = Offscreen(c.destWidth, c.destHeight);
    for (const std::uint32_t colour : {0x00336699u, 0xFFFFFFFFu, 0x01FE7F80u}) {
        Fill(*source, colour);
        ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT | kBltSmooth), DD_OK);
        const std::vector<std::uint8_t> bytes = Read(*dest);
        for (std::size_t i = 0; i < bytes.size(); i += 4)
            ASSERT_EQ(std::memcmp(&bytes[i], &colour, 4), 0) << std::hex << colour << " " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Surface, SmoothFlatColour,
                         testing::Values(ResampleCase{1, 1, 360, 240}, ResampleCase{7, 5, 360, 240},
                                         ResampleCase{17, 9, 360, 240},
                                         ResampleCase{1921, 1081, 360, 240},
                                         ResampleCase{361, 241, 360, 240},
                                         ResampleCase{360, 240, 1, 1}, ResampleCase{47, 33, 6, 5}),
                         ResampleCaseName);

// A plain floating-point model of the filter: along each axis the weight of
// source pixel j in destination pixel i.
double AxisWeight(int i, int j, int destLength, int sourceLength) {
    const double scale = double(sourceLength) / destLength;
    if (destLength <= sourceLength) // the share of i's footprint that j covers
        return std::max(0.0, std::min((i + 1) * scale, j + 1.0) - std::max(i * scale, double(j))) /
               scale;
    const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, sourceLength - 1.0);
    return std::max(0.0, 1.0 - std::abs(centre - j));
}

class SmoothStretch : public SurfaceTest, public testing::WithParamInterface<ResampleCase> {};

// Noise from a rectangle inside a larger surface (so the pitch is not the
// rectangle's) against the model; equal sizes must copy exactly.
TEST_P(SmoothStretch, MatchesTheModelWithinRounding) {
    const ResampleCase c = GetParam();
    const int width = c.sourceWidth + 3;
    auto source = Offscreen(width, c.sourceHeight);
    auto dest = Offscreen(c.destWidth, c.destHeight);
    const std::vector<std::uint8_t> noise =
        RandomBytes(std::size_t(width) * c.sourceHeight * 4, unsigned(c.destWidth));
    Write(*source, noise);
    const Rect from{3, 0, width, c.sourceHeight};
    ASSERT_EQ(dest->Blt(nullptr, source.get(), &from, DDBLT_WAIT | kBltSmooth), DD_OK);

    const std::vector<std::uint8_t> bytes = Read(*dest);
    for (int y = 0; y < c.destHeight; ++y)
        for (int x = 0; x < c.destWidth; ++x)
            for (int channel = 0; channel < 4; ++channel) {
                double model = 0;
                for (int sy = 0; sy < c.sourceHeight; ++sy)
                    for (int sx = 0; sx < c.sourceWidth; ++sx)
                        model += AxisWeight(y, sy, c.destHeight, c.sourceHeight) *
                                 AxisWeight(x, sx, c.destWidth, c.sourceWidth) *
                                 noise[(std::size_t(sy) * width + sx + 3) * 4 + channel];
                ASSERT_NEAR(bytes[(std::size_t(y) * c.destWidth + x) * 4 + channel], model, 0.6)
                    << x << "," << y << " channel " << channel;
            }
}

INSTANTIATE_TEST_SUITE_P(Surface, SmoothStretch,
                         testing::Values(ResampleCase{47, 33, 47, 33}, ResampleCase{47, 33, 6, 5},
                                         ResampleCase{47, 33, 17, 9}, ResampleCase{17, 9, 47, 33},
                                         ResampleCase{47, 33, 17, 40}, ResampleCase{6, 5, 6, 17},
                                         ResampleCase{47, 9, 47, 4}, ResampleCase{1, 1, 7, 5},
                                         ResampleCase{2, 3, 9, 1}, ResampleCase{33, 1, 5, 1},
                                         ResampleCase{200, 150, 1, 1}),
                         ResampleCaseName);

// Halving averages each 2 x 2 block, channel by channel, rounding halves up.
TEST_F(SurfaceTest, SmoothHalvingAveragesEachBlock) {
    auto source = Offscreen(6, 4);
    auto dest = Offscreen(3, 2);
    const std::vector<std::uint8_t> noise = RandomBytes(6 * 4 * 4, 11);
    Write(*source, noise);
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT | kBltSmooth), DD_OK);
    const std::vector<std::uint8_t> bytes = Read(*dest);
    const auto at = [&](int x, int y, int channel) {
        return noise[(y * 6 + x) * 4 + channel];
    };
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int channel = 0; channel < 4; ++channel) {
                const int sum = at(2 * x, 2 * y, channel) + at(2 * x + 1, 2 * y, channel) +
                                at(2 * x, 2 * y + 1, channel) + at(2 * x + 1, 2 * y + 1, channel);
                EXPECT_EQ(bytes[(y * 3 + x) * 4 + channel], (sum + 2) / 4) << x << "," << y;
            }
}

TEST_F(SurfaceTest, SmoothEnlargingBlendsNeighboursAndHoldsTheEnds) {
    auto source = Offscreen(2, 1);
    auto dest = Offscreen(9, 3);
    Write(*source, {0, 0, 0, 0, 255, 255, 255, 0});
    ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT | kBltSmooth), DD_OK);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(PixelAt(*dest, 0, y), 0u);
        EXPECT_EQ(PixelAt(*dest, 8, y), 0x00FFFFFFu);
        std::uint32_t previous = 0;
        for (int x = 1; x < 8; ++x) {
            const std::uint32_t pixel = PixelAt(*dest, x, y);
            const std::uint32_t blue = pixel & 0xFF;
            EXPECT_EQ(pixel, blue * 0x010101u); // grey: every channel alike
            EXPECT_GE(blue, previous);
            previous = blue;
        }
        EXPECT_EQ(PixelAt(*dest, 4, y), 0x00808080u); // midway: 127.5 rounds up
    }
}

// The largest distance of any colour channel from mid-grey.
double LargestDeviationFromGrey(const std::vector<std::uint8_t>& bytes) {
    double largest = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (i % 4 != 3)
            largest = std::max(largest, std::abs(bytes[i] - 127.5));
    return largest;
}

class StripesShrunk : public SurfaceTest, public testing::WithParamInterface<ResampleCase> {};

// One-pixel black and white columns, and the same turned into rows. An
// average over a window of L source pixels holds at most half a stripe more
// of one colour than of the other: it lies within 127.5 ÷ L of mid-grey, plus
// rounding.
TEST_P(StripesShrunk, TurnGreyWhereNearestPixelKeepsStripes) {
    const ResampleCase c = GetParam();
    for (const bool rows : {false, true}) {
        auto source = rows ? Offscreen(c.sourceHeight, c.sourceWidth)
                           : Offscreen(c.sourceWidth, c.sourceHeight);
        auto dest =
            rows ? Offscreen(c.destHeight, c.destWidth) : Offscreen(c.destWidth, c.destHeight);
        std::vector<std::uint8_t> stripes(std::size_t(source->Pitch()) * source->Height());
        for (std::size_t i = 0; i < stripes.size(); i += 4) {
            const std::size_t x = i / 4 % std::size_t(source->Width());
            const std::size_t y = i / 4 / std::size_t(source->Width());
            std::memset(&stripes[i], (rows ? y : x) % 2 ? 255 : 0, 3);
        }
        Write(*source, stripes);
        const double bound = 127.5 * c.destWidth / c.sourceWidth + 0.5;

        ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT | kBltSmooth), DD_OK);
        const std::vector<std::uint8_t> smooth = Read(*dest);
        EXPECT_LE(LargestDeviationFromGrey(smooth), bound) << "rows " << rows;
        double sum = 0;
        for (std::size_t i = 0; i < smooth.size(); i += 4) {
            ASSERT_TRUE(smooth[i] == smooth[i + 1] && smooth[i] == smooth[i + 2]) << i / 4;
            sum += smooth[i];
        }
        EXPECT_NEAR(sum / double(smooth.size() / 4), 127.5, 1.0) << "rows " << rows;

        // The same blit without filtering breaks the bound: the check can tell.
        ASSERT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
        EXPECT_GT(LargestDeviationFromGrey(Read(*dest)), bound) << "rows " << rows;
    }
}

INSTANTIATE_TEST_SUITE_P(Surface, StripesShrunk,
                         testing::Values(ResampleCase{1280, 720, 360, 240},
                                         ResampleCase{1921, 1081, 360, 240},
                                         ResampleCase{720, 3, 240, 1},
                                         ResampleCase{1000, 9, 360, 5}),
                         ResampleCaseName);

TEST_F(SurfaceTest, OverlappingBlitWithinOneSurfaceReadsTheOriginal) {
    auto surface = Offscreen(8, 1);
    FillWithCoordinates(*surface);
    const Rect from{0, 0, 6, 1};
    const Rect to{2, 0, 8, 1};
    ASSERT_EQ(surface->Blt(&to, surface.get(), &from, DDBLT_WAIT), DD_OK);
    for (int x = 2; x < 8; ++x)
        EXPECT_EQ(PixelAt(*surface, x, 0), std::uint32_t(x - 2));
}

TEST_F(SurfaceTest, RectanglesOutsideTheSurfacesAreRefused) {
    auto source = Offscreen(10, 10);
    auto dest = Offscreen(10, 10);
    const Rect outside{5, 5, 11, 10};
    const Rect empty{3, 3, 3, 8};
    EXPECT_EQ(dest->Blt(&outside, source.get(), nullptr, DDBLT_WAIT), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(nullptr, source.get(), &outside, DDBLT_WAIT), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(&empty, source.get(), nullptr, DDBLT_WAIT), DDERR_INVALIDRECT);
    EXPECT_EQ(dest->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT), DDERR_INVALIDPARAMS);
}

TEST_F(SurfaceTest, ALostSurfaceFailsUntilRestored) {
    auto source = Offscreen(4, 4);
    auto dest = Offscreen(4, 4);
    Fill(*source, 0x00ABCDEF);
    dest->MarkLost();
    LockedSurface locked;
    EXPECT_EQ(dest->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DDERR_SURFACELOST);
    EXPECT_EQ(source->Blt(nullptr, dest.get(), nullptr, DDBLT_WAIT), DDERR_SURFACELOST);
    EXPECT_EQ(dest->Lock(&locked, DDLOCK_WAIT), DDERR_SURFACELOST);
    EXPECT_EQ(dest->Restore(), DD_OK);
    EXPECT_EQ(dest->IsLost(), DD_OK);
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    EXPECT_EQ(PixelAt(*dest, 3, 3), 0x00ABCDEFu);
}

TEST_F(SurfaceTest, AFailedRestoreLeavesTheSurfaceLost) {
    auto surface = Offscreen(4, 4);
    surface->MarkLost();
    DisplayFaults::Fail(DisplayStep::kRestore, 2);
    EXPECT_NE(surface->Restore(), DD_OK);
    EXPECT_NE(surface->Restore(), DD_OK);
    EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(surface->Restore(), DD_OK);
    EXPECT_EQ(surface->IsLost(), DD_OK);
}

TEST_F(SurfaceTest, LockRulesOnOneThread) {
    auto surface = Offscreen(4, 4);
    auto other = Offscreen(4, 4);
    LockedSurface locked;
    EXPECT_EQ(surface->Unlock(), DDERR_NOTLOCKED);
    ASSERT_EQ(surface->Lock(&locked, DDLOCK_WAIT), DD_OK);
    EXPECT_EQ(surface->Lock(&locked, DDLOCK_WAIT), DDERR_SURFACEBUSY);
    // A blit that needs the surface this thread holds would wait forever.
    EXPECT_EQ(other->Blt(nullptr, surface.get(), nullptr, DDBLT_WAIT), DDERR_SURFACEBUSY);
    EXPECT_EQ(surface->Unlock(), DD_OK);
    EXPECT_EQ(surface->Unlock(), DDERR_NOTLOCKED);
}

TEST_F(SurfaceTest, ABlitWaitsForAnotherThreadsLockOnlyWithTheWaitFlag) {
    auto source = Offscreen(4, 4);
    auto dest = Offscreen(4, 4);
    Fill(*source, 0x00010203);
    std::atomic<bool> locked{false};
    std::atomic<bool> release{false};
    std::atomic<bool> unlocking{false};
    std::atomic<bool> finished{false};
    StartWorker([&] {
        LockedSurface bits;
        EXPECT_EQ(dest->Lock(&bits, DDLOCK_WAIT), DD_OK);
        locked = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        unlocking = true;
        dest->Unlock();
        finished = true;
    });
    while (!locked)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    LockedSurface bits;
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, 0), DDERR_WASSTILLDRAWING);
    EXPECT_EQ(dest->Lock(&bits, 0), DDERR_WASSTILLDRAWING);
    release = true;
    EXPECT_EQ(dest->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    EXPECT_TRUE(unlocking); // the blit waited for the unlock
    EXPECT_EQ(PixelAt(*dest, 0, 0), 0x00010203u);
    while (!finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST_F(SurfaceTest, CrossingBlitsOnTwoThreadsDoNotDeadlock) {
    auto first = Offscreen(32, 32);
    auto second = Offscreen(32, 32);
    std::atomic<bool> done{false};
    StartWorker([&] {
        for (int i = 0; i < 500; ++i)
            EXPECT_EQ(first->Blt(nullptr, second.get(), nullptr, DDBLT_WAIT), DD_OK);
        done = true;
    });
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(second->Blt(nullptr, first.get(), nullptr, DDBLT_WAIT), DD_OK);
    while (!done)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// ---- Presenting into a widget ----

class PresentTest : public SurfaceTest {
protected:
    void SetUp() override {
        SurfaceTest::SetUp();
        window_.resize(300, 200);
        window_.show();
        ASSERT_EQ(device_->SetCooperativeLevel(&window_, DDSCL_NORMAL), DD_OK);
        ASSERT_EQ(device_->CreateSurface({DDSD_CAPS, 0, 0, DDSCAPS_PRIMARYSURFACE}, &primary_),
                  DD_OK);
        ASSERT_EQ(device_->CreateClipper(0, &clipper_), DD_OK);
        ASSERT_EQ(clipper_->SetHWnd(0, &window_), DD_OK);
        ASSERT_EQ(primary_->SetClipper(clipper_), DD_OK);
    }
    void TearDown() override {
        primary_.reset();
        clipper_.reset();
        SurfaceTest::TearDown();
    }

    QRgb GrabbedPixel(int x, int y) { return window_.grab().toImage().pixel(x, y) & 0x00FFFFFF; }

    QWidget window_;
    std::shared_ptr<Surface> primary_;
    std::shared_ptr<Clipper> clipper_;
};

TEST_F(PresentTest, ClientRectangleIsKeptInScreenCoordinates) {
    const Rect client = clipper_->ClientRectOnScreen();
    const QPoint origin = window_.mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(client, (Rect{origin.x(), origin.y(), origin.x() + 300, origin.y() + 200}));
    window_.resize(310, 190);
    EXPECT_EQ(clipper_->ClientRectOnScreen().Width(), 310);
    EXPECT_EQ(clipper_->ClientRectOnScreen().Height(), 190);
}

TEST_F(PresentTest, OnlyOnePrimaryPerDevice) {
    std::shared_ptr<Surface> second;
    EXPECT_EQ(device_->CreateSurface({DDSD_CAPS, 0, 0, DDSCAPS_PRIMARYSURFACE}, &second),
              DDERR_PRIMARYSURFACEALREADYEXISTS);
    LockedSurface locked;
    EXPECT_EQ(primary_->Lock(&locked, DDLOCK_WAIT), DDERR_UNSUPPORTED);
}

TEST_F(PresentTest, APresentedSurfaceIsStretchedOverTheWindow) {
    auto source = Offscreen(3, 2);
    LockedSurface locked;
    ASSERT_EQ(source->Lock(&locked, DDLOCK_WAIT), DD_OK);
    const std::uint32_t colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
    for (int i = 0; i < 6; ++i)
        std::memcpy(locked.bits + (i / 3) * locked.pitch + (i % 3) * 4, &colours[i], 4);
    source->Unlock();

    EXPECT_EQ(clipper_->PaintCount(), 0u);
    ASSERT_EQ(primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    ASSERT_TRUE(PumpUntil([&] { return clipper_->PaintCount() > 0; }));
    // Each source pixel covers a 100 × 100 block of the 300 × 200 window.
    for (int i = 0; i < 6; ++i) {
        const int left = (i % 3) * 100;
        const int top = (i / 3) * 100;
        for (auto [dx, dy] : {std::pair{1, 1}, std::pair{50, 50}, std::pair{98, 98}})
            EXPECT_EQ(GrabbedPixel(left + dx, top + dy), colours[i]) << i;
    }
}

TEST_F(PresentTest, PresentingIntoPartOfTheWindowLeavesTheRestBlack) {
    auto source = Offscreen(4, 4);
    Fill(*source, 0x00FFFFFF);
    const Rect client = clipper_->ClientRectOnScreen();
    const Rect dest{client.left + 100, client.top + 50, client.left + 200, client.top + 150};
    ASSERT_EQ(primary_->Blt(&dest, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    EXPECT_EQ(GrabbedPixel(150, 100), 0xFFFFFFu);
    EXPECT_EQ(GrabbedPixel(99, 100), 0u);
    EXPECT_EQ(GrabbedPixel(200, 100), 0u);
    EXPECT_EQ(GrabbedPixel(150, 49), 0u);
}

TEST_F(PresentTest, AFullWindowPictureFollowsAResize) {
    auto source = Offscreen(2, 1);
    const std::uint32_t colours[2] = {0x00102030, 0x00405060};
    LockedSurface locked;
    ASSERT_EQ(source->Lock(&locked, DDLOCK_WAIT), DD_OK);
    std::memcpy(locked.bits, colours, 8);
    source->Unlock();
    ASSERT_EQ(primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    window_.resize(400, 100);
    EXPECT_EQ(GrabbedPixel(190, 50), 0x102030u);
    EXPECT_EQ(GrabbedPixel(210, 50), 0x405060u);
}

TEST_F(PresentTest, PresentingTheSamePictureAgainPaintsNothing) {
    auto source = Offscreen(6, 5);
    Fill(*source, 0x00445566);
    ASSERT_EQ(primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    ASSERT_TRUE(PumpUntil([&] { return clipper_->PaintCount() == 1; }));
    ASSERT_EQ(primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    test_support::PumpPending();
    EXPECT_EQ(clipper_->PaintCount(), 1u);

    // Another place in the window is a new picture, and so is one changed pixel.
    const Rect client = clipper_->ClientRectOnScreen();
    const Rect corner{client.left, client.top, client.left + 60, client.top + 50};
    ASSERT_EQ(primary_->Blt(&corner, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    ASSERT_TRUE(PumpUntil([&] { return clipper_->PaintCount() == 2; }));
    LockedSurface locked;
    ASSERT_EQ(source->Lock(&locked, DDLOCK_WAIT), DD_OK);
    locked.bits[5 * 4 + 4 * locked.pitch] = 0x99;
    source->Unlock();
    ASSERT_EQ(primary_->Blt(&corner, source.get(), nullptr, DDBLT_WAIT), DD_OK);
    EXPECT_TRUE(PumpUntil([&] { return clipper_->PaintCount() == 3; }));
}

TEST_F(PresentTest, AWorkerCanPresent) {
    auto source = Offscreen(8, 8);
    Fill(*source, 0x00C0FFEE);
    std::atomic<SurfaceResult> result{1};
    std::atomic<bool> done{false};
    StartWorker([&] {
        result = primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done && clipper_->PaintCount() > 0; }));
    EXPECT_EQ(result, DD_OK);
    EXPECT_EQ(GrabbedPixel(10, 10), 0xC0FFEEu);
}

TEST_F(PresentTest, PresentingWithoutAWindowIsRefusedHarmlessly) {
    auto source = Offscreen(4, 4);
    primary_->SetClipper(nullptr);
    EXPECT_EQ(primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DDERR_NOCLIPLIST);

    auto window = std::make_unique<QWidget>();
    window->resize(50, 50);
    window->show();
    auto clipper = std::shared_ptr<Clipper>();
    ASSERT_EQ(device_->CreateClipper(0, &clipper), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, window.get()), DD_OK);
    primary_->SetClipper(clipper);
    window.reset();
    EXPECT_EQ(primary_->Blt(nullptr, source.get(), nullptr, DDBLT_WAIT), DDERR_NOCLIPLIST);
    EXPECT_TRUE(clipper->ClientRectOnScreen().IsEmpty());
}

struct InjectedStep {
    const char* name;
    DisplayStep step;
};

void PrintTo(const InjectedStep& injected, std::ostream* out) {
    *out << injected.name;
}

class InjectedFaults : public SurfaceTest, public ::testing::WithParamInterface<InjectedStep> {};

// Each injected step fails once, then works again.
TEST_P(InjectedFaults, FailOnceThenRecover) {
    QWidget window;
    const auto attempt = [&]() -> SurfaceResult {
        std::unique_ptr<DisplayDevice> device;
        if (SurfaceResult r = DisplayDevice::Create(&device); r != DD_OK)
            return r;
        if (SurfaceResult r = device->QueryInterface(); r != DD_OK)
            return r;
        if (SurfaceResult r = device->SetCooperativeLevel(&window, DDSCL_NORMAL); r != DD_OK)
            return r;
        std::shared_ptr<Surface> primary, offscreen;
        std::shared_ptr<Clipper> clipper;
        if (SurfaceResult r =
                device->CreateSurface({DDSD_CAPS, 0, 0, DDSCAPS_PRIMARYSURFACE}, &primary);
            r != DD_OK)
            return r;
        if (SurfaceResult r =
                device->CreateSurface({kAllSizeFlags, 2, 2, DDSCAPS_OFFSCREENPLAIN}, &offscreen);
            r != DD_OK)
            return r;
        if (SurfaceResult r = device->CreateClipper(0, &clipper); r != DD_OK)
            return r;
        if (SurfaceResult r = clipper->SetHWnd(0, &window); r != DD_OK)
            return r;
        return primary->SetClipper(clipper);
    };
    DisplayFaults::Fail(GetParam().step);
    EXPECT_NE(attempt(), DD_OK);
    EXPECT_EQ(attempt(), DD_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Surface, InjectedFaults,
    ::testing::Values(InjectedStep{"CreateDevice", DisplayStep::kCreateDevice},
                      InjectedStep{"QueryInterface", DisplayStep::kQueryInterface},
                      InjectedStep{"SetCooperativeLevel", DisplayStep::kSetCooperativeLevel},
                      InjectedStep{"CreatePrimary", DisplayStep::kCreatePrimarySurface},
                      InjectedStep{"CreateOffscreen", DisplayStep::kCreateOffscreenSurface},
                      InjectedStep{"CreateClipper", DisplayStep::kCreateClipper},
                      InjectedStep{"SetClipperWindow", DisplayStep::kSetClipperWindow},
                      InjectedStep{"SetClipper", DisplayStep::kSetClipper}),
    [](const auto& info) { return info.param.name; });

} // namespace
