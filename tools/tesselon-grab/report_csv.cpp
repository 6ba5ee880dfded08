#include "report_csv.h"

#include "report_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace grab {

namespace {

// ---- CSV.

constexpr std::array<const char*, 33> kColumns = {
    "video",         "path",         "bytes",         "sha256",      "codec",        "width",
    "height",        "sampleAspect", "displayAspect", "outputWidth", "outputHeight", "videoError",
    "interrupted",   "file",         "time",          "ms",          "frame",        "keyFrame",
    "pictureType",   "written",      "skipped",       "error",       "gap",          "repeat",
    "irregularStep", "rotation",     "mirrored",      "deinterlace", "deinterlaced", "requested",
    "sceneScore",    "sharpness",    "nearDuplicate"};
// Reports of earlier versions lack the columns added since: they read as empty.
constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
enum Column {
    kVideo,
    kPath,
    kBytes,
    kSha256,
    kCodec,
    kWidth,
    kHeight,
    kSampleAspect,
    kDisplayAspect,
    kOutputWidth,
    kOutputHeight,
    kVideoError,
    kInterrupted,
    kFile,
    kTime,
    kMs,
    kFrame,
    kKeyFrame,
    kPictureType,
    kWritten,
    kSkipped,
    kError,
    kGap,
    kRepeat,
    kIrregularStep,
    kRotation,
    kMirrored,
    kDeinterlace,
    kDeinterlaced,
    kRequested,
    kSceneScore,
    kSharpness,
    kNearDuplicate,
};

void AppendCsvField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void AppendCsvRow(std::string& out, const std::array<std::string, kColumns.size()>& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            out += ',';
        AppendCsvField(out, row[i]);
    }
    out += "\r\n";
}

template <typename Number> std::string NumberText(Number value) {
    std::string text;
    AppendNumber(text, value);
    return text;
}

std::string BoolText(bool value) {
    return value ? "true" : "false";
}

// Splits RFC 4180 text into records; a record ends at CRLF or a bare LF.
std::optional<std::vector<std::vector<std::string>>> SplitCsv(std::string_view text,
                                                              std::string& error) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::size_t i = 0;
    const std::size_t n = text.size();
    const auto atLineEnd = [&](std::size_t at) {
        return text[at] == '\n' || (text[at] == '\r' && at + 1 < n && text[at + 1] == '\n');
    };
    const auto fail = [&](const char* what) {
        error = "row " + std::to_string(records.size() + 1) + ": " + what;
        return std::nullopt;
    };
    while (i < n) {
        std::string field;
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= n)
                    return fail("a quoted field is not closed");
                const char c = text[i++];
                if (c == '"') {
                    if (i < n && text[i] == '"')
                        ++i;
                    else
                        break;
                }
                field += c;
            }
            if (i < n && text[i] != ',' && !atLineEnd(i))
                return fail("text after a closing quote");
        } else {
            while (i < n && text[i] != ',' && !atLineEnd(i)) {
                if (text[i] == '"')
                    return fail("a quote inside an unquoted field");
                field += text[i++];
            }
        }
        record.push_back(std::move(field));
        if (i < n && text[i] == ',') {
            ++i;
            if (i == n)
                record.emplace_back(); // "a," ends with an empty field
            continue;
        }
        if (i < n)
            i += text[i] == '\r' ? 2 : 1;
        records.push_back(std::move(record));
        record.clear();
    }
    if (!record.empty())
        records.push_back(std::move(record));
    return records;
}

class CsvReader {
public:
    CsvReader(const std::vector<std::string>& row,
              const std::array<std::size_t, kColumns.size()>& at, std::size_t rowNumber,
              std::string& error)
        : row_(row)
        , at_(at)
        , rowNumber_(rowNumber)
        , error_(error) {}

