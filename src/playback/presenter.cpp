#include "playback/presenter.h"

#include "platform/dialogs.h"
#include "platform/run_loop.h"
#include "playback/frame_capture.h"

#include <variant>

using platform::DD_OK;
using platform::DDERR_SURFACELOST;
using platform::SurfaceResult;

CGameApp::~CGameApp() {
    Release();
}

bool CGameApp::Fail(const char* text) {
    platform::ShowMessage(QString::fromUtf8(text), QStringLiteral("FATAL ERROR"),
                          platform::MessageIcon::kError, platform::MessageButtons::kOk);
    return false;
}

bool CGameApp::Init(int width, int height, int bitDepth, QWidget* window, UpdateFunction update) {
    window_ = window;
    width_ = width;
    height_ = height;
    if (!update)
        return Fail("Must pass valid pUpdate function pointer!");
    update_ = std::move(update);
    // The cursor is shown over every Qt window already: nothing to switch on.
    if (platform::DisplayDevice::Create(&device_) != DD_OK)
        return Fail("Could not create legacy DirectDraw object!");
    if (device_->QueryInterface() != DD_OK)
        return Fail("Could not get DirectDraw4 interface!");
    if (device_->SetCooperativeLevel(window, platform::DDSCL_NORMAL) != DD_OK)
        return Fail("Could not set fullscreen!");
    if (bitDepth < 16)
        return Fail("Video bitdepth must be at least 16-bit!");
    return CreateSurfaces();
}

// Everything past the primary surface is needed by every later frame, so a
// failure here fails Init rather than a later blit or copy.
bool CGameApp::CreateSurfaces() {
    platform::SurfaceDescription primary;
    primary.flags = platform::DDSD_CAPS;
    primary.caps = platform::DDSCAPS_PRIMARYSURFACE;
    if (device_->CreateSurface(primary, &primary_) != DD_OK)
        return Fail("Could not create primary surface!");

    auto canvas = playback::Canvas::Create(*device_, width_, height_);
    if (!std::holds_alternative<playback::Canvas>(canvas))
        return Fail("Could not create off-screen surface!");
    canvas_.emplace(std::move(std::get<playback::Canvas>(canvas)));
    if (device_->CreateClipper(0, &clipper_) != DD_OK)
        return Fail("Could not create clipper!");
    if (clipper_->SetHWnd(0, window_) != DD_OK)
        return Fail("Could not bind clipper to window!");
    if (primary_->SetClipper(clipper_) != DD_OK)
        return Fail("Could not attach clipper to primary surface!");
    return true;
}

void CGameApp::Release() {
    active_ = false;
    primary_.reset();
    canvas_.reset();
    clipper_.reset();
    device_.reset();
    width_ = 0;
    height_ = 0;
    update_ = nullptr;
    window_ = nullptr;
}

int CGameApp::RunMessageLoop() {
    active_ = true;
    const UpdateFunction update = update_;
    return platform::RunEventLoop([&update] {
        if (update)
            update();
    });
}

SurfaceResult CGameApp::BlitToWindow() {
    if (!active_ || !primary_ || !clipper_)
        return 0;
    platform::Rect screen = clipper_->ClientRectOnScreen();
    // A window larger than the canvas shows the frame the canvas was stretched
    // from, at the frame's own resolution.
    const SurfaceResult result = primary_->Blt(&screen, Offscreen(), nullptr,
                                               platform::DDBLT_WAIT | platform::kBltFullResolution);
    if (result == DDERR_SURFACELOST)
        return RestoreLostSurfaces();
    return result;
}

// Either surface of the blit may be the lost one; both come back.
SurfaceResult CGameApp::RestoreLostSurfaces() {
    SurfaceResult result = DD_OK;
    for (platform::Surface* surface : {primary_.get(), Offscreen()}) {
        if (surface->IsLost() == DD_OK)
            continue;
        if (const SurfaceResult restored = surface->Restore(); restored != DD_OK)
            result = restored;
    }
    return result;
}

std::uint8_t* CGameApp::LockFrame(int* size) {
    *size = 0;
    return canvas_ ? canvas_->Lock(size) : nullptr;
}

bool CGameApp::UnlockFrame() {
    return canvas_ && canvas_->Unlock();
}

picture::Picture CGameApp::CopyFrame() {
    if (active_ && canvas_)
        return canvas_->CopyFrame(playback::kLabelBandRows);
    return playback::BandOnlyPicture(width_, playback::kLabelBandRows);
}
