#include "platform/surface.h"

#include "picture/picture.h"
#include "platform/resampler.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace platform {
namespace {

constexpr std::size_t kStepCount = static_cast<std::size_t>(DisplayStep::kCopyFrame) + 1;

std::array<std::atomic<int>, kStepCount>& RemainingFailures() {
    static std::array<std::atomic<int>, kStepCount> remaining{};
    return remaining;
}

const QEvent::Type kRepaintEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

bool Contains(int width, int height, const Rect& rect) {
    return !rect.IsEmpty() && rect.left >= 0 && rect.top >= 0 && rect.right <= width &&
           rect.bottom <= height;
}

Rect WholeSurface(int width, int height) {
    return Rect{0, 0, width, height};
}

QRect ToQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

// Nearest-pixel source coordinate for each destination coordinate, sampling
// at pixel centres so that a 1:1 stretch is an exact copy.
std::vector<int> NearestIndices(int destLength, int sourceStart, int sourceLength) {
    std::vector<int> indices(static_cast<std::size_t>(destLength));
    for (int i = 0; i < destLength; ++i)
        indices[static_cast<std::size_t>(i)] =
            sourceStart + static_cast<int>((2 * std::int64_t{i} + 1) * sourceLength /
                                           (2 * std::int64_t{destLength}));
    return indices;
}

} // namespace

void DisplayFaults::Fail(DisplayStep step, int times) {
    RemainingFailures()[static_cast<std::size_t>(step)].store(times);
}

void DisplayFaults::Clear() {
    for (auto& remaining : RemainingFailures())
        remaining.store(0);
}

bool DisplayFaults::ShouldFail(DisplayStep step) {
    auto& remaining = RemainingFailures()[static_cast<std::size_t>(step)];
    int count = remaining.load();
    while (count != 0) {
        if (count < 0)
            return true;
        if (remaining.compare_exchange_weak(count, count - 1))
            return true;
    }
    return false;
}

// The widget side of a clipper: lives on the widget's thread, keeps the
// widget's screen geometry for other threads and paints presented pictures.
class WindowBinding final : public QObject {
public:
    explicit WindowBinding(QWidget* window)
        : window_(window)
        , topLevel_(window->window()) {
        window->setAttribute(Qt::WA_OpaquePaintEvent);
        window->installEventFilter(this);
        if (topLevel_ != window_)
            topLevel_->installEventFilter(this);
        connect(window, &QObject::destroyed, this, [this] {
            alive_ = false;
            std::lock_guard lock(geometryMutex_);
            clientOnScreen_ = Rect{};
        });
        UpdateGeometry();
    }

    ~WindowBinding() override {
        if (window_) {
            window_->removeEventFilter(this);
            window_->update();
        }
        if (topLevel_)
            topLevel_->removeEventFilter(this);
    }

    bool IsAlive() const { return alive_; }

    Rect ClientRectOnScreen() const {
        std::lock_guard lock(geometryMutex_);
        return clientOnScreen_;
    }

    std::uint64_t PaintCount() const { return paintCount_; }

    // Any thread: copies the picture and asks the widget's thread to repaint.
    // A picture equal to the one shown asks for no repaint, so presenting a
    // still picture again and again costs no painting and wakes no event loop.
    // `originHeld`, when given, is origin's surface with the caller holding
    // access to it: its picture is kept too, and scaled to the window here,
    // once per picture rather than on every paint.
    void Present(const Rect& destOnScreen, const std::uint8_t* bits, int pitch,
                 const Rect& sourceRect, const Surface::Origin& origin, const Surface* originHeld) {
        const Rect client = ClientRectOnScreen();
        const Rect local{destOnScreen.left - client.left, destOnScreen.top - client.top,
                         destOnScreen.right - client.left, destOnScreen.bottom - client.top};
        const bool fillsClient = local == WholeSurface(client.Width(), client.Height());
        {
            std::lock_guard lock(frameMutex_);
            bool changed = !hasFrame_ || frameRect_ != local || frameFillsClient_ != fillsClient;
            changed = CopyOpaque(frame_, bits, pitch, sourceRect) || changed;
            frameRect_ = local;
            frameFillsClient_ = fillsClient;
            hasFrame_ = true;
            origin_ = origin;
            const bool hadDetail = detailCurrent_;
            detailCurrent_ = false;
            if (originHeld != nullptr && originHeld->changes_ == origin.changes)
                changed = ReadDetail(*originHeld) || changed;
            changed = changed || hadDetail != detailCurrent_;
            if (detailCurrent_)
                ScaleDetail(QSize(local.Width(), local.Height()));
            if (!changed)
                return;
        }
        if (!repaintPending_.exchange(true))
            QCoreApplication::postEvent(this, new QEvent(kRepaintEventType));
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() != kRepaintEventType)
            return QObject::event(event);
        repaintPending_ = false;
        if (window_)
            window_->update();
        return true;
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Paint:
            if (watched == window_) {
                Paint();
                return true;
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            UpdateGeometry();
            break;
        default:
            break;
        }
        return false;
    }

