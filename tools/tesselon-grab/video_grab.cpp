#include "video_grab.h"

#include "frame_checks.h"
#include "frame_writer.h"
#include "interruption.h"
#include "output_folder.h"
#include "progress_line.h"
#include "source_digest.h"

#include "platform/dialogs.h"
#include "platform/run_loop.h"
#include "playback/frame_capture.h"
#include "playback/presenter.h"
#include "playback/video_source.h"

#include <QWidget>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>

namespace grab {

namespace {

namespace fs = std::filesystem;

// A pick this close ahead is reached by decoding on; further, by seeking.
constexpr media::StreamTime kStepSpan = media::kStreamUnitsPerSecond;
// The largest picture side: the decoder's limit.
constexpr int kMaxSide = 16384;

std::string PictureTypeName(char type) {
    switch (type) {
    case 'i':
        return "SI";
    case 'p':
        return "SP";
    case 'b':
        return "BI";
    case '?':
        return "";
    default:
        return std::string(1, type);
    }
}

// The frame's time and coding, exactly when the stream knows its timestamp.
void DescribeFrame(const playback::CapturedFrame& frame, const media::Ratio& timeBase,
                   FrameRecord& record) {
    if (frame.traits && timeBase.den > 0) {
        record.time = Reduced(frame.traits->timestamp * timeBase.num, timeBase.den);
        record.keyFrame = frame.traits->keyFrame;
        record.pictureType = PictureTypeName(frame.traits->pictureType);
    } else {
        record.time = Reduced(frame.time, media::kStreamUnitsPerSecond);
    }
    record.ms =
        1000.0 * static_cast<double>(record.time.num) / static_cast<double>(record.time.den);
    record.frame = frame.number;
}

std::string Provenance(const fs::path& video, const FrameRecord& record) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f", record.ms);
    return "source=" + video.filename().string() + " time=" + ToString(record.time) + " s (" + ms +
           " ms) frame=" + (record.frame ? std::to_string(*record.frame) : "unknown");
}

// Steps or seeks to the first frame at or after time.
media::StepResult Reach(CDShow& source, media::StreamTime time, platform::Surface* target,
                        platform::Rect rect) {
    if (time - source.ShownTime() > kStepSpan)
        return source.ShowFrameAt(time, target, rect);
    media::StepResult result;
    do
        result = source.StepForward(target, rect);
    while (result == media::StepResult::Frame && source.ShownTime() < time);
    return result;
}

// Why nothing was taken when no frame lies at or after the start.
std::string NothingFrom(std::int32_t startMs) {
    if (startMs <= 0)
        return "no frame of its video could be decoded";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", startMs / 1000.0);
    return std::string("no frame at or after --start ") + seconds + " s: the video ends before it";
}

// Every Nth frame by number, or the first frame at or after each multiple of
// the interval, from the start to the end of the video, or as many as an
// explicit --count allows. A frame that is the first after several multiples
// is taken once. False when no frame lies where sampling begins.
template <typename Take>
bool TakeSampled(const Settings& settings, CGameApp& presenter, CDShow& source, platform::Rect rect,
                 Take take) {
    platform::Surface* target = presenter.Offscreen();
    const media::StreamTime start = playback::MillisecondsToStreamTime(settings.startMs);
    const auto& interval = settings.interval;
    const media::StreamTime first =
        interval ? (start + *interval - 1) / *interval * *interval : start;
    media::StepResult result = source.ShowFrameAt(first, target, rect);
    if (result == media::StepResult::AtEnd)
        return false;
    for (int taken = 0; result == media::StepResult::Frame && InterruptingSignal() == 0;) {
        take(playback::CopyShownFrame(presenter, source));
        if (++taken == settings.count && settings.countGiven)
            return true;
        const media::StreamTime shown = source.ShownTime();
        std::optional<media::StreamTime> next;
        if (interval) {
            next = (shown / *interval + 1) * *interval;
        } else if (const auto number = source.ShownFrameNumber()) {
            next = source.TimeOfFrame(*number + settings.every);
            if (!next)
                return true; // past the last frame
        }
        if (next) {
            result = Reach(source, *next, target, rect);
            continue;
        }
        // Frames not counted: step frame by frame.
        for (int i = 0; i < settings.every && result == media::StepResult::Frame; ++i)
            result = source.StepForward(target, rect);
    }
    return true;
}

std::string NewMessages(const platform::ScriptedDialogs& dialogs, std::size_t from) {
    std::string text;
    const auto messages = dialogs.Messages();
    for (std::size_t i = from; i < messages.size(); ++i)
        text += ": " + messages[i].text.toStdString();
    return text;
}

} // namespace

