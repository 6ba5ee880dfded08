// The process-wide playback objects: the display presenter and the video
// source, created at start-up by CGrabberApp and released by its
// ExitInstance. While the run loop runs both exist.
//
// Threads: the pointers are written on the user-interface thread only, before
// the run loop starts and after it ends; the objects' own headers say which
// of their operations other threads may call.
#pragma once

#include "platform/surface.h"
#include "playback/frame_capture.h"
#include "playback/presenter.h"
#include "playback/video_source.h"

extern CGameApp* gPresenter;
extern CDShow* gSource;
