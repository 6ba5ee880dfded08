#include "grab.h"

#include "grab_report.h"
#include "interruption.h"
#include "name_template.h"
#include "output_folder.h"
#include "progress_line.h"
#include "video_grab.h"


#include <csignal>
#include <filesystem>
#include <map>
#include <ostream>

#include <sys/stat.h>

namespace grab {

namespace {

// "wrote 60 of 60 frames, first 0 ms, last 2360 ms"; frames left as they
// were by --skip-existing are counted apart: "wrote 0 of 60 frames, 60 skipped, ...".
void Summarise(const VideoRecord& video, bool named, std::ostream& out) {
    if (named)
        out << video.path << ": ";
    if (!video.error.empty()) {
        out << "not grabbed\n";
        return;
    }
    if (video.interrupted && video.frames.empty()) {
        out << "interrupted before any frame was taken\n";
        return;
    }
    const Totals totals = TotalsOf(video);
    out << "wrote " << totals.framesWritten << " of " << video.frames.size() << " frames";
    if (totals.framesSkipped > 0)
        out << ", " << totals.framesSkipped << " skipped";
    if (!video.frames.empty())
        out << ", first " << static_cast<long long>(video.frames.front().ms) << " ms, last "
            << static_cast<long long>(video.frames.back().ms) << " ms";
    if (video.deinterlaced)
        out << ", deinterlaced";
    if (video.interrupted)
        out << ", interrupted";
    out << '\n';
}

// Names each failure; true when there was none.
bool ReportFailures(const VideoRecord& video, const Settings& settings, std::ostream& errors) {
    bool clean = true;
    if (!video.error.empty()) {
        errors << video.path << ": not grabbed: " << video.error << '\n';
        return false;
    }
    for (const FrameRecord& frame : video.frames) {
        if (frame.error.empty())
            continue;
        clean = false;
        // A request no frame answers names itself in its error.
        if (frame.file.empty() && !frame.requested.empty())
            errors << video.path << ": " << frame.error << '\n';
        else
            errors << video.path << ": could not write "
                   << (frame.file.empty() ? "frame at " + std::to_string(frame.ms) + " ms"
                                          : frame.file)
                   << ": " << frame.error << '\n';
    }
    // A consecutive burst that ended early lost frames; one that was
    // interrupted is said so once for the run.
    // A sheet's even picks on a short video may meet one frame twice.
    if (!settings.Sampling() && !settings.Sheet() && !video.interrupted &&
        static_cast<int>(video.frames.size()) < settings.count) {
        errors << video.path << ": only " << video.frames.size() << " of " << settings.count
               << " frames taken\n";
        clean = false;
    }
    return clean;
}

ProgressLine::Form ProgressForm(ProgressStyle style) {
    switch (style) {
    case ProgressStyle::Json:
        return ProgressLine::Form::Json;
    case ProgressStyle::InPlace:
        return ProgressLine::Form::InPlace;
    case ProgressStyle::Lines:
    case ProgressStyle::None:
        break;
    }
    return ProgressLine::Form::Lines;
}

// One file under two names, or one name twice. Only regular files are
// compared by identity: a terminal is both standard input and output.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a.lexically_normal() == b.lexically_normal())
        return true;
    struct stat first = {}, second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           S_ISREG(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// `--merge-reports reports/*.json` with OUT forgotten would replace the first
// report with the merge of the others: an OUT among the inputs, or a report
// not named by --merge-output, is refused. True when OUT may be written.
bool MergeOutputAllowed(const Settings& settings, std::ostream& errors) {
    const std::filesystem::path& output = *settings.mergeOutput;
    for (const auto& input : settings.mergeInputs) {
        if (SameFile(output, input)) {
            errors << output.string()
                   << " is also one of the reports to merge; name a new file for the merged "
                      "report: tesselon-grab --merge-reports NEW.json IN...\n";
            return false;
        }
    }
    std::string ignored;
    struct stat status = {};
    if (!settings.mergeOutputReplaces && ::stat(output.c_str(), &status) == 0 &&
        S_ISREG(status.st_mode) && ReadReport(output, ignored)) {
        errors << output.string()
               << " is already a report, and --merge-reports writes the merge into the first "
                  "file it is given. To replace that report, name it with --merge-output: "
                  "tesselon-grab --merge-output "
               << output.string() << " IN...\n";
        return false;
    }
    return true;
}

// Two reports of one video merge as two entries: said, not refused, since
// a second run over the same video may be what the user wants to compare.
void WarnAboutRepeatedVideos(const std::vector<Report>& reports,
                             const std::vector<std::filesystem::path>& inputs,
                             std::ostream& errors) {
    std::map<std::string, std::string> firstListedIn;
    for (std::size_t r = 0; r < reports.size(); ++r)
        for (const VideoRecord& video : reports[r].videos) {
            const auto [first, added] = firstListedIn.emplace(video.path, inputs[r].string());
            if (!added)
                errors << "warning: the video " << video.path << " is listed twice, in "
                       << first->second << " and in " << inputs[r].string() << '\n';
        }
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
    // A listing makes no folder.
    if (const std::string why = settings.list ? std::string()
                                              : MakeWritableFolder(settings.outputDirectory);
        !why.empty()) {
        errors << why << '\n';
        return kExitSomeFailed;
    }
    std::optional<QString> label;
    if (settings.label)
        label = QString::fromStdString(*settings.label);
    const int videoCount = static_cast<int>(settings.videos.size());
    std::optional<ProgressLine> progress;
    if (progressStyle != ProgressStyle::None)
        progress.emplace(errors, ProgressForm(progressStyle), videoCount, settings.count);
    GrabContext context{settings, *names, label, progress ? &*progress : nullptr};
    // The listing is standard output: no summary goes there.
    if (settings.list)
        context.listing = &out;

    Report report;
    bool clean = true;
    for (int i = 0; i < videoCount; ++i) {
        const auto& video = settings.videos[static_cast<std::size_t>(i)];
        if (InterruptingSignal() != 0) {
            // Listed, so that the report names every video the run was given.
            VideoRecord notStarted;
            notStarted.path = video.string();
            notStarted.interrupted = true;
            notStarted.deinterlace = DeinterlaceName(settings.deinterlace);
            if (!settings.list)
                Summarise(notStarted, videoCount > 1, out);
            report.videos.push_back(std::move(notStarted));
            continue;
        }
        if (progress)
            progress->StartVideo(i + 1, video.filename().string());
        VideoRecord record = GrabVideo(video, context);
        if (progress) {
            progress->EndVideo();
            if (progressStyle == ProgressStyle::InPlace)
                progress->Finish(); // failures and summaries start on a line of their own
        }
        clean = ReportFailures(record, settings, errors) && clean;
        if (!settings.list)
            Summarise(record, videoCount > 1, out);
        report.videos.push_back(std::move(record));
    }
    if (progress)
        progress->Finish();
    const int signal = InterruptingSignal();
    if (signal != 0)
        errors << "interrupted by " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
               << ": the frames taken are written, the rest are not\n";
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
    if (signal != 0)
        return InterruptedExitStatus(signal);
    return clean ? kExitAllWritten : kExitSomeFailed;
}

int MergeReportFiles(const Settings& settings, std::ostream& errors) {
    if (!MergeOutputAllowed(settings, errors))
        return kExitUsage;
    std::vector<Report> reports;
    std::vector<std::filesystem::path> read;
    bool clean = true;
    for (const auto& input : settings.mergeInputs) {
        std::string error;
        std::optional<Report> report;
        try {
            report = ReadReport(input, error);
        } catch (const std::bad_alloc&) {
            error = input.string() + ": not enough memory to read it";
        }
        if (report) {
            reports.push_back(std::move(*report));
            read.push_back(input);
        } else {
            errors << "could not read the report " << input.string() << ": " << error << '\n';
            clean = false;
        }
    }
    WarnAboutRepeatedVideos(reports, read, errors);
    std::string error;
    if (!WriteReport(MergeReports(std::move(reports)), *settings.mergeOutput, error)) {
        errors << "could not write the report " << settings.mergeOutput->string() << ": " << error
               << '\n';
        clean = false;
    }
    return clean ? kExitAllWritten : kExitSomeFailed;
}

} // namespace grab
