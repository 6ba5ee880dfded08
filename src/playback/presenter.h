// CGameApp, the display presenter: the display device for one window, a
// primary surface clipped to that window, the canvas (an off-screen surface,
// 360 × 240 in the program) into which the video source draws every frame,
// presenting by a stretching blit, frame copies for capture, and the
// program's run loop.
//
// Ownership: the presenter owns the device, the primary surface, the canvas
// and the clipper; it does not own the window. Pictures from CopyFrame belong
// to the caller.
//
// Threads: Init, Release and RunMessageLoop on the user-interface thread.
// BlitToWindow, LockFrame, UnlockFrame and CopyFrame on the user-interface
// thread, or on the capture worker while the idle turns leave the presenter
// alone; never on two threads at once. BlitToWindow never touches the widget:
// the picture is handed to the widget's thread, which repaints.
#pragma once

#include "picture/picture.h"
#include "platform/surface.h"
#include "playback/canvas.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CGameApp {
public:
    // Called on every idle turn of the run loop; its result is not read. An
    // update function with nothing to do calls platform::ReportIdle() so that
    // the loop sleeps until the next event.
    using UpdateFunction = std::function<int()>;

    // Restores tried when a lock finds the off-screen surface lost.
    static constexpr int kMaxRestoreAttempts = playback::Canvas::kMaxRestoreAttempts;

    CGameApp() = default;
    ~CGameApp();
    CGameApp(const CGameApp&) = delete;
    CGameApp& operator=(const CGameApp&) = delete;

    // Sets up the device, the surfaces and the clipper on `window`. Each
    // failure shows one "FATAL ERROR" message box and returns false; the
    // caller then calls Release. The off-screen surface is always 32-bit
    // whatever bitDepth (which must be at least 16).
    bool Init(int width, int height, int bitDepth, QWidget* window, UpdateFunction update);

    // Gives up the surfaces, the clipper and the device and clears every field.
    // Safe to call more than once.
    void Release();

    // Marks the presenter active and runs platform::RunEventLoop with the
    // update function; returns the exit code given to platform::PostQuitMessage.
    int RunMessageLoop();

    // Stretches the off-screen surface onto the window's client area; a client
    // area larger than the surface in either direction shows instead the
    // frame the surface was last stretched from (the video source's sample)
    // at its own resolution, smoothly scaled, while that frame is still the
    // surface's (platform::kBltFullResolution). Returns
    // the result of the last surface call, or 0 while inactive. A lost surface
    // is restored and this frame is not presented again.
    platform::SurfaceResult BlitToWindow();

    // Locks the off-screen surface: its first byte, and in `size` height ×
    // pitch (0 and nullptr on failure, after at most kMaxRestoreAttempts
    // restores of a lost surface). Pair with UnlockFrame.
    std::uint8_t* LockFrame(int* size);
    bool UnlockFrame();

    // The canvas's rows when active, with the label band's zeroed rows under
    // them (playback::kLabelBandRows). Inactive or when the lock fails the
    // picture holds only the zeroed band. Null when the memory cannot be had.
    picture::Picture CopyFrame();

    // Borrowed by the video source: the device for opening files and the
    // canvas as its drawing target. Null before Init.
    platform::DisplayDevice* Device() const { return device_.get(); }
    playback::Canvas* Canvas() { return canvas_ ? &*canvas_ : nullptr; }
    platform::Surface* Offscreen() const { return canvas_ ? canvas_->Surface() : nullptr; }
    // The presenting surface; borrowed, for tests that make it lost.
    platform::Surface* Primary() const { return primary_.get(); }

    QWidget* Window() const { return window_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsActive() const { return active_; }

private:
    bool Fail(const char* text);
    bool CreateSurfaces();
    platform::SurfaceResult RestoreLostSurfaces();

    QPointer<QWidget> window_;
    std::unique_ptr<platform::DisplayDevice> device_;
    std::shared_ptr<platform::Surface> primary_;
    std::optional<playback::Canvas> canvas_;
    std::shared_ptr<platform::Clipper> clipper_;
    int width_ = 0;
    int height_ = 0;
    UpdateFunction update_;
    std::atomic<bool> active_{false};
};
