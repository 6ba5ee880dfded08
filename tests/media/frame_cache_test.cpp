// The cache of recent pictures: the byte budget with the oldest frame dropped
// first and the newest always kept, and the links that say two frames are
// neighbours.
#include "media/frame_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using media::FrameCache;
using media::PixelBuffer;
using media::StreamTime;

PixelBuffer Frame(std::uint8_t mark) {
    PixelBuffer pixels;
    EXPECT_TRUE(pixels.Reserve(16, 8));
    pixels.Row(0)[0] = mark;
    return pixels;
}

const std::size_t kFrameBytes = PixelBuffer::BytesFor(16, 8);

std::uint8_t MarkOf(const FrameCache& cache, StreamTime time) {
    std::uint8_t mark = 0;
    EXPECT_TRUE(cache.Use(time, [&](const PixelBuffer& pixels) { mark = pixels.Row(0)[0]; }));
    return mark;
}

TEST(FrameCache, DropsTheFrameAddedFirstBeyondItsBudget) {
    FrameCache cache(3 * kFrameBytes);
    std::vector<PixelBuffer> dropped;
    // Added out of time order, as a refill after playback adds them.
    for (StreamTime time : {50, 10, 20, 30})
        cache.Add(time, std::nullopt, Frame(static_cast<std::uint8_t>(time)), dropped);
    EXPECT_EQ(cache.Count(), 3u);
    EXPECT_EQ(cache.Bytes(), 3 * kFrameBytes);
    EXPECT_FALSE(cache.Contains(50));
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped.front().Row(0)[0], 50); // handed back for reuse

    // Adding a time again renews it: the next oldest goes instead.
    cache.Add(10, std::nullopt, Frame(11), dropped);
    cache.Add(40, std::nullopt, Frame(40), dropped);
    EXPECT_TRUE(cache.Contains(10));
    EXPECT_FALSE(cache.Contains(20));
    EXPECT_EQ(MarkOf(cache, 10), 11);
    EXPECT_EQ(cache.Bytes(), 3 * kFrameBytes);
}

TEST(FrameCache, KeepsTheNewestFrameWhateverItsBudget) {
    FrameCache cache(0);
    std::vector<PixelBuffer> dropped;
    cache.Add(1, std::nullopt, Frame(1), dropped);
    cache.Add(2, 1, Frame(2), dropped);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_TRUE(cache.Contains(2));
    EXPECT_EQ(cache.FramesFitting(kFrameBytes), 1u);
    EXPECT_EQ(FrameCache(10 * kFrameBytes + 1).FramesFitting(kFrameBytes), 10u);
}

TEST(FrameCache, OnlyLinkedFramesAreNeighbours) {
    FrameCache cache(100 * kFrameBytes);
    std::vector<PixelBuffer> dropped;
    cache.Add(10, std::nullopt, Frame(10), dropped);
    cache.Add(20, 10, Frame(20), dropped);
    cache.Add(40, 30, Frame(40), dropped); // 30 was decoded but is not here
    cache.Add(50, std::nullopt, Frame(50), dropped);

    EXPECT_EQ(cache.Before(20), 10);
    EXPECT_EQ(cache.After(10), 20);
    EXPECT_EQ(cache.Before(10), std::nullopt); // nothing known before it
    // 20 and 40 are both cached, but a frame may lie between them.
    EXPECT_EQ(cache.After(20), std::nullopt);
    EXPECT_EQ(cache.Before(40), std::nullopt);
    EXPECT_EQ(cache.Before(50), std::nullopt);
    EXPECT_EQ(cache.After(40), std::nullopt);

    // A link learnt later joins them; one given again on a re-add is kept.
    cache.Link(50, 40);
    EXPECT_EQ(cache.Before(50), 40);
    EXPECT_EQ(cache.After(40), 50);
    cache.Add(20, std::nullopt, Frame(21), dropped);
    EXPECT_EQ(cache.Before(20), 10);

    // A neighbour that was dropped is no neighbour.
    FrameCache small(2 * kFrameBytes);
    small.Add(10, std::nullopt, Frame(10), dropped);
    small.Add(20, 10, Frame(20), dropped);
    small.Add(30, 20, Frame(30), dropped);
    EXPECT_EQ(small.Before(20), std::nullopt);
    EXPECT_EQ(small.Before(30), 20);
}

TEST(FrameCache, AReservedPlaceIsWaitedForUntilFilledOrGivenUp) {
    FrameCache cache(2 * kFrameBytes);
    std::vector<PixelBuffer> dropped;
    cache.Reserve(10, std::nullopt);
    cache.Reserve(20, 10);
    EXPECT_EQ(cache.Before(20), 10); // neighbours before either is filled
    std::thread filler([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PixelBuffer pixels = Frame(20);
        std::vector<PixelBuffer> spare;
        cache.Fill(20, &pixels, spare);
        cache.Fill(10, nullptr, spare); // its conversion failed
    });
    EXPECT_EQ(MarkOf(cache, 20), 20); // waits for the filler
    filler.join();
    EXPECT_FALSE(cache.Use(10, [](const PixelBuffer&) {}));
    EXPECT_EQ(cache.Before(20), std::nullopt);

    // A place dropped for the budget before it was filled hands its pixels back.
    cache.Reserve(30, 20);
    cache.Add(40, std::nullopt, Frame(40), dropped);
    cache.Add(50, std::nullopt, Frame(50), dropped); // 20 goes
    EXPECT_TRUE(cache.Contains(30));
    cache.Add(60, std::nullopt, Frame(60), dropped); // the place, then 40
    EXPECT_FALSE(cache.Contains(30));
    EXPECT_FALSE(cache.Contains(40));
    PixelBuffer late = Frame(30);
    dropped.clear();
    cache.Fill(30, &late, dropped);
    EXPECT_EQ(dropped.size(), 1u);
    EXPECT_FALSE(cache.Contains(30));
    EXPECT_EQ(cache.Bytes(), 2 * kFrameBytes);
}

} // namespace
