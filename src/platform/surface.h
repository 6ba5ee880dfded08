// The display-surface service: a display device bound to one widget, a primary
// surface that presents into that widget (clipped to it), off-screen 32-bit
// surfaces, stretching blits, lock and unlock, surface loss and restore.
//
// Pixel format: every surface holds 32-bit pixels, bytes blue, green, red and
// one unused byte (QImage::Format_RGB32 on little-endian machines); rows are
// top-down and the pitch is always width × 4 bytes.
//
// Ownership: a device is owned by whoever created it (std::unique_ptr). Surfaces
// and clippers are shared (std::shared_ptr): a primary surface keeps its
// clipper alive. Raw Surface pointers handed to other objects (the video
// source's render target) are borrowed.
//
// Threads:
//  - DisplayDevice::Create, SetCooperativeLevel, creating the primary surface,
//    Clipper::SetHWnd and destroying a clipper bound to a window: the
//    user-interface thread (the bound widget's thread).
//  - Creating off-screen surfaces, Blt, Lock, Unlock, Restore, IsLost, MarkLost
//    and Clipper::ClientRectOnScreen: any thread. A surface serialises its own
//    users: a blit or lock waits (with the wait flag) while another thread holds
//    the surface locked, and never touches a widget. Presenting (a blit onto the
//    primary surface) copies the pixels and asks the widget's thread to repaint.
//
// Results are HRESULT-style codes: DD_OK (0) on success, negative on failure.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QWidget;

namespace platform {

using SurfaceResult = std::int32_t;

inline constexpr SurfaceResult DD_OK = 0;
inline constexpr SurfaceResult DDERR_GENERIC = static_cast<SurfaceResult>(0x80004005);
inline constexpr SurfaceResult DDERR_UNSUPPORTED = static_cast<SurfaceResult>(0x80004001);
inline constexpr SurfaceResult DDERR_NOINTERFACE = static_cast<SurfaceResult>(0x80004002);
inline constexpr SurfaceResult DDERR_INVALIDPARAMS = static_cast<SurfaceResult>(0x80070057);
inline constexpr SurfaceResult DDERR_OUTOFMEMORY = static_cast<SurfaceResult>(0x8007000E);
inline constexpr SurfaceResult DDERR_INVALIDRECT = static_cast<SurfaceResult>(0x88760096);
inline constexpr SurfaceResult DDERR_NOCLIPLIST = static_cast<SurfaceResult>(0x887600CD);
inline constexpr SurfaceResult DDERR_NOCOOPERATIVELEVELSET = static_cast<SurfaceResult>(0x887600D4);
inline constexpr SurfaceResult DDERR_SURFACEBUSY = static_cast<SurfaceResult>(0x887601AE);
inline constexpr SurfaceResult DDERR_SURFACELOST = static_cast<SurfaceResult>(0x887601C2);
inline constexpr SurfaceResult DDERR_WASSTILLDRAWING = static_cast<SurfaceResult>(0x8876021C);
inline constexpr SurfaceResult DDERR_PRIMARYSURFACEALREADYEXISTS =
    static_cast<SurfaceResult>(0x88760234);
inline constexpr SurfaceResult DDERR_NOTLOCKED = static_cast<SurfaceResult>(0x88760248);

// Cooperative level: windowed, sharing the display with other programs.
inline constexpr std::uint32_t DDSCL_NORMAL = 8;

// SurfaceDescription::flags: which fields are meaningful.
inline constexpr std::uint32_t DDSD_CAPS = 0x1;
inline constexpr std::uint32_t DDSD_HEIGHT = 0x2;
inline constexpr std::uint32_t DDSD_WIDTH = 0x4;

// SurfaceDescription::caps.
inline constexpr std::uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
inline constexpr std::uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;

// Blt flags. Without DDBLT_WAIT a blit on a busy surface fails with
// DDERR_WASSTILLDRAWING. kBltSmooth asks for filtering instead of the
// nearest-pixel stretch (off-screen destinations only): each axis is averaged
// over the covered source pixels when it shrinks, interpolated linearly when
// it grows and copied when its length is kept, so shrunk pictures of fine
// detail are not aliased (see platform/resampler.h).
inline constexpr std::uint32_t DDBLT_WAIT = 0x01000000;
inline constexpr std::uint32_t kBltSmooth = 0x10000000;
// kBltFullResolution (the primary surface only): where destRect is larger
// than sourceRect in either direction, the window shows the picture that the
// source was last stretched from as a whole (its origin, see
// Surface::Blt), at the origin's own resolution and smoothly scaled to
// destRect, as long as the origin still holds the pixels that were
// stretched; otherwise, and in smaller windows, the source as without the
// flag. The window keeps that picture, so a window resized while nothing is
// presented is filled from it again.
inline constexpr std::uint32_t kBltFullResolution = 0x20000000;

// Lock flags. Without DDLOCK_WAIT a lock of a busy surface fails with
// DDERR_WASSTILLDRAWING.
inline constexpr std::uint32_t DDLOCK_WAIT = 0x1;
// A lock that only reads: the surface's pixels count as unchanged after it.
inline constexpr std::uint32_t DDLOCK_READONLY = 0x10;

// A rectangle with exclusive right and bottom edges: (0, 0)-(360, 240) is
// 360 × 240 pixels.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct SurfaceDescription {
    std::uint32_t flags = 0;
    int width = 0;
    int height = 0;
    std::uint32_t caps = 0;
};

