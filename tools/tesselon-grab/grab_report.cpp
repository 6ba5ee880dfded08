#include "grab_report.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace grab {

namespace fs = std::filesystem;

namespace {

std::uint64_t Magnitude(std::int64_t value) {
    return value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                     : static_cast<std::uint64_t>(value);
}

template <typename Number> bool ParseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    return status == std::errc() && stop == end && !text.empty();
}

template <typename Number> void AppendNumber(std::string& out, Number value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

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

// ---- JSON writing. Written by hand: the fields keep their order, frames fit
// one to a line, and 64-bit integers are never routed through a double.

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

class JsonFields {
public:
    explicit JsonFields(std::string& out)
        : out_(out) {}

    void Key(std::string_view key) {
        if (!first_)
            out_ += separator_;
        first_ = false;
        AppendJsonString(out_, key);
        out_ += ": ";
    }
    void String(std::string_view key, std::string_view value) {
        Key(key);
        AppendJsonString(out_, value);
    }
    template <typename Value> void Number(std::string_view key, Value value) {
        Key(key);
        AppendNumber(out_, value);
    }
    void Double(std::string_view key, double value) {
        Key(key);
        if (std::isfinite(value))
            AppendNumber(out_, value); // shortest form that reads back to the same double
        else
            out_ += "null";
    }
    void Bool(std::string_view key, bool value) {
        Key(key);
        out_ += value ? "true" : "false";
    }
    template <typename Value>
    void Optional(std::string_view key, const std::optional<Value>& value) {
        if (!value) {
            Key(key);
            out_ += "null";
        } else if constexpr (std::is_same_v<Value, bool>) {
            Bool(key, *value);
        } else {
            Number(key, *value);
        }
    }
    void SetSeparator(std::string separator) { separator_ = std::move(separator); }

private:
    std::string& out_;
    std::string separator_ = ", ";
    bool first_ = true;
};

void AppendTotals(std::string& out, const Totals& totals) {
    out += '{';
    JsonFields fields(out);
    fields.Number("videos", totals.videos);
    fields.Number("videosFailed", totals.videosFailed);
    fields.Number("framesWritten", totals.framesWritten);
    fields.Number("framesSkipped", totals.framesSkipped);
    fields.Number("framesFailed", totals.framesFailed);
    fields.Number("gaps", totals.gaps);
    fields.Number("repeats", totals.repeats);
    fields.Number("irregularSteps", totals.irregularSteps);
    out += '}';
}

void AppendFrame(std::string& out, const FrameRecord& frame) {
    out += '{';
    JsonFields fields(out);
    fields.String("file", frame.file);
    fields.String("time", ToString(frame.time));
    fields.Double("ms", frame.ms);
    fields.Optional("frame", frame.frame);
    fields.Optional("keyFrame", frame.keyFrame);
    fields.String("pictureType", frame.pictureType);
    fields.Bool("written", frame.written);
    fields.Bool("skipped", frame.skipped);
    fields.String("error", frame.error);
    fields.Bool("gap", frame.gap);
    fields.Bool("repeat", frame.repeat);
    fields.Bool("irregularStep", frame.irregularStep);
    out += '}';
}

void AppendVideo(std::string& out, const VideoRecord& video) {
    const char* const indent = "\n      ";
    out += "{";
    out += indent;
    JsonFields fields(out);
    fields.SetSeparator(std::string(",") + indent);
    fields.String("path", video.path);
    fields.Optional("bytes", video.bytes);
    fields.String("sha256", video.sha256);
    fields.String("codec", video.codec);
    fields.Number("width", video.width);
    fields.Number("height", video.height);
    fields.String("sampleAspect", ToString(video.sampleAspect));
    fields.String("displayAspect", ToString(video.displayAspect));
    fields.Number("outputWidth", video.outputWidth);
    fields.Number("outputHeight", video.outputHeight);
    fields.String("error", video.error);
    fields.Key("frames");
    if (video.frames.empty()) {
        out += "[]";
    } else {
        out += '[';
        for (std::size_t i = 0; i < video.frames.size(); ++i) {
            out += i == 0 ? "\n        " : ",\n        ";
            AppendFrame(out, video.frames[i]);
        }
        out += "\n      ]";
    }
    fields.Key("totals");
    AppendTotals(out, TotalsOf(video));
    out += "\n    }";
}

// ---- JSON reading, through Qt's parser, which keeps integers of up to 64
// bits exact.

class JsonReader {
public:
    JsonReader(const QJsonObject& object, std::string context, std::string& error)
        : object_(object)
        , context_(std::move(context))
        , error_(error) {}

    std::string String(const char* key) {
        const QJsonValue value = Field(key);
        if (!value.isString() && !value.isUndefined())
            Fail(key, "is not a string");
        return value.toString().toStdString();
    }
    bool Bool(const char* key) {
        const QJsonValue value = Field(key);
        if (!value.isBool() && !value.isUndefined())
            Fail(key, "is not true or false");
        return value.toBool();
    }
    std::optional<bool> OptionalBool(const char* key) {
        const QJsonValue value = Field(key);
        if (value.isNull() || value.isUndefined())
            return std::nullopt;
        return Bool(key);
    }
    std::int64_t Integer(const char* key, std::int64_t low, std::int64_t high) {
        const QJsonValue value = Field(key);
        if (value.isUndefined())
            return 0;
        // toInteger() falls back to its argument for anything but a whole
        // number in range, so two different fallbacks tell it apart.
        const qint64 number = value.toInteger(0);
        if (!value.isDouble() || number != value.toInteger(1) || number < low || number > high) {
            Fail(key, "is not a whole number in range");
            return 0;
        }
        return number;
    }
    int Int(const char* key) {
        return static_cast<int>(Integer(key, 0, std::numeric_limits<int>::max()));
    }
    std::optional<std::int64_t> OptionalInteger(const char* key, std::int64_t low) {
        const QJsonValue value = Field(key);
        if (value.isNull() || value.isUndefined())
            return std::nullopt;
        return Integer(key, low, std::numeric_limits<std::int64_t>::max());
    }
    double Double(const char* key) {
        const QJsonValue value = Field(key);
        if (value.isNull())
            return std::numeric_limits<double>::quiet_NaN();
        if (!value.isDouble() && !value.isUndefined())
            Fail(key, "is not a number");
        return value.toDouble();
    }
    Fraction FractionField(const char* key) {
        const std::string text = String(key);
        const auto fraction = ParseFraction(text);
        if (!fraction && error_.empty())
            Fail(key, "is not a fraction");
        return fraction.value_or(Fraction{});
    }
    QJsonArray Array(const char* key) {
        const QJsonValue value = Field(key);
        if (!value.isArray() && !value.isUndefined())
            Fail(key, "is not a list");
        return value.toArray();
    }

private:
    QJsonValue Field(const char* key) {
        const QJsonValue value = object_.value(QLatin1String(key));
        if (value.isUndefined())
            Fail(key, "is missing");
        return value;
    }
    void Fail(const char* key, const char* what) {
        if (error_.empty())
            error_ = context_ + ": \"" + key + "\" " + what;
    }

    const QJsonObject& object_;
    std::string context_;
    std::string& error_;
};

FrameRecord ReadJsonFrame(const QJsonObject& object, const std::string& context,
                          std::string& error) {
    JsonReader read(object, context, error);
    FrameRecord frame;
    frame.file = read.String("file");
    frame.time = read.FractionField("time");
    frame.ms = read.Double("ms");
    frame.frame = read.OptionalInteger("frame", std::numeric_limits<std::int64_t>::min());
    frame.keyFrame = read.OptionalBool("keyFrame");
    frame.pictureType = read.String("pictureType");
    frame.written = read.Bool("written");
    frame.skipped = read.Bool("skipped");
    frame.error = read.String("error");
    frame.gap = read.Bool("gap");
    frame.repeat = read.Bool("repeat");
    frame.irregularStep = read.Bool("irregularStep");
    return frame;
}

VideoRecord ReadJsonVideo(const QJsonObject& object, const std::string& context,
                          std::string& error) {
    JsonReader read(object, context, error);
    VideoRecord video;
    video.path = read.String("path");
    if (const auto bytes = read.OptionalInteger("bytes", 0))
        video.bytes = static_cast<std::uintmax_t>(*bytes);
    video.sha256 = read.String("sha256");
    video.codec = read.String("codec");
    video.width = read.Int("width");
    video.height = read.Int("height");
    video.sampleAspect = read.FractionField("sampleAspect");
    video.displayAspect = read.FractionField("displayAspect");
    video.outputWidth = read.Int("outputWidth");
    video.outputHeight = read.Int("outputHeight");
    video.error = read.String("error");
    const QJsonArray frames = read.Array("frames");
    for (qsizetype i = 0; i < frames.size() && error.empty(); ++i) {
        const std::string where = context + ", frame " + std::to_string(i + 1);
        if (!frames[i].isObject()) {
            error = where + ": not an object";
            break;
        }
        video.frames.push_back(ReadJsonFrame(frames[i].toObject(), where, error));
    }
    return video;
}

// ---- CSV.

constexpr std::array<const char*, 24> kColumns = {
    "video",        "path",       "bytes",        "sha256",        "codec",
    "width",        "height",     "sampleAspect", "displayAspect", "outputWidth",
    "outputHeight", "videoError", "file",         "time",          "ms",
    "frame",        "keyFrame",   "pictureType",  "written",       "skipped",
    "error",        "gap",        "repeat",       "irregularStep"};
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

    const std::string& Text(Column column) const { return row_[at_[column]]; }
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
    return frame;
}

