// The moment a frame was filmed: the container's creation time as FFmpeg
// gives it, plus the frame's time, carried across seconds, days, a leap day
// and a year, in the file's own zone.
#include "capture_time.h"

#include <gtest/gtest.h>

namespace {

using grab::CaptureTimeOf;
using grab::Fraction;

TEST(CaptureTime, AddsTheFramesTimeInTheFilesZone) {
    const struct {
        const char* creation;
        Fraction frameTime;
        const char* dateTime;
        const char* subSeconds;
        const char* offset;
    } cases[] = {
        {"2023-12-31T23:59:59.980000Z", {1, 25}, "2024:01:01 00:00:00", "020", "+00:00"},
        {"2024-05-06 07:08:09", {0, 1}, "2024:05:06 07:08:09", "000", ""},
        {"2024-02-28T23:00:00+05:30", {3600, 1}, "2024:02:29 00:00:00", "000", "+05:30"},
        {"2023-02-28T23:30:00-0800", {1800, 1}, "2023:03:01 00:00:00", "000", "-08:00"},
        // 1001/30000 s is 33366.67 microseconds, rounded down.
        {"2024-05-06T07:08:09Z", {1001, 30000}, "2024:05:06 07:08:09", "033366", "+00:00"},
        {"2024-05-06T00:00:00.5Z", {-1, 1}, "2024:05:05 23:59:59", "500", "+00:00"},
        {"2024-05-06T07:08:09.1234567Z", {0, 1}, "2024:05:06 07:08:09", "123456", "+00:00"},
        // A timestamp far into a long stream in a fine time base.
        {"2024-05-06T07:08:09Z", {900000000001, 90000}, "2024:08:30 00:54:49", "000011", "+00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.creation);
        const auto taken = CaptureTimeOf(c.creation, c.frameTime);
        ASSERT_TRUE(taken);
        EXPECT_EQ(taken->dateTime, c.dateTime);
        EXPECT_EQ(taken->subSeconds, c.subSeconds);
        EXPECT_EQ(taken->offset, c.offset);
    }
}

TEST(CaptureTime, RefusesWhatIsNotADateAndTime) {
    const char* const cases[] = {
        "",
        "2024-05-06",
        "2024-02-30T00:00:00Z",
        "2024-05-06T24:00:00Z",
        "2024-05-06T07:08:09+2",
        "2024-05-06T07:08:09Zjunk",
        "2024-05-06T07:08:09.Z",
        "06/05/2024 07:08:09",
    };
    for (const char* creation : cases)
        EXPECT_FALSE(CaptureTimeOf(creation, {0, 1})) << creation;
    // Past the years Exif's four digits hold.
    EXPECT_FALSE(CaptureTimeOf("9999-12-31T23:59:59Z", {1, 1}));
}

} // namespace
