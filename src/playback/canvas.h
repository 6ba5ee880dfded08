// Canvas: the off-screen surface into which the video source draws every
// frame, and the copy of it that a capture keeps. The presenter owns the
// program's canvas and presents it in its window; tesselon-grab makes one of
// the size it writes and needs no window, no run loop and no thread.
//
// Ownership: the canvas shares its surface with whoever borrows Surface() for
// one call. Threads: one thread at a time (the video source draws into it
// under its own lock; the capture copies it on the thread that drives the
// source).
#pragma once

#include "picture/picture.h"
#include "platform/surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace playback {

class Canvas {
public:
    // Restores tried when a lock finds the surface lost.
    static constexpr int kMaxRestoreAttempts = 3;

    // A canvas on an off-screen surface made by its owner (the presenter,
    // which reports its own failures).
    explicit Canvas(std::shared_ptr<platform::Surface> surface);

    // A canvas of width × height made on device; otherwise why not.
    static std::variant<Canvas, std::string> Create(platform::DisplayDevice& device, int width,
                                                    int height);

    platform::Surface* Surface() const { return surface_.get(); }
    int Width() const { return surface_->Width(); }
    int Height() const { return surface_->Height(); }
    // The whole canvas: where a frame is drawn to fill it.
    platform::Rect Rect() const { return {0, 0, Width(), Height()}; }

    // Locks the surface: its first byte, and in `size` height × pitch (0 and
    // nullptr on failure, after at most kMaxRestoreAttempts restores of a
    // lost surface). Pair with Unlock.
    std::uint8_t* Lock(int* size);
    bool Unlock();

    // The surface's rows with bandRows zeroed rows under them. When the lock
    // fails the picture holds only the zeroed band. Null when the memory
    // cannot be had.
    picture::Picture CopyFrame(int bandRows);

private:
    std::uint8_t* LockFor(std::uint32_t flags, int* size);

    std::shared_ptr<platform::Surface> surface_;
};

// A picture of width × bandRows zeroed band rows and no frame: the copy of a
// canvas that cannot be read.
picture::Picture BandOnlyPicture(int width, int bandRows);

} // namespace playback
