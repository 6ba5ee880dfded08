#include "report_json.h"

#include "json_text.h"
#include "report_text.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

#include <cmath>
#include <cstdio>
#include <limits>

namespace grab {

namespace {

// ---- JSON writing. Written by hand (see report_json.h): the fields keep
// their order, frames fit one to a line, and 64-bit integers are never routed
// through a double.

// The length of the well-formed UTF-8 sequence at the start of text, or 0:
// no overlong forms, no surrogates, nothing past U+10FFFF (RFC 3629).
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

void AppendUnicodeEscape(std::string& out, unsigned unit) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", unit);
    out += escape;
}

} // namespace

// A byte that is not part of well-formed UTF-8 (a file name in another
// encoding) is written as the lone surrogate U+DC80 + (byte - 0x80), as
// "surrogate escape" schemes do: the JSON stays valid, and since well-formed
// UTF-8 never holds a surrogate, our reader maps it back to the same byte.
void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    while (!text.empty()) {
        const char c = text.front();
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            AppendUnicodeEscape(out, 0xDC00u + static_cast<unsigned char>(c));
            text.remove_prefix(1);
            continue;
        }
        if (length > 1) {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
            continue;
        }
        text.remove_prefix(1);
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
            if (static_cast<unsigned char>(c) < 0x20)
                AppendUnicodeEscape(out, static_cast<unsigned char>(c));
            else
                out += c;
        }
    }
    out += '"';
}

namespace {

// Qt's text back to bytes: UTF-8, but a lone surrogate U+DC80..U+DCFF is the
// byte AppendJsonString escaped.
std::string FromJsonText(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    qsizetype start = 0; // of the run of ordinary text not yet converted
    const auto flush = [&](qsizetype end) {
        bytes += QStringView(text).mid(start, end - start).toUtf8().toStdString();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(text[i - 1].unicode());
        if (unit >= 0xDC80 && unit <= 0xDCFF && !paired) {
            flush(i);
            bytes += static_cast<char>(unit - 0xDC00);
            start = i + 1;
        }
    }
    flush(text.size());
    return bytes;
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
    fields.Number("videosInterrupted", totals.videosInterrupted);
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
    // Written only when a selection set them, so other reports read as before.
    if (!frame.requested.empty())
        fields.String("requested", frame.requested);
    if (frame.sceneScore)
        fields.Double("sceneScore", *frame.sceneScore);
    if (frame.sharpness)
        fields.Double("sharpness", *frame.sharpness);
    if (frame.nearDuplicate)
        fields.Bool("nearDuplicate", true);
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
    fields.Bool("interrupted", video.interrupted);
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
    // Added since the first reports: after what those had.
    fields.Number("rotation", video.rotation);
    fields.Bool("mirrored", video.mirrored);
    fields.String("deinterlace", video.deinterlace);
    fields.Bool("deinterlaced", video.deinterlaced);
    out += "\n    }";
}

// ---- JSON reading, through Qt's parser, which keeps integers of up to 64
// bits exact and takes the lone surrogates the writer puts for bytes that
// are not UTF-8.

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
        return FromJsonText(value.toString());
    }
    bool Bool(const char* key) {
        const QJsonValue value = Field(key);
        if (!value.isBool() && !value.isUndefined())
            Fail(key, "is not true or false");
        return value.toBool();
    }
    // A field that reports of earlier versions do not hold.
    bool BoolOrFalse(const char* key) { return object_.contains(QLatin1String(key)) && Bool(key); }
    std::string StringOrEmpty(const char* key) {
        return object_.contains(QLatin1String(key)) ? String(key) : std::string();
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
    std::optional<double> OptionalDouble(const char* key) {
        if (!object_.contains(QLatin1String(key)))
            return std::nullopt;
        return Double(key);
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
    frame.requested = read.StringOrEmpty("requested");
    frame.sceneScore = read.OptionalDouble("sceneScore");
    frame.sharpness = read.OptionalDouble("sharpness");
    frame.nearDuplicate = read.BoolOrFalse("nearDuplicate");
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
    video.interrupted = read.BoolOrFalse("interrupted");
    video.rotation = static_cast<int>(read.OptionalInteger("rotation", 0).value_or(0));
    video.mirrored = read.BoolOrFalse("mirrored");
    const QJsonArray frames = read.Array("frames");
    for (qsizetype i = 0; i < frames.size() && error.empty(); ++i) {
        const std::string where = context + ", frame " + std::to_string(i + 1);
        if (!frames[i].isObject()) {
            error = where + ": not an object";
            break;
        }
        video.frames.push_back(ReadJsonFrame(frames[i].toObject(), where, error));
    }
    video.deinterlace = read.StringOrEmpty("deinterlace");
    video.deinterlaced = read.BoolOrFalse("deinterlaced");
    return video;
}

} // namespace

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

} // namespace grab