// What a successful Lock gives: the first byte of the surface and its layout.
// The bytes stay valid and may be written until Unlock.
struct LockedSurface {
    std::uint8_t* bits = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
};

// Steps that tests can make fail, to check every failure path of a user.
enum class DisplayStep {
    kCreateDevice,
    kQueryInterface,
    kSetCooperativeLevel,
    kCreatePrimarySurface,
    kCreateOffscreenSurface,
    kCreateClipper,
    kSetClipperWindow,
    kSetClipper,
    kRestore,
    // The memory of a frame copy (CGameApp::CopyFrame): fails as when the
    // system has none to give.
    kCopyFrame,
};

// Failure injection for tests; process-wide, any thread.
class DisplayFaults {
public:
    static constexpr int kAlways = -1;

    // The next `times` calls of the step fail (kAlways: every call until Clear).
    static void Fail(DisplayStep step, int times = 1);
    static void Clear();

    // Used by the service: true when this call of the step is to fail.
    static bool ShouldFail(DisplayStep step);
};

class Clipper;
class WindowBinding;

class Surface : public std::enable_shared_from_this<Surface> {
public:
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Any thread. The primary surface reports width and height 0.
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return width_ * 4; }

    // Stretches sourceRect of `source` (the whole source when null) onto
    // destRect of this surface (the whole surface when null), nearest pixel
    // unless kBltSmooth. Both rectangles must lie inside their surfaces. A
    // blit onto the whole of an off-screen surface from another surface makes
    // that area of the source this surface's origin, until the next change
    // of this surface; the origin is current while its own pixels are
    // unchanged since (a writing lock or a blit onto it changes them).
    // On the primary surface destRect is in screen coordinates (null: the
    // bound window's client area); the picture is handed to the window's
    // thread and painted there, clipped to the window; a picture equal to
    // the one shown (same pixels, same place) asks for no repaint. Any thread.
    SurfaceResult Blt(const Rect* destRect, Surface* source, const Rect* sourceRect,
                      std::uint32_t flags);

    // Locks the whole surface for direct access by the calling thread. A
    // surface that this thread has already locked gives DDERR_SURFACEBUSY;
    // the primary surface cannot be locked (DDERR_UNSUPPORTED). Any thread;
    // Unlock on the thread that locked.
    SurfaceResult Lock(LockedSurface* locked, std::uint32_t flags);
    SurfaceResult Unlock();

    // Primary surface only: present through this clipper's window. UI thread.
    SurfaceResult SetClipper(std::shared_ptr<Clipper> clipper);

    // DD_OK, or DDERR_SURFACELOST after a loss until Restore. Any thread.
    SurfaceResult IsLost() const;
    // Gives a lost surface back its memory (contents are kept). Any thread.
    SurfaceResult Restore();
    // Loses the surface, as a display change would: blits and locks involving
    // it fail with DDERR_SURFACELOST until Restore. Any thread.
    void MarkLost();