    const std::string& Text(Column column) const {
        static const std::string absent;
        return at_[column] == kAbsent ? absent : row_[at_[column]];
    }
    template <typename Number> Number Whole(Column column) {
        Number value{};
        if (!ParseWhole(Text(column), value))
            Fail(column, "is not a whole number in range");
        return value;
    }
    template <typename Number> std::optional<Number> OptionalWhole(Column column) {
        if (Text(column).empty())
            return std::nullopt;
        return Whole<Number>(column);
    }
    int Size(Column column) {
        const int value = Whole<int>(column);
        if (value < 0)
            Fail(column, "is negative");
        return value;
    }
    double Double(Column column) {
        double value = 0;
        if (!ParseWhole(Text(column), value))
            Fail(column, "is not a number");
        return value;
    }
    std::optional<double> OptionalDouble(Column column) {
        if (Text(column).empty())
            return std::nullopt;
        return Double(column);
    }
    bool Bool(Column column) {
        if (Text(column) != "true" && Text(column) != "false")
            Fail(column, "is not true or false");
        return Text(column) == "true";
    }
    std::optional<bool> OptionalBool(Column column) {
        if (Text(column).empty())
            return std::nullopt;
        return Bool(column);
    }
    Fraction FractionField(Column column) {
        const auto fraction = ParseFraction(Text(column));
        if (!fraction)
            Fail(column, "is not a fraction");
        return fraction.value_or(Fraction{});
    }
    void Fail(Column column, const char* what) {
        if (error_.empty())
            error_ = "row " + std::to_string(rowNumber_) + ": \"" + kColumns[column] + "\" " + what;
    }

private:
    const std::vector<std::string>& row_;
    const std::array<std::size_t, kColumns.size()>& at_;
    std::size_t rowNumber_;
    std::string& error_;
};

VideoRecord ReadCsvVideo(CsvReader& read) {
    VideoRecord video;
    video.path = read.Text(kPath);
    if (const auto bytes = read.OptionalWhole<std::uintmax_t>(kBytes))
        video.bytes = *bytes;
    video.sha256 = read.Text(kSha256);
    video.codec = read.Text(kCodec);
    video.width = read.Size(kWidth);
    video.height = read.Size(kHeight);
    video.sampleAspect = read.FractionField(kSampleAspect);
    video.displayAspect = read.FractionField(kDisplayAspect);
    video.outputWidth = read.Size(kOutputWidth);
    video.outputHeight = read.Size(kOutputHeight);
    video.error = read.Text(kVideoError);
    video.interrupted = !read.Text(kInterrupted).empty() && read.Bool(kInterrupted);
    video.rotation = read.OptionalWhole<int>(kRotation).value_or(0);
    video.mirrored = !read.Text(kMirrored).empty() && read.Bool(kMirrored);
    video.deinterlace = read.Text(kDeinterlace);
    video.deinterlaced = !read.Text(kDeinterlaced).empty() && read.Bool(kDeinterlaced);
    return video;
}

FrameRecord ReadCsvFrame(CsvReader& read) {
    FrameRecord frame;
    frame.file = read.Text(kFile);
    frame.time = read.FractionField(kTime);
    frame.ms = read.Double(kMs);
    frame.frame = read.OptionalWhole<std::int64_t>(kFrame);
    frame.keyFrame = read.OptionalBool(kKeyFrame);
    frame.pictureType = read.Text(kPictureType);
    frame.written = read.Bool(kWritten);
    frame.skipped = read.Bool(kSkipped);
    frame.error = read.Text(kError);
    frame.gap = read.Bool(kGap);
    frame.repeat = read.Bool(kRepeat);
    frame.irregularStep = read.Bool(kIrregularStep);
    frame.requested = read.Text(kRequested);
    frame.sceneScore = read.OptionalDouble(kSceneScore);
    frame.sharpness = read.OptionalDouble(kSharpness);
    frame.nearDuplicate = !read.Text(kNearDuplicate).empty() && read.Bool(kNearDuplicate);
    return frame;
}

} // namespace