private:
    // The unused fourth byte is made 0xFF so that Qt treats the picture as opaque.
    // Returns whether any pixel differed from the picture held before.
    static bool CopyOpaque(QImage& into, const std::uint8_t* bits, int pitch,
                           const Rect& sourceRect) {
        bool resized = false;
        if (into.width() != sourceRect.Width() || into.height() != sourceRect.Height()) {
            into = QImage(sourceRect.Width(), sourceRect.Height(), QImage::Format_RGB32);
            into.fill(0);
            resized = true;
        }
        std::uint32_t differences = 0;
        for (int y = 0; y < sourceRect.Height(); ++y) {
            const auto* source =
                reinterpret_cast<const std::uint32_t*>(bits + (sourceRect.top + y) * pitch) +
                sourceRect.left;
            auto* dest = reinterpret_cast<std::uint32_t*>(into.scanLine(y));
            for (int x = 0; x < sourceRect.Width(); ++x) {
                const std::uint32_t pixel = source[x] | 0xFF000000u;
                differences |= dest[x] ^ pixel;
                dest[x] = pixel;
            }
        }
        return differences != 0 || resized;
    }

    // Copies the origin's picture, whose surface the caller holds; true when
    // it differs from the one kept.
    bool ReadDetail(const Surface& surface) {
        const bool changed =
            CopyOpaque(detail_, surface.pixels_.data(), surface.Pitch(), origin_.rect);
        detailCurrent_ = true;
        scaledCurrent_ = scaledCurrent_ && !changed;
        return changed;
    }

    // A window grown past the presented picture while nothing was presented:
    // the origin is read again if it is still the picture's and free at once;
    // the user-interface thread never waits for a worker here.
    void TryReadOrigin() {
        const std::shared_ptr<Surface> surface = origin_.surface.lock();
        if (!surface || surface->IsLost() != DD_OK || surface->Acquire(0) != DD_OK)
            return;
        if (surface->changes_ == origin_.changes)
            ReadDetail(*surface);
        surface->ReleaseAccess();
    }

    // The detail picture at `size`: the picture itself when its size is
    // kept, else its smooth scaling, made once for each picture and size.
    const QImage& ScaleDetail(QSize size) {
        if (detail_.size() == size)
            return detail_;
        if (scaledCurrent_ && scaled_.size() == size)
            return scaled_;
        if (scaled_.size() != size)
            scaled_ = QImage(size, QImage::Format_RGB32);
        ResampleSmooth(
            PixelArea{scaled_.bits(), int(scaled_.bytesPerLine()), size.width(), size.height()},
            ConstPixelArea{detail_.constBits(), int(detail_.bytesPerLine()), detail_.width(),
                           detail_.height()});
        scaledCurrent_ = true;
        return scaled_;
    }

    void UpdateGeometry() {
        if (!window_)
            return;
        const QPoint origin = window_->mapToGlobal(QPoint(0, 0));
        std::lock_guard lock(geometryMutex_);
        clientOnScreen_ = Rect{origin.x(), origin.y(), origin.x() + window_->width(),
                               origin.y() + window_->height()};
    }

    // A picture that covered the whole client area when presented keeps
    // covering it after a resize; elsewhere the window is black.
    void Paint() {
        QPainter painter(window_);
        const QRect client = window_->rect();
        std::lock_guard lock(frameMutex_);
        if (!hasFrame_) {
            painter.fillRect(client, Qt::black);
            return;
        }
        const QRect target = frameFillsClient_ ? client : ToQRect(frameRect_);
        const bool larger = target.width() > frame_.width() || target.height() > frame_.height();
        if (larger && !detailCurrent_)
            TryReadOrigin();
        if (larger && detailCurrent_)
            painter.drawImage(target.topLeft(), ScaleDetail(target.size()));
        else
            painter.drawImage(target, frame_);
        for (const QRect& uncovered : QRegion(client).subtracted(QRegion(target)))
            painter.fillRect(uncovered, Qt::black);
        ++paintCount_;
    }

    QPointer<QWidget> window_;
    QPointer<QWidget> topLevel_;
    std::atomic<bool> alive_{true};

    mutable std::mutex geometryMutex_;
    Rect clientOnScreen_;

    std::mutex frameMutex_;
    QImage frame_;
    // The picture frame_ was stretched from, at its own size, shown instead
    // of frame_ where the window is larger; current while it is frame_'s.
    Surface::Origin origin_;
    QImage detail_;
    bool detailCurrent_ = false;
    QImage scaled_;
    bool scaledCurrent_ = false;
    Rect frameRect_;
    bool frameFillsClient_ = false;
    bool hasFrame_ = false;

    std::atomic<bool> repaintPending_{false};
    std::atomic<std::uint64_t> paintCount_{0};
};

