#include "playback/presenter.h"

#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/messages.h"
#include "platform/run_loop.h"
#include "support/paint_counter.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

using namespace platform;
using test_support::PumpPending;
using test_support::PumpUntil;

namespace {

class PresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        DisplayFaults::Clear();
        window_.resize(720, 480);
        window_.show();
    }
    void TearDown() override {
        presenter_.Release();
        DisplayFaults::Clear();
    }

    bool Init(int width = 360, int height = 240, int bitDepth = 32) {
        return presenter_.Init(width, height, bitDepth, &window_, [this] {
            if (turn_)
                turn_();
            return 0;
        });
    }

    // Runs the presenter's loop for one idle turn, which makes it active.
    void Activate() {
        turn_ = [] {
            PostQuitMessage(0);
        };
        presenter_.RunMessageLoop();
        turn_ = nullptr;
        ASSERT_TRUE(presenter_.IsActive());
    }

    // Paints the off-screen surface: each quarter one colour.
    void FillQuarters(const std::uint32_t (&colours)[4]) {
        int size = 0;
        std::uint8_t* bits = presenter_.LockFrame(&size);
        ASSERT_NE(bits, nullptr);
        const int width = presenter_.Width();
        const int height = presenter_.Height();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int quarter = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
                std::memcpy(bits + y * width * 4 + x * 4, &colours[quarter], 4);
            }
        ASSERT_TRUE(presenter_.UnlockFrame());
    }

    void FillAll(std::uint32_t colour) {
        const std::uint32_t colours[4] = {colour, colour, colour, colour};
        FillQuarters(colours);
    }

    QRgb Shown(int x, int y) { return window_.grab().toImage().pixel(x, y) & 0x00FFFFFF; }

    QWidget window_;
    ScriptedDialogs script_;
    CGameApp presenter_;
    std::function<void()> turn_;
};

// ---- Init failures ----

struct InitFailure {
    const char* name;
    std::vector<DisplayStep> failingSteps;
    int bitDepth;
    bool withUpdate;
    const char* text;
};

// GoogleTest would print the bytes of the struct, padding that was never
// written included.
void PrintTo(const InitFailure& failure, std::ostream* out) {
    *out << failure.name;
}

class InitFailures : public PresenterTest, public ::testing::WithParamInterface<InitFailure> {};

