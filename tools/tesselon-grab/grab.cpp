#include "grab.h"

#include "grab_report.h"
#include "name_template.h"
#include "progress_line.h"
#include "video_grab.h"

#include "images/label_band.h"
#include "platform/dialogs.h"

#include <filesystem>
#include <ostream>

namespace grab {

namespace {

// "wrote 60 of 60 frames, first 0 ms, last 2360 ms"
void Summarise(const VideoRecord& video, bool named, std::ostream& out) {
    if (named)
        out << video.path << ": ";
    if (!video.error.empty()) {
        out << "not grabbed\n";
        return;
    }
    int written = 0;
    for (const FrameRecord& frame : video.frames)
        written += frame.written || frame.skipped ? 1 : 0;
    out << "wrote " << written << " of " << video.frames.size() << " frames";
    if (!video.frames.empty())
        out << ", first " << static_cast<long long>(video.frames.front().ms) << " ms, last "
            << static_cast<long long>(video.frames.back().ms) << " ms";
    out << '\n';
}

// Names each failure; true when there was none.
bool ReportFailures(const VideoRecord& video, const Settings& settings, std::ostream& errors) {
    bool clean = true;
    if (!video.error.empty()) {
        errors << video.path << ": " << video.error << '\n';
        return false;
    }
    for (const FrameRecord& frame : video.frames) {
        if (frame.error.empty())
            continue;
        clean = false;
        errors << video.path << ": could not write "
               << (frame.file.empty() ? "frame at " + std::to_string(frame.ms) + " ms" : frame.file)
               << ": " << frame.error << '\n';
    }
    // A consecutive burst that ended early lost frames.
    if (!settings.Sampling() && static_cast<int>(video.frames.size()) < settings.count) {
        errors << video.path << ": only " << video.frames.size() << " of " << settings.count
               << " frames taken\n";
        clean = false;
    }
    return clean;
}

} // namespace

int Run(const Settings& settings, std::ostream& out, std::ostream& errors,
        ProgressStyle progressStyle) {
    std::string templateError;
    const auto names = NameTemplate::Parse(settings.nameTemplate, templateError);
    if (!names) {
        errors << templateError << '\n';
        return kExitUsage;
    }
    platform::ScriptedDialogs dialogs; // message boxes become lines of output
    std::optional<tesselon::images::LabelBand> band;
    if (settings.label)
        band = tesselon::images::RenderLabelBand(QString::fromStdString(*settings.label));
    const int videoCount = static_cast<int>(settings.videos.size());
    std::optional<ProgressLine> progress;
    if (progressStyle != ProgressStyle::None)
        progress.emplace(errors, progressStyle == ProgressStyle::InPlace, videoCount,
                         settings.count);
    GrabContext context{settings, *names, band, dialogs, progress ? &*progress : nullptr};

    Report report;
    bool clean = true;
    for (int i = 0; i < videoCount; ++i) {
        const auto& video = settings.videos[static_cast<std::size_t>(i)];
        if (progress)
            progress->StartVideo(i + 1, video.filename().string());
        VideoRecord record = GrabVideo(video, context);
        if (progress) {
            progress->EndVideo();
            if (progressStyle == ProgressStyle::InPlace)
                progress->Finish(); // failures and summaries start on a line of their own
        }
        clean = ReportFailures(record, settings, errors) && clean;
        Summarise(record, videoCount > 1, out);
        report.videos.push_back(std::move(record));
    }
    if (progress)
        progress->Finish();
    if (settings.report) {
        std::string error;
        std::error_code ignored; // a folder that cannot be made fails the write below
        if (settings.report->has_parent_path())
            std::filesystem::create_directories(settings.report->parent_path(), ignored);
        if (!WriteReport(report, *settings.report, error)) {
            errors << "could not write the report " << settings.report->string() << ": " << error
                   << '\n';
            clean = false;
        }
    }
    return clean ? kExitAllWritten : kExitSomeFailed;
}

int MergeReportFiles(const Settings& settings, std::ostream& errors) {
    std::vector<Report> reports;
    bool clean = true;
    for (const auto& input : settings.mergeInputs) {
        std::string error;
        if (auto report = ReadReport(input, error)) {
            reports.push_back(std::move(*report));
        } else {
            errors << "could not read the report " << input.string() << ": " << error << '\n';
            clean = false;
        }
    }
    std::string error;
    if (!WriteReport(MergeReports(std::move(reports)), *settings.mergeOutput, error)) {
        errors << "could not write the report " << settings.mergeOutput->string() << ": " << error
               << '\n';
        clean = false;
    }
    return clean ? kExitAllWritten : kExitSomeFailed;
}

} // namespace grab