// ---- Surface ----

Surface::Surface(int width, int height, bool primary, std::vector<std::uint8_t> pixels)
    : width_(width)
    , height_(height)
    , primary_(primary)
    , pixels_(std::move(pixels)) {}

Surface::~Surface() = default;

SurfaceResult Surface::Acquire(std::uint32_t waitFlag) {
    std::unique_lock lock(accessMutex_);
    if (busy_ && busyThread_ == std::this_thread::get_id())
        return DDERR_SURFACEBUSY;
    if (busy_ && waitFlag == 0)
        return DDERR_WASSTILLDRAWING;
    accessReleased_.wait(lock, [this] { return !busy_; });
    busy_ = true;
    busyThread_ = std::this_thread::get_id();
    return DD_OK;
}

// Two surfaces are always taken in address order, so crossing blits and
// presents cannot deadlock; all or nothing. One surface when both are the same.
SurfaceResult Surface::AcquireBoth(Surface* a, Surface* b, std::uint32_t waitFlag) {
    Surface* first = std::min(a, b);
    Surface* second = std::max(a, b);
    if (SurfaceResult result = first->Acquire(waitFlag); result != DD_OK)
        return result;
    if (second != first) {
        if (SurfaceResult result = second->Acquire(waitFlag); result != DD_OK) {
            first->ReleaseAccess();
            return result;
        }
    }
    return DD_OK;
}

void Surface::ReleaseBoth(Surface* a, Surface* b) {
    if (a != b)
        b->ReleaseAccess();
    a->ReleaseAccess();
}

void Surface::ReleaseAccess() {
    {
        std::lock_guard lock(accessMutex_);
        busy_ = false;
        lockedByUser_ = false;
        busyThread_ = {};
    }
    accessReleased_.notify_all();
}

SurfaceResult Surface::Blt(const Rect* destRect, Surface* source, const Rect* sourceRect,
                           std::uint32_t flags) {
    if (source == nullptr)
        return DDERR_INVALIDPARAMS;
    if (source->primary_)
        return DDERR_UNSUPPORTED;
    const Rect sourceArea =
        sourceRect ? *sourceRect : WholeSurface(source->width_, source->height_);
    if (!Contains(source->width_, source->height_, sourceArea))
        return DDERR_INVALIDRECT;
    const Rect destArea = destRect ? *destRect : WholeSurface(width_, height_);
    if (!primary_ && !Contains(width_, height_, destArea))
        return DDERR_INVALIDRECT;
    if (lost_ || source->lost_)
        return DDERR_SURFACELOST;
    if (primary_)
        return PresentBlit(destRect, *source, sourceArea, flags);

    if (SurfaceResult result = AcquireBoth(this, source, flags & DDBLT_WAIT); result != DD_OK)
        return result;
    Stretch(destArea, *source, sourceArea, (flags & kBltSmooth) != 0);
    const bool whole = destArea == WholeSurface(width_, height_) && source != this;
    Changed(whole ? Origin{source->weak_from_this(), sourceArea, source->changes_} : Origin{});
    ReleaseBoth(this, source);
    return DD_OK;
}

