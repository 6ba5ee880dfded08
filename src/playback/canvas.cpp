#include "playback/canvas.h"

#include <cstring>

namespace playback {

using platform::DD_OK;
using platform::DDERR_SURFACELOST;

Canvas::Canvas(std::shared_ptr<platform::Surface> surface)
    : surface_(std::move(surface)) {}

std::variant<Canvas, std::string> Canvas::Create(platform::DisplayDevice& device, int width,
                                                 int height) {
    platform::SurfaceDescription description;
    description.flags = platform::DDSD_CAPS | platform::DDSD_HEIGHT | platform::DDSD_WIDTH;
    description.width = width;
    description.height = height;
    description.caps = platform::DDSCAPS_OFFSCREENPLAIN;
    std::shared_ptr<platform::Surface> surface;
    if (device.CreateSurface(description, &surface) != DD_OK)
        return "no off-screen surface of " + std::to_string(width) + " × " +
               std::to_string(height) + " pixels could be made";
    return Canvas(std::move(surface));
}

std::uint8_t* Canvas::Lock(int* size) {
    return LockFor(platform::DDLOCK_WAIT, size);
}

std::uint8_t* Canvas::LockFor(std::uint32_t flags, int* size) {
    *size = 0;
    platform::LockedSurface locked;
    platform::SurfaceResult result = surface_->Lock(&locked, flags);
    for (int attempt = 0; result == DDERR_SURFACELOST && attempt < kMaxRestoreAttempts; ++attempt) {
        surface_->Restore();
        result = surface_->Lock(&locked, flags);
    }
    if (result != DD_OK)
        return nullptr;
    *size = Height() * locked.pitch;
    return locked.bits;
}

bool Canvas::Unlock() {
    return surface_->Unlock() == DD_OK;
}

picture::Picture Canvas::CopyFrame(int bandRows) {
    int bytes = 0;
    // Only read: the window may go on showing the frame's origin.
    const std::uint8_t* frame = LockFor(platform::DDLOCK_WAIT | platform::DDLOCK_READONLY, &bytes);
    if (frame == nullptr)
        return BandOnlyPicture(Width(), bandRows);
    picture::Picture copy;
    if (!platform::DisplayFaults::ShouldFail(platform::DisplayStep::kCopyFrame))
        copy = picture::Picture::Allocate(Width(), Height(), bandRows);
    // The surface's pitch is its width × 4, as the picture's stride is.
    if (copy)
        std::memcpy(copy.Pixels(), frame, std::size_t(bytes));
    Unlock();
    return copy;
}

picture::Picture BandOnlyPicture(int width, int bandRows) {
    if (platform::DisplayFaults::ShouldFail(platform::DisplayStep::kCopyFrame))
        return {};
    return picture::Picture::Allocate(width, 0, bandRows);
}

} // namespace playback