private:
    friend class DisplayDevice;
    friend class WindowBinding;

    // Where a surface's picture came from: an area of another surface as it
    // was after `changes` changes.
    struct Origin {
        std::weak_ptr<Surface> surface;
        Rect rect;
        std::uint64_t changes = 0;
    };

    Surface(int width, int height, bool primary, std::vector<std::uint8_t> pixels);

    SurfaceResult Acquire(std::uint32_t waitFlag);
    void ReleaseAccess();
    static SurfaceResult AcquireBoth(Surface* a, Surface* b, std::uint32_t waitFlag);
    static void ReleaseBoth(Surface* a, Surface* b);
    SurfaceResult PresentBlit(const Rect* destRect, Surface& source, const Rect& sourceRect,
                              std::uint32_t flags);
    // A change of the pixels by a blit or a writing lock; the caller has access.
    void Changed(Origin origin);
    Origin CurrentOrigin() const;
    void Stretch(const Rect& destRect, const Surface& source, const Rect& sourceRect, bool smooth);

    const int width_;
    const int height_;
    const bool primary_;
    std::vector<std::uint8_t> pixels_;
    std::atomic<bool> lost_{false};
    std::atomic<std::uint64_t> changes_{0};

    mutable std::mutex originMutex_;
    Origin origin_;

    // Exclusive access for a lock or a blit.
    std::mutex accessMutex_;
    std::condition_variable accessReleased_;
    bool busy_ = false;
    std::thread::id busyThread_;
    bool lockedByUser_ = false;

    std::mutex clipperMutex_;
    std::shared_ptr<Clipper> clipper_;
};

// Binds presenting to one widget: keeps the widget's client rectangle in
// screen coordinates for other threads, and paints the presented picture on
// the widget's thread. While bound, the widget is painted only by the clipper
// (opaque; black where no picture lies) and is marked Qt::WA_OpaquePaintEvent.
class Clipper {
public:
    ~Clipper(); // UI thread when bound to a window
    Clipper(const Clipper&) = delete;
    Clipper& operator=(const Clipper&) = delete;

    // Binds to `window` (flags must be 0). UI thread.
    SurfaceResult SetHWnd(std::uint32_t flags, QWidget* window);

    // The bound window's client area in screen coordinates, as last seen on
    // its thread; empty when unbound or the window is gone. Any thread.
    Rect ClientRectOnScreen() const;

    // How many times the bound window has been painted with a presented
    // picture. Any thread.
    std::uint64_t PaintCount() const;

private:
    friend class DisplayDevice;
    friend class Surface;
    Clipper();

    std::unique_ptr<WindowBinding> binding_;
};

class DisplayDevice {
public:
    ~DisplayDevice();
    DisplayDevice(const DisplayDevice&) = delete;
    DisplayDevice& operator=(const DisplayDevice&) = delete;

    // Opens the default display. UI thread.
    static SurfaceResult Create(std::unique_ptr<DisplayDevice>* device);

    // Confirms that the device offers the windowed interface used here
    // (windowed primary with clipping, off-screen surfaces, stretching blits).
    SurfaceResult QueryInterface();

    // Binds the device to its window; DDSCL_NORMAL is the only level. UI thread.
    SurfaceResult SetCooperativeLevel(QWidget* window, std::uint32_t flags);

    // A primary surface (DDSD_CAPS with DDSCAPS_PRIMARYSURFACE; one per device,
    // after SetCooperativeLevel; UI thread) or an off-screen surface (DDSD_CAPS,
    // DDSD_WIDTH, DDSD_HEIGHT with DDSCAPS_OFFSCREENPLAIN, zero-filled, at most
    // picture::kMaxSide on a side; any thread).
    SurfaceResult CreateSurface(const SurfaceDescription& description,
                                std::shared_ptr<Surface>* surface);

    // An unbound clipper (flags must be 0). Any thread.
    SurfaceResult CreateClipper(std::uint32_t flags, std::shared_ptr<Clipper>* clipper);

private:
    DisplayDevice() = default;

    bool cooperativeLevelSet_ = false;
    std::weak_ptr<Surface> primary_;
};

} // namespace platform