// The source's origin is taken only when the window is larger than the
// source, and with the source in the same address order as off-screen blits
// take two surfaces, so presenting and the video source's stretching cannot
// deadlock.
SurfaceResult Surface::PresentBlit(const Rect* destRect, Surface& source, const Rect& sourceRect,
                                   std::uint32_t flags) {
    std::shared_ptr<Clipper> clipper;
    {
        std::lock_guard lock(clipperMutex_);
        clipper = clipper_;
    }
    if (!clipper || !clipper->binding_ || !clipper->binding_->IsAlive())
        return DDERR_NOCLIPLIST;
    const Rect dest = destRect ? *destRect : clipper->binding_->ClientRectOnScreen();
    if (dest.IsEmpty())
        return DDERR_INVALIDRECT;
    const Origin origin = (flags & kBltFullResolution) ? source.CurrentOrigin() : Origin{};
    std::shared_ptr<Surface> detail = origin.surface.lock();
    const bool larger = dest.Width() > sourceRect.Width() || dest.Height() > sourceRect.Height();
    if (!larger || detail.get() == &source || (detail && detail->lost_))
        detail.reset();
    Surface* other = detail ? detail.get() : &source;
    if (SurfaceResult result = AcquireBoth(&source, other, flags & DDBLT_WAIT); result != DD_OK)
        return result;
    clipper->binding_->Present(dest, source.pixels_.data(), source.Pitch(), sourceRect, origin,
                               detail.get());
    ReleaseBoth(&source, other);
    return DD_OK;
}

void Surface::Changed(Origin origin) {
    ++changes_;
    std::lock_guard lock(originMutex_);
    origin_ = std::move(origin);
}

Surface::Origin Surface::CurrentOrigin() const {
    std::lock_guard lock(originMutex_);
    return origin_;
}

void Surface::Stretch(const Rect& destRect, const Surface& source, const Rect& sourceRect,
                      bool smooth) {
    // A blit within one surface reads from a copy, so overlapping areas stay correct.
    std::vector<std::uint8_t> copy;
    const std::uint8_t* sourceBits = source.pixels_.data();
    if (&source == this) {
        copy = pixels_;
        sourceBits = copy.data();
    }
    if (smooth) {
        ResampleSmooth(PixelArea{pixels_.data() + std::size_t(destRect.top) * Pitch() +
                                     std::size_t(destRect.left) * 4,
                                 Pitch(), destRect.Width(), destRect.Height()},
                       ConstPixelArea{sourceBits + std::size_t(sourceRect.top) * source.Pitch() +
                                          std::size_t(sourceRect.left) * 4,
                                      source.Pitch(), sourceRect.Width(), sourceRect.Height()});
        return;
    }
    const std::vector<int> columns =
        NearestIndices(destRect.Width(), sourceRect.left, sourceRect.Width());
    const std::vector<int> rows =
        NearestIndices(destRect.Height(), sourceRect.top, sourceRect.Height());
    const bool sameWidth = destRect.Width() == sourceRect.Width();
    for (int y = 0; y < destRect.Height(); ++y) {
        const auto* from = reinterpret_cast<const std::uint32_t*>(
            sourceBits + std::size_t(rows[std::size_t(y)]) * source.Pitch());
        auto* to = reinterpret_cast<std::uint32_t*>(pixels_.data() +
                                                    std::size_t(destRect.top + y) * Pitch()) +
                   destRect.left;
        if (sameWidth) {
            std::memcpy(to, from + sourceRect.left, std::size_t(destRect.Width()) * 4);
            continue;
        }
        for (int x = 0; x < destRect.Width(); ++x)
            to[x] = from[columns[std::size_t(x)]];
    }
}

SurfaceResult Surface::Lock(LockedSurface* locked, std::uint32_t flags) {
    if (locked == nullptr)
        return DDERR_INVALIDPARAMS;
    if (primary_)
        return DDERR_UNSUPPORTED;
    if (lost_)
        return DDERR_SURFACELOST;
    if (SurfaceResult result = Acquire(flags & DDLOCK_WAIT); result != DD_OK)
        return result;
    {
        std::lock_guard lock(accessMutex_);
        lockedByUser_ = true;
    }
    if ((flags & DDLOCK_READONLY) == 0)
        Changed(Origin{});
    *locked = LockedSurface{pixels_.data(), Pitch(), width_, height_};
    return DD_OK;
}

SurfaceResult Surface::Unlock() {
    {
        std::lock_guard lock(accessMutex_);
        if (!busy_ || !lockedByUser_)
            return DDERR_NOTLOCKED;
    }
    ReleaseAccess();
    return DD_OK;
}

SurfaceResult Surface::SetClipper(std::shared_ptr<Clipper> clipper) {
    if (DisplayFaults::ShouldFail(DisplayStep::kSetClipper))
        return DDERR_GENERIC;
    if (!primary_)
        return DDERR_UNSUPPORTED;
    std::lock_guard lock(clipperMutex_);
    clipper_ = std::move(clipper);
    return DD_OK;
}

SurfaceResult Surface::IsLost() const {
    return lost_ ? DDERR_SURFACELOST : DD_OK;
}

