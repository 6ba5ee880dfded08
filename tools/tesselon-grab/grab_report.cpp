#include "grab_report.h"

#include "report_csv.h"
#include "report_json.h"

#include "files/output_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace grab {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() {
    return std::error_code(errno, std::generic_category()).message();
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsCsvName(const fs::path& path) {
    return Lower(path.extension().string()) == ".csv";
}

// ---- Files.

// Reads at most kMaxReportBytes; a larger file, or a device or pipe that
// gives more, is refused rather than read until memory runs out.
bool ReadWholeFile(const fs::path& path, std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + path.string() + ": " + ErrnoText();
        return false;
    }
    const auto tooLarge = [&] {
        error = path.string() + ": larger than " + std::to_string(kMaxReportBytes >> 20) +
                " MB, more than a report holds";
        ::close(fd);
        return false;
    };
    struct stat status = {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uintmax_t>(status.st_size) > kMaxReportBytes)
        return tooLarge();
    char buffer[1 << 16];
    for (;;) {
        if (text.size() > kMaxReportBytes)
            return tooLarge();
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = "cannot read " + path.string() + ": " + ErrnoText();
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text;
}

} // namespace

Totals TotalsOf(const VideoRecord& video) {
    Totals totals;
    totals.videos = 1;
    for (const FrameRecord& frame : video.frames) {
        totals.framesWritten += frame.written;
        totals.framesSkipped += frame.skipped;
        totals.framesFailed += !frame.error.empty();
        totals.gaps += frame.gap;
        totals.repeats += frame.repeat;
        totals.irregularSteps += frame.irregularStep;
    }
    totals.videosFailed = !video.error.empty() || totals.framesFailed > 0;
    totals.videosInterrupted = video.interrupted;
    return totals;
}

Totals TotalsOf(const std::vector<VideoRecord>& videos) {
    Totals sum;
    for (const VideoRecord& video : videos) {
        const Totals one = TotalsOf(video);
        sum.videos += one.videos;
        sum.videosFailed += one.videosFailed;
        sum.videosInterrupted += one.videosInterrupted;
        sum.framesWritten += one.framesWritten;
        sum.framesSkipped += one.framesSkipped;
        sum.framesFailed += one.framesFailed;
        sum.gaps += one.gaps;
        sum.repeats += one.repeats;
        sum.irregularSteps += one.irregularSteps;
    }
    return sum;
}

bool WriteReport(const Report& report, const fs::path& path, std::string& error) {
    // Synced: after a crash the report is the old one or the whole new one.
    const int failure = files::WriteWholeFile(
        path, IsCsvName(path) ? ToCsv(report) : ToJson(report), files::Durability::Synced);
    if (failure != 0)
        error = "cannot write " + path.string() + ": " +
                std::error_code(failure, std::generic_category()).message();
    return failure == 0;
}

std::optional<Report> ReadReport(const fs::path& path, std::string& error) {
    std::string whole;
    if (!ReadWholeFile(path, whole, error))
        return std::nullopt;
    const std::string_view text = WithoutByteOrderMark(whole);
    const auto content = text.find_first_not_of(" \t\r\n");
    if (content == std::string_view::npos) {
        error = path.string() + ": empty file";
        return std::nullopt;
    }
    const std::string extension = Lower(path.extension().string());
    const bool csv = extension == ".csv" || (extension != ".json" && text[content] != '{');
    std::string why;
    auto report = csv ? ParseCsvReport(text, why) : ParseJsonReport(text, why);
    if (!report)
        error = path.string() + ": " + why;
    return report;
}

Report MergeReports(std::vector<Report> reports) {
    Report merged;
    for (Report& report : reports)
        for (VideoRecord& video : report.videos)
            merged.videos.push_back(std::move(video));
    return merged;
}

} // namespace grab