TEST_P(InitFailures, ShowOneFatalMessageAndFail) {
    const InitFailure& failure = GetParam();
    for (DisplayStep step : failure.failingSteps)
        DisplayFaults::Fail(step, DisplayFaults::kAlways);
    const bool result = failure.withUpdate ? Init(360, 240, failure.bitDepth)
                                           : presenter_.Init(360, 240, failure.bitDepth, &window_,
                                                             CGameApp::UpdateFunction());
    EXPECT_FALSE(result);
    const auto shown = script_.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QString::fromUtf8(failure.text));
    EXPECT_EQ(shown[0].caption, "FATAL ERROR");
    EXPECT_EQ(shown[0].icon, MessageIcon::kError);
    EXPECT_EQ(shown[0].buttons, MessageButtons::kOk);
    if (!failure.withUpdate) {
        EXPECT_EQ(presenter_.Device(), nullptr); // checked before any display call
    }
    presenter_.Release();
    presenter_.Release();
    EXPECT_EQ(presenter_.Device(), nullptr);
    EXPECT_EQ(presenter_.Offscreen(), nullptr);
    EXPECT_EQ(presenter_.BlitToWindow(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Presenter, InitFailures,
    ::testing::Values(
        InitFailure{"NoUpdateFunction", {}, 32, false, "Must pass valid pUpdate function pointer!"},
        InitFailure{"NoUpdateFunctionComesFirst",
                    {DisplayStep::kCreateDevice},
                    8,
                    false,
                    "Must pass valid pUpdate function pointer!"},
        InitFailure{"NoDevice",
                    {DisplayStep::kCreateDevice},
                    32,
                    true,
                    "Could not create legacy DirectDraw object!"},
        InitFailure{"NoInterface",
                    {DisplayStep::kQueryInterface},
                    32,
                    true,
                    "Could not get DirectDraw4 interface!"},
        InitFailure{"InterfaceBeforeBitDepth",
                    {DisplayStep::kQueryInterface},
                    15,
                    true,
                    "Could not get DirectDraw4 interface!"},
        InitFailure{"NoCooperativeLevel",
                    {DisplayStep::kSetCooperativeLevel},
                    32,
                    true,
                    "Could not set fullscreen!"},
        InitFailure{"BitDepth15", {}, 15, true, "Video bitdepth must be at least 16-bit!"},
        InitFailure{"BitDepthBeforePrimary",
                    {DisplayStep::kCreatePrimarySurface},
                    15,
                    true,
                    "Video bitdepth must be at least 16-bit!"},
        InitFailure{"NoPrimary",
                    {DisplayStep::kCreatePrimarySurface},
                    32,
                    true,
                    "Could not create primary surface!"},
        InitFailure{"NoOffscreen",
                    {DisplayStep::kCreateOffscreenSurface},
                    32,
                    true,
                    "Could not create off-screen surface!"},
        InitFailure{
            "NoClipper", {DisplayStep::kCreateClipper}, 32, true, "Could not create clipper!"},
        InitFailure{"ClipperNotBound",
                    {DisplayStep::kSetClipperWindow},
                    32,
                    true,
                    "Could not bind clipper to window!"},
        InitFailure{"ClipperNotAttached",
                    {DisplayStep::kSetClipper},
                    32,
                    true,
                    "Could not attach clipper to primary surface!"}),
    [](const auto& info) { return info.param.name; });

TEST_F(PresenterTest, AWindowlessInitFailsAtTheCooperativeLevel) {
    EXPECT_FALSE(presenter_.Init(360, 240, 32, nullptr, [] { return 0; }));
    ASSERT_EQ(script_.Messages().size(), 1u);
    EXPECT_EQ(script_.Messages()[0].text, "Could not set fullscreen!");
}

TEST_F(PresenterTest, SixteenBitsPassAndTheSurfaceIs32Bit) {
    ASSERT_TRUE(Init(360, 240, 16));
    EXPECT_TRUE(script_.Messages().empty());
    ASSERT_NE(presenter_.Offscreen(), nullptr);
    EXPECT_EQ(presenter_.Offscreen()->Width(), 360);
    EXPECT_EQ(presenter_.Offscreen()->Height(), 240);
    EXPECT_EQ(presenter_.Offscreen()->Pitch(), 1440);
    EXPECT_FALSE(presenter_.IsActive());
}

// ---- Presenting ----

TEST_F(PresenterTest, BlitBeforeTheLoopReturnsZeroAndDrawsNothing) {
    ASSERT_TRUE(Init());
    FillAll(0x00FFFFFF);
    EXPECT_EQ(presenter_.BlitToWindow(), 0);
    PumpPending();
    EXPECT_EQ(Shown(360, 240), 0u);
}

struct WindowSize {
    int width, height;
};

class Stretching : public PresenterTest, public ::testing::WithParamInterface<WindowSize> {};

TEST_P(Stretching, FillsTheWindowsClientArea) {
    const auto [width, height] = GetParam();
    window_.resize(width, height);
    ASSERT_TRUE(Init());
    Activate();
    const std::uint32_t colours[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFF00};
    FillQuarters(colours);
    EXPECT_EQ(presenter_.BlitToWindow(), DD_OK);
    PumpPending();
    const QImage shown = window_.grab().toImage();
    ASSERT_EQ(shown.size(), QSize(width, height));
    const int right = width / 2 + 2;
    const int bottom = height / 2 + 2;
    const int left = width / 2 - 3;
    const int top = height / 2 - 3;
    EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, colours[0]);
    EXPECT_EQ(shown.pixel(left, top) & 0xFFFFFF, colours[0]);
    EXPECT_EQ(shown.pixel(right, top) & 0xFFFFFF, colours[1]);
    EXPECT_EQ(shown.pixel(width - 1, 0) & 0xFFFFFF, colours[1]);
    EXPECT_EQ(shown.pixel(left, bottom) & 0xFFFFFF, colours[2]);
    EXPECT_EQ(shown.pixel(0, height - 1) & 0xFFFFFF, colours[2]);
    EXPECT_EQ(shown.pixel(right, bottom) & 0xFFFFFF, colours[3]);
    EXPECT_EQ(shown.pixel(width - 1, height - 1) & 0xFFFFFF, colours[3]);
}

