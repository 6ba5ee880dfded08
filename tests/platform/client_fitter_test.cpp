// The fitter's answers to a window manager: late answers to earlier requests,
// refusals, and the screen's edge.
#include "platform/client_fitter.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

namespace platform {
namespace {

const PictureGrid kGrid{1, QSize(4, 56), 1.5f};

class ClientFitterTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(364, 296);
        window_.show();
    }

    QWidget window_;
    ClientFitter fitter_{window_, nullptr};
};

TEST_F(ClientFitterTest, LateAnswerToAnEarlierRequestIsAnsweredWithTheLatest) {
    fitter_.ResizeClient(QSize(364, 296)); // the first size
    fitter_.ResizeClient(QSize(304, 256)); // a file's own size, asked at once after
    // The window manager's answer to the first arrives now: the second stands.
    EXPECT_EQ(fitter_.Answer(kGrid, QSize(364, 296)), QSize(304, 256));
    // A second late answer of that size is taken as the window manager's own.
    EXPECT_EQ(fitter_.Answer(kGrid, QSize(364, 296)), std::nullopt);
}

TEST_F(ClientFitterTest, LateAnswerToASizeTheMinimumChangedIsAnsweredWithTheLatest) {
    window_.setMinimumSize(300, 280);
    fitter_.ResizeClient(QSize(180, 176)); // a small file: the minimum makes it 300 x 280
    ASSERT_EQ(fitter_.ClientSize(), QSize(300, 280));
    fitter_.ResizeClient(QSize(364, 296));
    EXPECT_EQ(fitter_.Answer(kGrid, QSize(300, 280)), QSize(364, 296));
}

TEST_F(ClientFitterTest, RefusalIsNotAskedAgainButALikeDragIs) {
    window_.resize(600, 296); // dragged wider than 3:2
    const std::optional<QSize> fitted = fitter_.Answer(kGrid, QSize(600, 296));
    ASSERT_EQ(fitted, QSize(600, 453));
    fitter_.ResizeClient(*fitted);
    // A tiling window manager puts the window back to the dragged size.
    window_.resize(600, 296);
    EXPECT_EQ(fitter_.Answer(kGrid, QSize(600, 296)), std::nullopt);

    fitter_.ResizeClient(*fitted);
    // The user drags elsewhere, and the rule answers that alike: asked again.
    window_.resize(600, 300);
    EXPECT_EQ(fitter_.Answer(kGrid, QSize(600, 300)), fitted);
}

TEST_F(ClientFitterTest, AnswersStayWithinTheScreensRoom) {
    const QSize room = fitter_.MaximumClientSize();
    ASSERT_FALSE(room.isEmpty());
    const std::optional<QSize> fitted = fitter_.Answer(kGrid, QSize(room.width(), 100));
    ASSERT_TRUE(fitted.has_value());
    EXPECT_LE(fitted->width(), room.width());
    EXPECT_LE(fitted->height(), room.height());
    fitter_.ResizeClient(*fitted);
    EXPECT_TRUE(window_.screen()->availableGeometry().contains(window_.frameGeometry()));
}

} // namespace
} // namespace platform