std::pair<int, int> OutputSize(const Settings& settings, int width, int height,
                               Fraction sampleAspect) {
    if (!settings.nativeSize)
        return {settings.width, settings.height};
    double w = width;
    double h = height;
    if (sampleAspect.num > sampleAspect.den && sampleAspect.den > 0)
        w = w * static_cast<double>(sampleAspect.num) / static_cast<double>(sampleAspect.den);
    else if (sampleAspect.num > 0 && sampleAspect.num < sampleAspect.den)
        h = h * static_cast<double>(sampleAspect.den) / static_cast<double>(sampleAspect.num);
    const auto side = [](double value) {
        return static_cast<int>(std::clamp(std::lround(value), 1l, static_cast<long>(kMaxSide)));
    };
    return {side(w), side(h)};
}

VideoRecord GrabVideo(const fs::path& video, GrabContext& context) {
    const Settings& settings = context.settings;
    VideoRecord record;
    record.path = video.string();
    std::error_code error;
    if (const auto bytes = fs::file_size(video, error); !error)
        record.bytes = bytes;
    // A pipe is not read here: it would block without a writer, or be used up.
    if (settings.report && fs::is_regular_file(video, error))
        record.sha256 = Sha256OfFile(video).value_or("");

    const std::size_t messagesBefore = context.dialogs.Messages().size();
    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    // Nothing steps back here: no memory for recent frames beyond the newest.
    options.frameCacheBytes = 0;
    if (!settings.paced)
        options.timeSource = std::make_shared<media::FreeRunningTimeSource>();
    // The source's own device: the presenter is sized after the video is known.
    std::unique_ptr<platform::DisplayDevice> device;
    platform::DisplayDevice::Create(&device);
    CDShow source(options);
    if (playback::OpenResult opened = source.Open(video, device.get()); !opened) {
        record.error = std::move(opened.cause);
        return record;
    }
    const media::VideoFormat format = source.Format();
    record.codec = format.codec;
    record.width = format.width;
    record.height = format.height;
    record.sampleAspect = Reduced(format.sampleAspect.num, format.sampleAspect.den);
    record.displayAspect = DisplayAspect(format.width, format.height, record.sampleAspect);
    const auto [width, height] =
        OutputSize(settings, format.width, format.height, record.sampleAspect);
    record.outputWidth = width;
    record.outputHeight = height;
    const platform::Rect rect{0, 0, width, height};

    const bool needNumbers = context.names.UsesFrameNumbers();
    if (needNumbers && !source.WaitForFrameNumbers()) {
        record.error = "its frames could not be counted, which {frame} needs";
        return record;
    }

    // Made only for a video that opened, and before any frame is decoded.
    fs::path folder = settings.outputDirectory;
    if (settings.perVideo) {
        folder /= context.perVideoFolders.Unique(PerVideoFolderName(video));
        if (std::string why = MakeWritableFolder(folder); !why.empty()) {
            record.error = std::move(why);
            return record;
        }
    }
    playback::NameMaker& used = context.usedNames[folder];

    std::deque<FrameRecord> frames; // writers fill records in place while more are added
    FrameWriter writer(context.band);
    int index = 0;
    const auto take = [&](playback::CapturedFrame frame) {
        FrameRecord& frameRecord = frames.emplace_back();
        DescribeFrame(frame, format.timeBase, frameRecord);
        const NameValues values{video.stem().string(), frame.timeMs, frame.time / 10,
                                frame.number,          index++,      settings.count};
        const std::optional<std::string> base = context.names.Expand(values);
        if (context.progress)
            context.progress->Frame();
        if (!base) {
            frameRecord.error = "its frame number is not known";
        } else {
            const fs::path path = folder / (used.Unique(*base) + ".JPG");
            frameRecord.file = path.string();
            if (frame.buffer == nullptr) {
                frameRecord.error = "out of memory";
            } else if (settings.skipExisting && fs::exists(path)) {
                frameRecord.skipped = true;
                if (settings.report)
                    frameRecord.pictureHash = PictureHash(frame.buffer, width, height);
            } else {
                const std::string comment =
                    settings.provenance ? Provenance(video, frameRecord) : std::string();
                writer.Add({std::exchange(frame.buffer, nullptr), width, height, path, comment,
                            settings.report.has_value(), &frameRecord});
            }
        }
        std::free(frame.buffer);
    };

    QWidget view;
    view.resize(width, height);
    CGameApp presenter;
    std::thread worker;
    bool startFound = true; // set by the worker, read after it is joined
    CDShow* sourceForWorker = nullptr;
    const auto startWorker = [&] {
        if (!worker.joinable() && sourceForWorker) {
            worker = std::thread([&] {
                if (settings.Sampling()) {
                    source.WaitForFrameNumbers();
                    startFound = TakeSampled(settings, presenter, source, rect, take);
                } else {
                    // The report and the comment segments give every frame's number.
                    if (settings.report || settings.provenance)
                        source.WaitForFrameNumbers();
                    for (int i = 0; i < settings.count && InterruptingSignal() == 0; ++i)
                        take(playback::CaptureFrame(presenter, source, {rect, false}));
                }
                platform::PostQuitMessage(0);
            });
        }
        platform::ReportIdle(); // the idle turns stand aside while the worker runs
        return 0;
    };
    if (!presenter.Init(width, height, 32, &view, startWorker)) {
        record.error = "cannot set up playback" + NewMessages(context.dialogs, messagesBefore);
        source.Close();
        presenter.Release();
        return record;
    }
    if (!settings.Sampling()) {
        // Start where asked and fetch the first frame there, as an idle turn would.
        source.Play();
        if (settings.startMs > 0)
            source.SeekMs(settings.startMs);
        source.Render(presenter.Offscreen(), rect, CDShow::FetchWait::UntilNextFrame);
        // A stream that ends at once holds no frame there: nothing is taken,
        // rather than a picture the video does not hold.
        if (!source.IsPlaying()) {
            record.error = NothingFrom(settings.startMs);
            source.Close();
            presenter.Release();
            return record;
        }
    }
    source.SetRenderEnabled(false);
    sourceForWorker = &source;
    presenter.RunMessageLoop();
    if (worker.joinable()) // a loop that quit before its first idle turn started none
        worker.join();
    writer.Finish();
    record.interrupted = InterruptingSignal() != 0 &&
                         (settings.Sampling() || static_cast<int>(frames.size()) < settings.count);
    source.Close();
    presenter.Release();
    record.frames.assign(std::make_move_iterator(frames.begin()),
                         std::make_move_iterator(frames.end()));
    if (!startFound)
        record.error = NothingFrom(settings.startMs);
    const std::optional<std::int64_t> numberStep =
        settings.interval ? std::nullopt : std::optional<std::int64_t>(settings.every);
    MarkChecks(record.frames, numberStep, Reduced(format.timeBase.num, format.timeBase.den));
    return record;
}

} // namespace grab
