#include "video_grab.h"

#include "contact_sheet_sink.h"
#include "evenly_spaced.h"
#include "exact_frames.h"
#include "best_of.h"
#include "frame_checks.h"
#include "frame_choice.h"
#include "frame_list.h"
#include "frame_reach.h"
#include "frame_metadata.h"
#include "frame_writer.h"
#include "interruption.h"
#include "keyframe_selection.h"
#include "output_folder.h"
#include "progress_line.h"
#include "scene_selection.h"
#include "source_digest.h"

#include "picture/likeness.h"
#include "picture/picture.h"
#include "picture/sharpness.h"
#include "playback/canvas.h"
#include "playback/frame_capture.h"
#include "playback/video_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <numeric>
#include <ostream>
#include <tuple>
#include <variant>

namespace grab {

namespace {

namespace fs = std::filesystem;

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
bool TakeSampled(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                 const TakeFrame& take) {
    platform::Surface* target = canvas.Surface();
    const platform::Rect rect = canvas.Rect();
    const media::StreamTime start = playback::MillisecondsToStreamTime(settings.startMs);
    const auto& interval = settings.interval;
    const media::StreamTime first =
        interval ? (start + *interval - 1) / *interval * *interval : start;
    media::StepResult result = source.ShowFrameAt(first, target, rect);
    if (result == media::StepResult::AtEnd)
        return false;
    for (int taken = 0; result == media::StepResult::Frame && InterruptingSignal() == 0;) {
        take(playback::CopyShownFrame(canvas, source), {});
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

// Every frame from the start on, as the capture batch takes them: consecutive,
// the video restarting at its end. False when no frame lies at the start.
bool TakeConsecutive(const Settings& settings, playback::Canvas& canvas, CDShow& source,
                     const TakeFrame& take) {
    source.Play();
    if (settings.startMs > 0)
        source.SeekMs(settings.startMs);
    source.Render(canvas.Surface(), canvas.Rect(), CDShow::FetchWait::UntilNextFrame);
    // A stream that ends at once holds no frame there: nothing is taken,
    // rather than a picture the video does not hold.
    if (!source.IsPlaying())
        return false;
    // The report, the comment segments and the metadata give every frame's
    // number.
    if (settings.report || settings.provenance || settings.metadata)
        source.WaitForFrameNumbers();
    for (int i = 0; i < settings.count && InterruptingSignal() == 0; ++i)
        take(playback::CaptureFrame(canvas, source, canvas.Rect()), {});
    return true;
}

} // namespace

namespace {

// `given` × shown[side] ÷ shown[other side], to the nearest pixel, 1 at least.
int OtherSide(int given, int sideShown, int otherShown) {
    const double exact = double(given) * otherShown / std::max(sideShown, 1);
    return std::clamp(static_cast<int>(std::lround(exact)), 1, picture::kMaxSide);
}

} // namespace

std::pair<int, int> OutputSize(const Settings& settings, int width, int height,
                               Fraction sampleAspect) {
    if (!settings.nativeSize && settings.givenSide == GivenSide::Both)
        return {settings.width, settings.height};
    const auto [shownWidth, shownHeight] =
        media::DisplaySize(width, height, {sampleAspect.num, sampleAspect.den});
    if (settings.nativeSize)
        return {shownWidth, shownHeight};
    if (settings.givenSide == GivenSide::Width)
        return {settings.width, OtherSide(settings.width, shownWidth, shownHeight)};
    return {OtherSide(settings.height, shownHeight, shownWidth), settings.height};
}

namespace {

// The file as it lies on disk: its size, and its digest for the report.
void DescribeFile(const fs::path& video, const Settings& settings, VideoRecord& record) {
    record.path = video.string();
    std::error_code error;
    if (const auto bytes = fs::file_size(video, error); !error)
        record.bytes = bytes;
    // A pipe is not read here: it would block without a writer, or be used up.
    if ((settings.report || settings.metadata) && fs::is_regular_file(video, error))
        record.sha256 = Sha256OfFile(video).value_or("");
}

// The video stream as the file describes it, and the size written.
void DescribeVideo(const media::VideoFormat& format, const Settings& settings,
                   VideoRecord& record) {
    record.codec = format.codec;
    record.width = format.width;
    record.height = format.height;
    record.rotation = format.rotation;
    record.mirrored = format.mirrored;
    record.sampleAspect = Reduced(format.sampleAspect.num, format.sampleAspect.den);
    record.displayAspect = DisplayAspect(format.width, format.height, record.sampleAspect);
    std::tie(record.outputWidth, record.outputHeight) =
        OutputSize(settings, format.width, format.height, record.sampleAspect);
}

playback::VideoSourceOptions SourceOptions(const Settings& settings) {
    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    // Nothing steps back here: no memory for recent frames beyond the newest.
    options.frameCacheBytes = 0;
    options.deinterlace = settings.deinterlace;
    options.keyframesOnly = settings.keyframes;
    if (!settings.paced)
        options.timeSource = std::make_shared<media::FreeRunningTimeSource>();
    return options;
}

// The label band under pictures of `width`, as the program stamps it; drawn
// here, on the thread that runs Qt.
std::optional<images::LabelBand> BandFor(const std::optional<QString>& label, int width) {
    if (!label)
        return std::nullopt;
    return images::RenderLabelBand(*label, width, playback::LabelBandRowsFor(width));
}

// With --metadata, what the video's pictures carry of it.
std::optional<FrameMetadata> MetadataFor(const Settings& settings, const fs::path& video,
                                         const VideoRecord& record,
                                         const media::VideoFormat& format) {
    if (!settings.metadata)
        return std::nullopt;
    return FrameMetadata({video.filename().string(), record.sha256, format.creationTime,
                          Reduced(format.timeBase.num, format.timeBase.den)});
}

// Names, records and hands to the writer every frame taken from one video;
// with --list, records it only.
class FrameTaker {
public:
    // With a sheet, the frames go onto it rather than into files of their
    // own, and the band is the sheet's width.
    FrameTaker(const fs::path& video, const fs::path& folder, const media::Ratio& timeBase,
               int width, std::optional<FrameMetadata> metadata, GrabContext& context,
               ContactSheetSink* sheet = nullptr)
        : video_(video)
        , folder_(folder)
        , timeBase_(timeBase)
        , metadata_(std::move(metadata))
        , context_(context)
        , used_(context.usedNames[folder])
        , sheet_(sheet)
        , writer_(BandFor(context.label, sheet ? sheet->Width() : width), context.settings.format) {}

    void operator()(playback::CapturedFrame frame, Choice choice) {
        if (sheet_ && sheet_->Full())
            return; // a selection that does not stop at --count: the sheet holds no more
        deinterlaced_ = deinterlaced_ || (frame.traits && frame.traits->deinterlaced);
        FrameRecord& record = frames_.emplace_back();
        DescribeFrame(frame, timeBase_, record);
        record.requested = std::move(choice.requested);
        record.sceneScore = choice.sceneScore;
        record.sharpness = choice.sharpness;
        const int place = choice.place.value_or(static_cast<int>(places_.size()));
        places_.push_back(place);
        if (context_.settings.report)
            MarkNearDuplicate(frame.picture, record);
        if (context_.progress)
            context_.progress->Frame(frame.number);
        if (sheet_) {
            Keep(std::move(frame.picture), record);
            return;
        }
        const NameValues values{video_.stem().string(), frame.timeMs, frame.time / 10,
                                frame.number,           place,        context_.settings.count};
        const std::optional<std::string> base = context_.names.Expand(values);
        if (context_.listing)
            return;
        if (!base) {
            record.error = "its frame number is not known";
            return;
        }
        const fs::path path =
            folder_ / (used_.Unique(*base) + std::string(images::FileExtension(
                                                 context_.settings.format.format)));
        record.file = path.string();
        Write(std::move(frame.picture), path, record);
    }

    // Writes the sheet, if any, and waits for the writer; the records of
    // every frame taken, by place.
    std::vector<FrameRecord> Finish() {
        if (sheet_ && !frames_.empty())
            WriteSheet();
        writer_.Finish();
        for (FrameRecord& record : frames_)
            if (sheet_ && !record.file.empty())
                CopyOutcome(sheetRecord_, record);
        std::vector<std::size_t> order(frames_.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return places_[a] < places_[b]; });
        std::vector<FrameRecord> records;
        records.reserve(order.size());
        for (const std::size_t i : order)
            records.push_back(std::move(frames_[i]));
        return records;
    }
    int Taken() const { return static_cast<int>(frames_.size()); }
    bool Deinterlaced() const { return deinterlaced_; }

private:
    void Keep(picture::Picture picture, FrameRecord& record) {
        if (!picture) {
            record.error = "out of memory";
            return;
        }
        if (context_.settings.report)
            record.pictureHash = PictureHash(picture);
        sheet_->Add(std::move(picture), record.ms);
    }

    // One file for every frame kept, "<video>-sheet" with the format's
    // extension; its comment names each frame as a file of its own would.
    void WriteSheet() {
        const Settings& settings = context_.settings;
        const fs::path path = folder_ / (used_.Unique(video_.stem().string() + "-sheet") +
                                         std::string(images::FileExtension(settings.format.format)));
        picture::Picture sheet = sheet_->Draw(playback::LabelBandRowsFor(sheet_->Width()));
        std::string comment;
        for (const FrameRecord& record : frames_)
            if (record.error.empty() && settings.provenance)
                comment += (comment.empty() ? "" : "\n") + Provenance(video_, record);
        for (FrameRecord& record : frames_)
            if (record.error.empty())
                record.file = path.string();
        sheetRecord_.file = path.string();
        if (!sheet)
            sheetRecord_.error = "the sheet, " + std::to_string(sheet_->Width()) +
                                 " pixels wide, does not fit in memory or in " +
                                 std::to_string(picture::kMaxSide) + " rows";
        else if (settings.skipExisting && fs::exists(path))
            sheetRecord_.skipped = true;
        else
            writer_.Add({std::move(sheet), path, comment, false, &sheetRecord_, {}});
    }

    static void CopyOutcome(const FrameRecord& sheet, FrameRecord& record) {
        record.written = sheet.written;
        record.skipped = sheet.skipped;
        record.error = sheet.error;
    }

    // Against the frame taken before; the grey copy is small and quick to
    // make, and the writers, which take frames in any order, never see two
    // frames together.
    void MarkNearDuplicate(const picture::Picture& picture, FrameRecord& record) {
        if (!picture) {
            before_.reset();
            return;
        }
        const picture::GreyCopy grey = picture::MakeGreyCopy(picture);
        record.nearDuplicate = before_ && picture::NearDuplicate(grey, *before_);
        before_ = grey;
    }

    void Write(picture::Picture picture, const fs::path& path, FrameRecord& record) {
        const Settings& settings = context_.settings;
        if (!picture) {
            record.error = "out of memory";
        } else if (settings.skipExisting && fs::exists(path)) {
            record.skipped = true;
            if (settings.report) {
                record.pictureHash = PictureHash(picture);
                if (!record.sharpness)
                    record.sharpness = picture::Sharpness(picture);
            }
        } else {
            const std::string comment =
                settings.provenance ? Provenance(video_, record) : std::string();
            writer_.Add({std::move(picture), path, comment, settings.report.has_value(), &record,
                         metadata_ ? metadata_->For(record) : images::PictureMetadata{}});
        }
    }

    const fs::path& video_;
    const fs::path folder_;
    const media::Ratio timeBase_;
    const std::optional<FrameMetadata> metadata_;
    GrabContext& context_;
    playback::NameMaker& used_;
    ContactSheetSink* const sheet_;
    FrameRecord sheetRecord_; // what became of the sheet, for every frame on it
    std::deque<FrameRecord> frames_; // writers fill records in place while more are added
    FrameWriter writer_;
    std::vector<int> places_; // each frame's, in the order taken
    bool deinterlaced_ = false;
    std::optional<picture::GreyCopy> before_;
};

} // namespace

VideoRecord GrabVideo(const fs::path& video, GrabContext& context) {
    const Settings& settings = context.settings;
    VideoRecord record;
    record.deinterlace = DeinterlaceName(settings.deinterlace);
    DescribeFile(video, settings, record);
    std::unique_ptr<platform::DisplayDevice> device;
    if (platform::DisplayDevice::Create(&device) != platform::DD_OK) {
        record.error = "cannot set up playback: no display device";
        return record;
    }
    CDShow source(SourceOptions(settings));
    if (playback::OpenResult opened = source.Open(video, device.get()); !opened) {
        record.error = std::move(opened.cause);
        return record;
    }
    const media::VideoFormat format = source.Format();
    DescribeVideo(format, settings, record);
    // A sheet's frames are taken at the size of its cells, in the video's shape.
    std::optional<ContactSheetSink> sheet;
    if (settings.Sheet()) {
        const auto [shownWidth, shownHeight] =
            media::DisplaySize(format.width, format.height, format.sampleAspect);
        sheet.emplace(settings, shownWidth, shownHeight,
                      SheetHeader(record, source.Duration(), format.frameRate));
        record.outputWidth = sheet->CellWidth();
        record.outputHeight = sheet->CellHeight();
    }
    auto made = playback::Canvas::Create(*device, record.outputWidth, record.outputHeight);
    if (const auto* why = std::get_if<std::string>(&made)) {
        record.error = "cannot set up playback: " + *why;
        return record;
    }
    playback::Canvas& canvas = std::get<playback::Canvas>(made);
    if (context.names.UsesFrameNumbers() && !source.WaitForFrameNumbers()) {
        record.error = "its frames could not be counted, which {frame} needs";
        return record;
    }
    // Made only for a video that opened, and before any frame is decoded.
    fs::path folder = settings.outputDirectory;
    if (settings.perVideo && !context.listing) {
        folder /= context.perVideoFolders.Unique(PerVideoFolderName(video));
        if (std::string why = MakeWritableFolder(folder); !why.empty()) {
            record.error = std::move(why);
            return record;
        }
    }

    FrameTaker take(video, folder, format.timeBase, record.outputWidth,
                    MetadataFor(settings, video, record, format), context,
                    sheet ? &*sheet : nullptr);
    bool startFound = false;
    std::vector<Unanswered> unanswered;
    std::string scanError;
    if (!settings.requests.empty()) {
        TakeRequested(settings, canvas, source, std::ref(take), unanswered);
        startFound = true;
    } else if (settings.keyframes) {
        source.WaitForFrameNumbers();
        startFound = TakeKeyframes(settings, canvas, source, std::ref(take));
    } else if (settings.sceneThreshold) {
        source.WaitForFrameNumbers();
        startFound = TakeScenes(video, settings, canvas, source, std::ref(take), scanError);
    } else if (settings.bestOf > 0) {
        source.WaitForFrameNumbers();
        startFound = TakeBestOf(settings, canvas, source, std::ref(take));
    } else if (settings.Sampling()) {
        source.WaitForFrameNumbers();
        startFound = TakeSampled(settings, canvas, source, std::ref(take));
    } else if (settings.Sheet()) {
        startFound = TakeEvenlySpaced(settings, canvas, source, std::ref(take));
    } else {
        startFound = TakeConsecutive(settings, canvas, source, std::ref(take));
    }
    record.frames = take.Finish();
    PlaceUnanswered(record.frames, std::move(unanswered));
    record.deinterlaced = take.Deinterlaced();
    record.interrupted = InterruptingSignal() != 0 &&
                         (settings.Sampling() || take.Taken() < settings.count);
    source.Close();
    if (!scanError.empty())
        record.error = std::move(scanError);
    else if (!startFound)
        record.error = NothingFrom(settings.startMs);
    // Frames asked for by name, keyframes, shots and picks by time lie at no
    // fixed step: only repeats are checked.
    const bool anyStep = settings.interval || !settings.requests.empty() || settings.keyframes ||
                         settings.sceneThreshold || settings.bestOf > 0 ||
                         (settings.Sheet() && !settings.Sampling());
    const std::optional<std::int64_t> numberStep =
        anyStep ? std::nullopt : std::optional<std::int64_t>(settings.every);
    MarkChecks(record.frames, numberStep, Reduced(format.timeBase.num, format.timeBase.den));
    if (context.listing) {
        for (const FrameRecord& frame : record.frames) {
            if (frame.error.empty())
                *context.listing << ListLine(record.path, frame) << '\n';
        }
        context.listing->flush();
    }
    return record;
}

} // namespace grab