std::string ToCsv(const Report& report) {
    std::string out;
    std::array<std::string, kColumns.size()> row;
    std::copy(kColumns.begin(), kColumns.end(), row.begin());
    AppendCsvRow(out, row);
    for (std::size_t v = 0; v < report.videos.size(); ++v) {
        const VideoRecord& video = report.videos[v];
        row.fill({});
        row[kVideo] = NumberText(v + 1);
        row[kPath] = video.path;
        row[kBytes] = video.bytes ? NumberText(*video.bytes) : "";
        row[kSha256] = video.sha256;
        row[kCodec] = video.codec;
        row[kWidth] = NumberText(video.width);
        row[kHeight] = NumberText(video.height);
        row[kSampleAspect] = ToString(video.sampleAspect);
        row[kDisplayAspect] = ToString(video.displayAspect);
        row[kOutputWidth] = NumberText(video.outputWidth);
        row[kOutputHeight] = NumberText(video.outputHeight);
        row[kVideoError] = video.error;
        row[kInterrupted] = BoolText(video.interrupted);
        row[kRotation] = NumberText(video.rotation);
        row[kMirrored] = BoolText(video.mirrored);
        row[kDeinterlace] = video.deinterlace;
        row[kDeinterlaced] = BoolText(video.deinterlaced);
        if (video.frames.empty())
            AppendCsvRow(out, row);
        for (const FrameRecord& frame : video.frames) {
            row[kFile] = frame.file;
            row[kTime] = ToString(frame.time);
            row[kMs] = NumberText(frame.ms);
            row[kFrame] = frame.frame ? NumberText(*frame.frame) : "";
            row[kKeyFrame] = frame.keyFrame ? BoolText(*frame.keyFrame) : "";
            row[kPictureType] = frame.pictureType;
            row[kWritten] = BoolText(frame.written);
            row[kSkipped] = BoolText(frame.skipped);
            row[kError] = frame.error;
            row[kGap] = BoolText(frame.gap);
            row[kRepeat] = BoolText(frame.repeat);
            row[kIrregularStep] = BoolText(frame.irregularStep);
            row[kRequested] = frame.requested;
            row[kSceneScore] = frame.sceneScore ? NumberText(*frame.sceneScore) : "";
            row[kSharpness] = frame.sharpness ? NumberText(*frame.sharpness) : "";
            row[kNearDuplicate] = frame.nearDuplicate ? "true" : "";
            AppendCsvRow(out, row);
        }
    }
    return out;
}

std::optional<Report> ParseCsvReport(std::string_view text, std::string& error) {
    error.clear();
    auto records = SplitCsv(text, error);
    if (!records)
        return std::nullopt;
    if (records->empty()) {
        error = "no header line";
        return std::nullopt;
    }
    const std::vector<std::string>& header = records->front();
    std::array<std::size_t, kColumns.size()> at{};
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        const auto found = std::find(header.begin(), header.end(), kColumns[c]);
        // interrupted, and every column from rotation on, came in later versions
        const bool added = c == kInterrupted || c >= kRotation;
        if (found == header.end() && added) {
            at[c] = kAbsent;
            continue;
        }
        if (found == header.end()) {
            error = "no \"" + std::string(kColumns[c]) + "\" column";
            return std::nullopt;
        }
        at[c] = static_cast<std::size_t>(found - header.begin());
    }
    Report report;
    bool lastWithoutFrames = false;
    for (std::size_t r = 1; r < records->size(); ++r) {
        const std::vector<std::string>& row = (*records)[r];
        const std::string where = "row " + std::to_string(r + 1);
        if (row.size() != header.size()) {
            error = where + " has " + std::to_string(row.size()) + " fields, the header " +
                    std::to_string(header.size());
            return std::nullopt;
        }
        CsvReader read(row, at, r + 1, error);
        const auto number = read.Whole<std::size_t>(kVideo);
        if (!error.empty())
            return std::nullopt;
        const bool withoutFrame = read.Text(kTime).empty();
        if (number == report.videos.size() + 1) {
            report.videos.push_back(ReadCsvVideo(read));
        } else if (report.videos.empty() || number != report.videos.size() || lastWithoutFrames ||
                   withoutFrame) {
            error = where + ": video " + std::to_string(number) + " is out of order";
            return std::nullopt;
        }
        lastWithoutFrames = withoutFrame;
        if (!withoutFrame)
            report.videos.back().frames.push_back(ReadCsvFrame(read));
        if (!error.empty())
            return std::nullopt;
    }
    return report;
}

} // namespace grab
