#include "platform/dialog_units.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(DialogUnitsTest, AFourthOfTheAverageWidthAcrossAndAnEighthOfTheHeightDown) {
    const QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 8);
    const DialogUnits units(font);
    const QFontMetrics metrics(font);
    EXPECT_EQ(units.BaseHeight(), metrics.height());
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_NEAR(units.BaseWidth(), alphabet / 52.0, 0.5);

    EXPECT_EQ(units.ToPixelsX(4), units.BaseWidth());
    EXPECT_EQ(units.ToPixelsY(8), units.BaseHeight());
    EXPECT_EQ(units.ToPixelsX(400), 100 * units.BaseWidth());
    // Rounded to the nearest pixel, not truncated.
    EXPECT_EQ(units.ToPixelsX(3), (3 * units.BaseWidth() + 2) / 4);
    EXPECT_EQ(units.ToPixels(QRect(4, 8, 8, 16)),
              QRect(units.BaseWidth(), units.BaseHeight(), 2 * units.BaseWidth(),
                    2 * units.BaseHeight()));
}

} // namespace
} // namespace platform