// ---- Files.

bool ReadWholeFile(const fs::path& path, std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + path.string() + ": " + ErrnoText();
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
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

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// The temporary file is hidden and does not end in the report's extension, so
// a merge globbing "*.json" beside runs still writing never picks one up.
bool WriteAtomically(const fs::path& path, std::string_view text, std::string& error) {
    static std::atomic<unsigned> counter{0};
    const auto fail = [&](const fs::path& temporary) {
        error = "cannot write " + path.string() + ": " + ErrnoText();
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        return false;
    };
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary =
            path.parent_path() / ("." + path.filename().string() + ".tmp-" +
                                  std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail({});
    // fsync before the rename: after a crash the report is the old one or the
    // whole new one, never an empty file.
    if (!WriteAll(fd, text) || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return fail(temporary);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0)
        return fail(temporary);
    return true;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text;
}

} // namespace

Fraction Reduced(std::int64_t num, std::int64_t den) {
    std::uint64_t top = Magnitude(num);
    std::uint64_t bottom = Magnitude(den);
    const std::uint64_t divisor = std::gcd(top, bottom);
    if (divisor > 1) {
        top /= divisor;
        bottom /= divisor;
    }
    const bool negative = top != 0 && ((num < 0) != (den < 0));
    const auto signedTop = static_cast<std::int64_t>(top);
    return {negative ? -signedTop : signedTop, static_cast<std::int64_t>(bottom)};
}

std::string ToString(Fraction fraction) {
    std::string text;
    AppendNumber(text, fraction.num);
    if (fraction.den != 1) {
        text += '/';
        AppendNumber(text, fraction.den);
    }
    return text;
}

std::optional<Fraction> ParseFraction(std::string_view text) {
    const auto slash = text.find('/');
    std::int64_t num = 0;
    std::int64_t den = 1;
    if (!ParseWhole(text.substr(0, slash), num) || num == std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    if (slash != std::string_view::npos && (!ParseWhole(text.substr(slash + 1), den) || den <= 0))
        return std::nullopt;
    return Reduced(num, den);
}

Fraction DisplayAspect(int width, int height, Fraction sampleAspect) {
    if (width <= 0 || height <= 0 || sampleAspect.num <= 0 || sampleAspect.den <= 0)
        return {0, 1};
    // Cancel across before multiplying, so only a result too big overflows.
    const Fraction size = Reduced(width, height);
    const std::int64_t a = std::gcd(size.num, sampleAspect.den);
    const std::int64_t b = std::gcd(sampleAspect.num, size.den);
    std::int64_t num = 0;
    std::int64_t den = 0;
    if (__builtin_mul_overflow(size.num / a, sampleAspect.num / b, &num) ||
        __builtin_mul_overflow(size.den / b, sampleAspect.den / a, &den))
        return {0, 1};
    return {num, den};
}

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
    return totals;
}

Totals TotalsOf(const std::vector<VideoRecord>& videos) {
    Totals sum;
    for (const VideoRecord& video : videos) {
        const Totals one = TotalsOf(video);
        sum.videos += one.videos;
        sum.videosFailed += one.videosFailed;
        sum.framesWritten += one.framesWritten;
        sum.framesSkipped += one.framesSkipped;
        sum.framesFailed += one.framesFailed;
        sum.gaps += one.gaps;
        sum.repeats += one.repeats;
        sum.irregularSteps += one.irregularSteps;
    }
    return sum;
}

std::string ToJson(const Report& report) {
    std::string out = "{\n  \"tool\": \"tesselon-grab\",\n  \"videos\": [";
    for (std::size_t i = 0; i < report.videos.size(); ++i) {
        out += i == 0 ? "\n    " : ",\n    ";
        AppendVideo(out, report.videos[i]);
    }
    out += report.videos.empty() ? "],\n" : "\n  ],\n";
    out += "  \"totals\": ";
    AppendTotals(out, TotalsOf(report.videos));
    out += "\n}\n";
    return out;
}

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
            AppendCsvRow(out, row);
        }
    }
    return out;
}

std::optional<Report> ParseJsonReport(std::string_view text, std::string& error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = "not JSON: " + parseError.errorString().toStdString() + " at byte " +
                std::to_string(parseError.offset);
        return std::nullopt;
    }
    const QJsonObject top = document.object();
    if (!document.isObject() ||
        top.value(QLatin1String("tool")).toString() != QLatin1String("tesselon-grab")) {
        error = "not a tesselon-grab report";
        return std::nullopt;
    }
    const QJsonValue videos = top.value(QLatin1String("videos"));
    if (!videos.isArray()) {
        error = "\"videos\" is missing or not a list";
        return std::nullopt;
    }
    Report report;
    error.clear();
    const QJsonArray list = videos.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const std::string where = "video " + std::to_string(i + 1);
        if (!list[i].isObject()) {
            error = where + ": not an object";
            return std::nullopt;
        }
        report.videos.push_back(ReadJsonVideo(list[i].toObject(), where, error));
        if (!error.empty())
            return std::nullopt;
    }
    return report;
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

bool WriteReport(const Report& report, const fs::path& path, std::string& error) {
    return WriteAtomically(path, IsCsvName(path) ? ToCsv(report) : ToJson(report), error);
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