INSTANTIATE_TEST_SUITE_P(Presenter, Stretching,
                         ::testing::Values(WindowSize{720, 480}, WindowSize{500, 333},
                                           WindowSize{1280, 720}, WindowSize{200, 100}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_F(PresenterTest, TwiceTheSizeDoublesEveryPixel) {
    ASSERT_TRUE(Init());
    Activate();
    const std::uint32_t colours[4] = {0x00101010, 0x00202020, 0x00303030, 0x00404040};
    FillQuarters(colours);
    presenter_.BlitToWindow();
    // Column 179 of the surface covers window columns 358 and 359; column 180 starts at 360.
    EXPECT_EQ(Shown(359, 10), colours[0]);
    EXPECT_EQ(Shown(360, 10), colours[1]);
    EXPECT_EQ(Shown(10, 239), colours[0]);
    EXPECT_EQ(Shown(10, 240), colours[2]);
}

enum class LostSurface { kPrimary, kOffscreen };

class LostSurfaces : public PresenterTest, public ::testing::WithParamInterface<LostSurface> {};

TEST_P(LostSurfaces, AreRestoredByTheBlitThatFindsThemAndTheNextBlitDraws) {
    ASSERT_TRUE(Init());
    Activate();
    FillAll(0x00AA0000);
    ASSERT_EQ(presenter_.BlitToWindow(), DD_OK);
    EXPECT_EQ(Shown(100, 100), 0xAA0000u);

    FillAll(0x0000BB00);
    Surface* lost =
        GetParam() == LostSurface::kPrimary ? presenter_.Primary() : presenter_.Offscreen();
    lost->MarkLost();
    EXPECT_EQ(presenter_.BlitToWindow(), DD_OK);
    EXPECT_EQ(lost->IsLost(), DD_OK);
    EXPECT_EQ(Shown(100, 100), 0xAA0000u); // this frame was not presented

    EXPECT_EQ(presenter_.BlitToWindow(), DD_OK);
    EXPECT_EQ(Shown(100, 100), 0x00BB00u);
}

INSTANTIATE_TEST_SUITE_P(Presenter, LostSurfaces,
                         ::testing::Values(LostSurface::kPrimary, LostSurface::kOffscreen),
                         [](const auto& info) {
                             return info.param == LostSurface::kPrimary ? "Primary" : "Offscreen";
                         });

TEST_F(PresenterTest, AFailedRestoreIsReturnedAndLaterBlitsRecover) {
    ASSERT_TRUE(Init());
    Activate();
    presenter_.Primary()->MarkLost();
    DisplayFaults::Fail(DisplayStep::kRestore, 1);
    EXPECT_NE(presenter_.BlitToWindow(), DD_OK);
    EXPECT_EQ(presenter_.BlitToWindow(), DD_OK); // restored now
    EXPECT_EQ(presenter_.BlitToWindow(), DD_OK);
}

// ---- Frame copies ----

struct CopyCase {
    int width, height;
    bool active;
};

void PrintTo(const CopyCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height << (c.active ? " active" : " inactive");
}

class FrameCopies : public PresenterTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(FrameCopies, HoldTheSurfaceRowsAndAZeroBand) {
    const CopyCase c = GetParam();
    ASSERT_TRUE(Init(c.width, c.height));
    if (c.active)
        Activate();
    int size = 0;
    std::uint8_t* bits = presenter_.LockFrame(&size);
    ASSERT_NE(bits, nullptr);
    ASSERT_EQ(size, c.width * c.height * 4);
    for (int i = 0; i < size; ++i)
        bits[i] = static_cast<std::uint8_t>(i * 7 + 1); // every byte, the fourth included
    presenter_.UnlockFrame();

    const picture::Picture copy = presenter_.CopyFrame();
    ASSERT_TRUE(copy);
    const std::uint8_t* buffer = copy.Pixels();
    size = static_cast<int>(copy.Bytes());
    const int frameBytes = c.active ? c.width * c.height * 4 : 0;
    const int bandBytes = c.width * 64;
    EXPECT_EQ(size, frameBytes + bandBytes);
    for (int i = 0; i < frameBytes; ++i)
        ASSERT_EQ(buffer[i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
    for (int i = frameBytes; i < size; ++i)
        ASSERT_EQ(buffer[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(Presenter, FrameCopies,
                         ::testing::Values(CopyCase{360, 240, true}, CopyCase{360, 240, false},
                                           CopyCase{17, 9, true}, CopyCase{1, 1, true},
                                           CopyCase{6, 5, false}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) +
                                    (info.param.active ? "Active" : "Inactive");
                         });

TEST_F(PresenterTest, TheProgramsFrameCopyIs368640BytesWithA23040ByteBand) {
    ASSERT_TRUE(Init());
    Activate();
    FillAll(0x00808080);
    const picture::Picture copy = presenter_.CopyFrame();
    ASSERT_TRUE(copy);
    const std::uint8_t* buffer = copy.Pixels();
    EXPECT_EQ(copy.Bytes(), 368640u);
    EXPECT_EQ(buffer[368640 - 23040 - 4], 0x80);
    EXPECT_EQ(std::count(buffer + 368640 - 23040, buffer + 368640, 0), 23040);
}

TEST_F(PresenterTest, ALostSurfaceIsRestoredForTheLock) {
    ASSERT_TRUE(Init());
    presenter_.Offscreen()->MarkLost();
    int size = 0;
    EXPECT_NE(presenter_.LockFrame(&size), nullptr);
    EXPECT_EQ(size, 345600);
    EXPECT_TRUE(presenter_.UnlockFrame());
}

// A surface that cannot be restored ends the lock after a bounded number of tries.
TEST_F(PresenterTest, AnUnrestorableSurfaceGivesUpAndTheCopyHoldsOnlyTheBand) {
    ASSERT_TRUE(Init());
    Activate();
    presenter_.Offscreen()->MarkLost();
    DisplayFaults::Fail(DisplayStep::kRestore, CGameApp::kMaxRestoreAttempts + 1);
    int size = -1;
    EXPECT_EQ(presenter_.LockFrame(&size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_FALSE(presenter_.UnlockFrame());
    // Exactly kMaxRestoreAttempts restores were tried: one injected failure is left.
    EXPECT_NE(presenter_.Offscreen()->Restore(), DD_OK);

    presenter_.Offscreen()->MarkLost();
    DisplayFaults::Fail(DisplayStep::kRestore, DisplayFaults::kAlways);
    const picture::Picture copy = presenter_.CopyFrame();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy.Bytes(), 23040u);
    EXPECT_EQ(std::count(copy.Pixels(), copy.Pixels() + copy.Bytes(), 0), 23040);
}

// ---- The loop and the capture worker ----

TEST_F(PresenterTest, TheLoopReturnsTheQuitCodeAndRunsTheUpdateFunction) {
    ASSERT_TRUE(Init());
    int turns = 0;
    turn_ = [&] {
        if (++turns == 5)
            PostQuitMessage(17);
    };
    EXPECT_EQ(presenter_.RunMessageLoop(), 17);
    EXPECT_EQ(turns, 5);
    EXPECT_TRUE(presenter_.IsActive());
}

TEST_F(PresenterTest, AWorkerCopiesAndPresentsWhileTheLoopRuns) {
    ASSERT_TRUE(Init());
    Activate();
    FillAll(0x00123456);
    std::atomic<int> copied{0};
    std::atomic<bool> done{false};
    StartWorker([&] {
        for (int i = 0; i < 20; ++i) {
            const picture::Picture copy = presenter_.CopyFrame();
            if (copy && copy.Bytes() == 368640 && copy.Pixels()[0] == 0x56)
                ++copied;
            presenter_.BlitToWindow();
        }
        done = true;
        PostQuitMessage(0);
    });
    // The loop sleeps between the worker's presents and ends on its quit.
    turn_ = [] {
        ReportIdle();
    };
    presenter_.RunMessageLoop();
    EXPECT_TRUE(done);
    EXPECT_EQ(copied, 20);
    EXPECT_EQ(Shown(5, 5), 0x123456u);
}

using testing_support::PaintCounter;

// Presenting an unchanged frame on every idle turn, as with no file open,
// must not keep the loop busy with repaints.
TEST_F(PresenterTest, PresentingAStillPictureLetsTheLoopSleep) {
    ASSERT_TRUE(Init());
    Activate();
    FillAll(0x00203040);
    PumpPending();
    PaintCounter counter;
    window_.installEventFilter(&counter);
    int turns = 0;
    turn_ = [&] {
        ++turns;
        presenter_.BlitToWindow();
        ReportIdle();
    };
    StartWorker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        PostQuitMessage(0);
    });
    presenter_.RunMessageLoop();
    window_.removeEventFilter(&counter);
    EXPECT_EQ(counter.paints, 1);
    EXPECT_LE(turns, 5);
    EXPECT_EQ(Shown(5, 5), 0x203040u);
}

TEST_F(PresenterTest, ReleaseClearsEverything) {
    ASSERT_TRUE(Init());
    Activate();
    presenter_.Release();
    EXPECT_FALSE(presenter_.IsActive());
    EXPECT_EQ(presenter_.Device(), nullptr);
    EXPECT_EQ(presenter_.Window(), nullptr);
    EXPECT_EQ(presenter_.Width(), 0);
    EXPECT_EQ(presenter_.BlitToWindow(), 0);
    EXPECT_TRUE(presenter_.CopyFrame().IsNull());
}

} // namespace
