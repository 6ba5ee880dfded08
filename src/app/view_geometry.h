// ViewGeometry: the main frame's size around its video view. The client area
// is the frame below its menu bar: toolbar, view and status bar together, as
// on the original platform, where the menu lies outside it. The aspect rule
// applies to the view inside it, so that the picture keeps the video's shape
// with the bars shown or hidden; the frame stays within the screen's
// available area and never gets smaller than its whole menu bar.
//
// The frame owns it and passes it its show and resize events. User-interface
// thread only.
#pragma once

#include "platform/client_aspect.h"
#include "platform/client_fitter.h"
#include "playback/frame_capture.h"

#include <QObject>
#include <QRect>
#include <QSize>

#include <functional>
#include <memory>

class QMainWindow;
class VideoViewEdge;

class ViewGeometry : public QObject {
public:
    // The view's size before a video sets it: the capture's.
    static constexpr int kDefaultVideoWidth = playback::kCaptureRect.Width();
    static constexpr int kDefaultVideoHeight = playback::kCaptureRect.Height();
    // The view's smallest side, so that a tiny frame still shows a picture.
    static constexpr int kMinimumViewSide = 16;

    enum class SizeType { Restored, Minimized, Maximized };

    // `frame` has its menu bar already and outlives this object; `fitted`
    // runs after every fit of the frame to the video.
    ViewGeometry(QMainWindow& frame, std::function<void()> fitted);

    // Start-up: a client area of the default size at the platform's default
    // position. The first show gives the view that size instead.
    void StartAtDefaultSize();
    // The edge around the view, the frame's central widget; a change of its
    // size that the user's drag did not make is checked against the rule.
    void AttachView(VideoViewEdge& edge);
    void OnShow();
    void OnResized();
    void OnSize(SizeType type, int cx, int cy);
    // Makes the client area videoRect's size, keeping the frame's top-left corner.
    void FitWindowToVideo();
    // An opened video of `width` × `height`: the view, not the whole client
    // area, takes the video's own size.
    void ShowVideoSize(int width, int height);
    // After the bars or the view's edge changed the view's size on their own
    // (a bar shown, hidden or docked elsewhere): the rule again, once the
    // layout has settled.
    void ScheduleAspectCheck();

    // The client area's size now: the frame without its menu bar.
    QSize ClientSize() const;
    // What the client area holds beside the view's picture area: the bars
    // and the view's edge, as the frame's layout places them now.
    QSize ViewMargin() const;
    QRect VideoRect() const { return videoRect_; }
    int VideoWidth() const { return videoWidth_; }
    int VideoHeight() const { return videoHeight_; }
    float Aspect() const { return aspect_; }

private:
    platform::PictureGrid Grid() const;
    void KeepViewInAspect();
    // Sets videoRect to a client size that the view shows in aspect.
    void SetFittedClient(QSize client);
    void UpdateMinimumSize();

    QMainWindow& frame_;
    std::function<void()> fitted_;
    std::unique_ptr<platform::ClientFitter> fitter_;
    VideoViewEdge* viewEdge_ = nullptr;
    bool shown_ = false;
    bool aspectCheckScheduled_ = false;
    QRect videoRect_{0, 0, kDefaultVideoWidth, kDefaultVideoHeight};
    int videoWidth_ = kDefaultVideoWidth;
    int videoHeight_ = kDefaultVideoHeight;
    // The view's picture area at the last fit: kept when a bar comes or goes.
    QSize picture_{kDefaultVideoWidth, kDefaultVideoHeight};
    float aspect_;
};
