// --frames and --times: exactly the frames asked for, in any order. They are
// read sorted, in one pass: a seek goes to the keyframe before and decodes
// forward, so each frame is the one asked for whatever the keyframe spacing.
// Each is handed over with its place in the request list, so the pictures'
// {i} and the report follow the order the user wrote.
#pragma once

#include "frame_choice.h"
#include "grab_options.h"
#include "grab_report.h"

#include "playback/canvas.h"
#include "playback/video_source.h"

#include <vector>

namespace grab {

// A request that no frame answers (past the end), at its place in the list.
struct Unanswered {
    int place = 0;
    FrameRecord record; // what was asked for, and the error naming it
};

// Takes the frame of every request in settings.requests, a request repeated
// once for each time it is listed. Those past the end, or every --frames
// request when the video's frames cannot be counted, go to unanswered.
// Stops early on an interrupting signal.
void TakeRequested(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                   const TakeFrame& take, std::vector<Unanswered>& unanswered);

// Puts each unanswered request's record among the frames taken (already in
// request order) at its place.
void PlaceUnanswered(std::vector<FrameRecord>& frames, std::vector<Unanswered> unanswered);

} // namespace grab