SurfaceResult Surface::Restore() {
    if (!lost_)
        return DD_OK;
    if (DisplayFaults::ShouldFail(DisplayStep::kRestore))
        return DDERR_GENERIC;
    lost_ = false;
    return DD_OK;
}

void Surface::MarkLost() {
    lost_ = true;
}

// ---- Clipper ----

Clipper::Clipper() = default;

Clipper::~Clipper() = default;

SurfaceResult Clipper::SetHWnd(std::uint32_t flags, QWidget* window) {
    if (DisplayFaults::ShouldFail(DisplayStep::kSetClipperWindow))
        return DDERR_GENERIC;
    if (flags != 0 || window == nullptr)
        return DDERR_INVALIDPARAMS;
    binding_ = std::make_unique<WindowBinding>(window);
    return DD_OK;
}

Rect Clipper::ClientRectOnScreen() const {
    return binding_ ? binding_->ClientRectOnScreen() : Rect{};
}

std::uint64_t Clipper::PaintCount() const {
    return binding_ ? binding_->PaintCount() : 0;
}

// ---- DisplayDevice ----

DisplayDevice::~DisplayDevice() = default;

SurfaceResult DisplayDevice::Create(std::unique_ptr<DisplayDevice>* device) {
    if (device == nullptr)
        return DDERR_INVALIDPARAMS;
    // A display exists only within a GUI application.
    if (DisplayFaults::ShouldFail(DisplayStep::kCreateDevice) ||
        qobject_cast<QGuiApplication*>(qApp) == nullptr)
        return DDERR_GENERIC;
    device->reset(new DisplayDevice);
    return DD_OK;
}

SurfaceResult DisplayDevice::QueryInterface() {
    return DisplayFaults::ShouldFail(DisplayStep::kQueryInterface) ? DDERR_NOINTERFACE : DD_OK;
}

SurfaceResult DisplayDevice::SetCooperativeLevel(QWidget* window, std::uint32_t flags) {
    if (DisplayFaults::ShouldFail(DisplayStep::kSetCooperativeLevel))
        return DDERR_GENERIC;
    if (window == nullptr || flags != DDSCL_NORMAL)
        return DDERR_INVALIDPARAMS;
    cooperativeLevelSet_ = true;
    return DD_OK;
}

SurfaceResult DisplayDevice::CreateSurface(const SurfaceDescription& description,
                                           std::shared_ptr<Surface>* surface) {
    if (surface == nullptr || (description.flags & DDSD_CAPS) == 0)
        return DDERR_INVALIDPARAMS;
    if (description.caps == DDSCAPS_PRIMARYSURFACE) {
        if (DisplayFaults::ShouldFail(DisplayStep::kCreatePrimarySurface))
            return DDERR_GENERIC;
        if (!cooperativeLevelSet_)
            return DDERR_NOCOOPERATIVELEVELSET;
        if (!primary_.expired())
            return DDERR_PRIMARYSURFACEALREADYEXISTS;
        surface->reset(new Surface(0, 0, true, {}));
        primary_ = *surface;
        return DD_OK;
    }
    if (description.caps != DDSCAPS_OFFSCREENPLAIN)
        return DDERR_INVALIDPARAMS;
    if (DisplayFaults::ShouldFail(DisplayStep::kCreateOffscreenSurface))
        return DDERR_OUTOFMEMORY;
    constexpr std::uint32_t kSizeFlags = DDSD_WIDTH | DDSD_HEIGHT;
    if ((description.flags & kSizeFlags) != kSizeFlags || description.width <= 0 ||
        description.height <= 0 || description.width > picture::kMaxSide ||
        description.height > picture::kMaxSide)
        return DDERR_INVALIDPARAMS;
    try {
        std::vector<std::uint8_t> pixels(std::size_t(description.width) *
                                         std::size_t(description.height) * 4);
        surface->reset(
            new Surface(description.width, description.height, false, std::move(pixels)));
    } catch (const std::bad_alloc&) {
        return DDERR_OUTOFMEMORY;
    }
    return DD_OK;
}

SurfaceResult DisplayDevice::CreateClipper(std::uint32_t flags, std::shared_ptr<Clipper>* clipper) {
    if (clipper == nullptr || flags != 0)
        return DDERR_INVALIDPARAMS;
    if (DisplayFaults::ShouldFail(DisplayStep::kCreateClipper))
        return DDERR_GENERIC;
    clipper->reset(new Clipper);
    return DD_OK;
}

} // namespace platform
