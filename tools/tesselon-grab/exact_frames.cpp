#include "exact_frames.h"

#include "frame_reach.h"
#include "interruption.h"

#include "playback/frame_capture.h"

#include <algorithm>
#include <cstdio>

namespace grab {

namespace {

// "frame 5000 is past the last frame, 2999"; "time 130 is past the last
// frame, 2999 at 119.960 s".
std::string PastTheEnd(const FrameRequest& request, CDShow& source) {
    std::string why = request.requested + " is past the last frame";
    const std::optional<std::int64_t> last = source.LastFrameNumber();
    if (!last)
        return why;
    why += ", " + std::to_string(*last);
    if (request.kind == FrameRequest::Kind::Time) {
        char seconds[48];
        std::snprintf(seconds, sizeof seconds, " at %.3f s",
                      static_cast<double>(source.TimeOfFrame(*last).value_or(0)) /
                          media::kStreamUnitsPerSecond);
        why += seconds;
    }
    return why;
}

// Where a request's frame lies: the frame's own time, or the time asked for
// (the first frame at or after it answers).
struct Target {
    media::StreamTime time = 0;
    int place = 0;
};

} // namespace

void TakeRequested(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                   const TakeFrame& take, std::vector<Unanswered>& unanswered) {
    const std::vector<FrameRequest>& requests = settings.requests;
    const auto miss = [&](int place, std::string error) {
        FrameRecord record;
        record.requested = requests[static_cast<std::size_t>(place)].requested;
        record.error = std::move(error);
        unanswered.push_back({place, std::move(record)});
    };
    // Numbers need the index; times use it for the frames' numbers only.
    const bool counted = source.WaitForFrameNumbers();
    std::vector<Target> targets;
    for (int place = 0; place < static_cast<int>(requests.size()); ++place) {
        const FrameRequest& request = requests[static_cast<std::size_t>(place)];
        if (request.kind == FrameRequest::Kind::Time) {
            targets.push_back({request.value, place});
        } else if (!counted) {
            miss(place, "its frames could not be counted, which " + request.requested + " needs");
        } else if (const auto time = source.TimeOfFrame(request.value)) {
            targets.push_back({*time, place});
        } else {
            miss(place, PastTheEnd(request, source));
        }
    }
    std::stable_sort(targets.begin(), targets.end(),
                     [](const Target& a, const Target& b) { return a.time < b.time; });

    platform::Surface* surface = canvas.Surface();
    const platform::Rect rect = canvas.Rect();
    bool shown = false; // a frame at or after the previous target is shown
    for (std::size_t i = 0; i < targets.size() && InterruptingSignal() == 0; ++i) {
        const Target& target = targets[i];
        media::StepResult result = media::StepResult::Frame;
        // The frame shown already answers a target at or before it.
        if (!shown)
            result = source.ShowFrameAt(target.time, surface, rect);
        else if (target.time > source.ShownTime())
            result = Reach(source, target.time, surface, rect);
        if (result == media::StepResult::AtEnd) {
            // Sorted: every target from here on lies past the end too.
            for (; i < targets.size(); ++i)
                miss(targets[i].place,
                     PastTheEnd(requests[static_cast<std::size_t>(targets[i].place)], source));
            break;
        }
        if (result != media::StepResult::Frame)
            break;
        shown = true;
        Choice choice;
        choice.requested = requests[static_cast<std::size_t>(target.place)].requested;
        choice.place = target.place;
        take(playback::CopyShownFrame(canvas, source), std::move(choice));
    }
}

void PlaceUnanswered(std::vector<FrameRecord>& frames, std::vector<Unanswered> unanswered) {
    std::sort(unanswered.begin(), unanswered.end(),
              [](const Unanswered& a, const Unanswered& b) { return a.place < b.place; });
    // In ascending order, each place counts the records before it, those
    // inserted just before included.
    for (Unanswered& entry : unanswered) {
        const auto at = std::min(static_cast<std::size_t>(entry.place), frames.size());
        frames.insert(frames.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry.record));
    }
}

} // namespace grab
