#include "grab_options.h"

#include "name_template.h"

#include "options/version.h"
#include "picture/picture.h"

#include <charconv>
#include <cstdlib>

namespace grab {

namespace {

const char* const kUsage = "usage: tesselon-grab [options] --out DIR VIDEO...\n"
                           "       tesselon-grab [options] VIDEO OUTDIR\n"
                           "       tesselon-grab --merge-reports OUT IN...\n"
                           "       tesselon-grab --merge-output OUT IN...\n"
                           "       tesselon-grab --help";

bool ParseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

bool ParseWhole(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

// Seconds as written ("0.5", "2", "0.0333333") in 100 ns units, exactly:
// a double would make 0.1 s a hair short, and a frame at exactly 0.1 s would
// then be picked for the wrong multiple.
std::optional<std::int64_t> ParseSeconds(const std::string& text) {
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int fractionDigits = 0;
    bool digits = false;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (!point) {
                whole = whole * 10 + (c - '0');
                if (whole > 1'000'000'000)
                    return std::nullopt;
            } else if (fractionDigits < 7) {
                fraction = fraction * 10 + (c - '0');
                ++fractionDigits;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    for (; fractionDigits < 7; ++fractionDigits)
        fraction *= 10;
    return whole * 10'000'000 + fraction;
}

bool ParseSide(const std::string& text, int& side) {
    return ParseWhole(text, 1, picture::kMaxSide, side);
}

// Parses --size: WxH, W, xH or native. The last --size given holds.
bool ParseSize(const std::string& text, Settings& settings) {
    settings.nativeSize = text == "native";
    settings.givenSide = GivenSide::Both;
    if (settings.nativeSize)
        return true;
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        settings.givenSide = GivenSide::Width;
        return ParseSide(text, settings.width);
    }
    if (x == 0) {
        settings.givenSide = GivenSide::Height;
        return ParseSide(text.substr(1), settings.height);
    }
    return ParseSide(text.substr(0, x), settings.width) &&
           ParseSide(text.substr(x + 1), settings.height);
}

// Parses --format: jpg, png or webp, as the files' extensions are known.
bool ParseFormat(const std::string& text, images::StillFormat& format) {
    const std::optional<images::ImageFormat> named =
        text.empty() || text.find('.') != std::string::npos ? std::nullopt : images::FormatOfPath("x." + text);
    if (named)
        format.format = *named;
    return named.has_value();
}

bool ParseStart(const std::string& text, std::int32_t& startMs) {
    double seconds = 0;
    if (!ParseNumber(text, seconds) || seconds < 0 || seconds > 2e6)
        return false;
    startMs = static_cast<std::int32_t>(seconds * 1000);
    return true;
}

bool ParseDeinterlace(const std::string& text, media::Deinterlace& deinterlace) {
    for (const auto choice : {media::Deinterlace::Auto, media::Deinterlace::On,
                              media::Deinterlace::Off}) {
        if (text == DeinterlaceName(choice)) {
            deinterlace = choice;
            return true;
        }
    }
    return false;
}

// What the line has said so far: the settings, and what only parsing needs.
struct Parsing {
    Settings settings;
    std::optional<int> quality;
    bool out = false;
    bool mergeReports = false;
};

using options::Takes;

bool Set(bool& flag) {
    flag = true;
    return true;
}

// One option of tesselon-grab: its row in the parser's table, what a refused
// value is told to be, and what a use of it does (false refuses the value).
struct GrabOption {
    const char* name;
    Takes takes;
    char letter;
    // None for an option without a value: it never refuses.
    const char* needs;
    bool (*apply)(const std::string& value, Parsing& parsing);
};

constexpr const char* kFrames = "a whole number of frames";
constexpr const char* kSeconds = "a number of seconds";
constexpr const char* kValue = "a value";

const GrabOption kGrabOptions[] = {
    {"out", Takes::kValue, 0, kValue,
     [](const std::string& value, Parsing& parsing) {
         parsing.out = true;
         parsing.settings.outputDirectory = value;
         return !value.empty();
     }},
    {"per-video", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.perVideo);
     }},
    {"name", Takes::kValue, 0, kValue,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.nameTemplate = value;
         return true;
     }},
    {"skip-existing", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.skipExisting);
     }},
    {"start", Takes::kValue, 0, kSeconds,
     [](const std::string& value, Parsing& parsing) {
         return ParseStart(value, parsing.settings.startMs);
     }},
    {"count", Takes::kValue, 0, kFrames,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.countGiven = true;
         return ParseWhole(value, 1, 2'000'000, parsing.settings.count);
     }},
    {"every", Takes::kValue, 0, kFrames,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.everyGiven = true;
         return ParseWhole(value, 1, 1'000'000'000, parsing.settings.every);
     }},
    {"interval", Takes::kValue, 0, kSeconds,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.interval = ParseSeconds(value);
         return parsing.settings.interval && *parsing.settings.interval > 0;
     }},
    {"best-of", Takes::kValue, 0, kFrames,
     [](const std::string& value, Parsing& parsing) {
         return ParseWhole(value, 1, 1'000'000, parsing.settings.bestOf);
     }},
    {"paced", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.paced);
     }},
    {"format", Takes::kValue, 0, "jpg, png or webp",
     [](const std::string& value, Parsing& parsing) {
         return ParseFormat(value, parsing.settings.format);
     }},
    {"quality", Takes::kValue, 0, "a whole number from 1 to 100",
     [](const std::string& value, Parsing& parsing) {
         parsing.quality.emplace();
         return ParseWhole(value, 1, 100, *parsing.quality);
     }},
    {"size", Takes::kValue, 0, "WxH, W, xH or native",
     [](const std::string& value, Parsing& parsing) {
         return ParseSize(value, parsing.settings);
     }},
    {"deinterlace", Takes::kValue, 0, "auto, on or off",
     [](const std::string& value, Parsing& parsing) {
         return ParseDeinterlace(value, parsing.settings.deinterlace);
     }},
    {"label", Takes::kValue, 0, kValue,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.label = value;
         return true;
     }},
    {"provenance", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.provenance);
     }},
    {"report", Takes::kValue, 0, kValue,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.report = value;
         return !value.empty();
     }},
    {"merge-reports", Takes::kValue, 0, kValue,
     [](const std::string& value, Parsing& parsing) {
         parsing.mergeReports = true;
         parsing.settings.mergeOutput = value;
         return !value.empty();
     }},
    {"merge-output", Takes::kValue, 0, kValue,
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.mergeOutput = value;
         parsing.settings.mergeOutputReplaces = true;
         return !value.empty();
     }},
    {"progress", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.progress);
     }},
    {"help", Takes::kNothing, 'h', nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.help);
     }},
    {"version", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.version);
     }},
};

// The parser's view of kGrabOptions: each option's id is its row.
const std::vector<options::Option>& OptionTable() {
    static const std::vector<options::Option> table = [] {
        std::vector<options::Option> rows;
        for (const GrabOption& option : kGrabOptions)
            rows.push_back(
                {static_cast<int>(rows.size()), option.name, option.takes, option.letter});
        return rows;
    }();
    return table;
}

// The row of "--name"; the parser names only options of the table.
const GrabOption& RowNamed(const std::string& option) {
    for (const GrabOption& row : kGrabOptions) {
        if (option == std::string("--") + row.name)
            return row;
    }
    return kGrabOptions[0];
}

std::nullopt_t Fail(const std::string& reason, std::string& error) {
    error = reason + "\n" + kUsage;
    return std::nullopt;
}

// --merge-reports OUT IN... and --merge-output OUT IN...
std::optional<Settings> CheckMerge(Parsing& parsing, const std::vector<std::string>& positional,
                                   std::string& error) {
    if (parsing.mergeReports && parsing.settings.mergeOutputReplaces)
        return Fail("--merge-reports and --merge-output cannot be used together", error);
    if (positional.empty())
        return Fail("--merge-reports needs the reports to merge", error);
    parsing.settings.mergeInputs.assign(positional.begin(), positional.end());
    return parsing.settings;
}

// --quality and the format: PNG has no quality to set, and WebP without one
// is lossless.
bool ApplyQuality(Parsing& parsing, std::string& error) {
    images::StillFormat& format = parsing.settings.format;
    if (parsing.quality && format.format == images::ImageFormat::Png) {
        Fail("--quality cannot be used with --format png: PNG is always lossless", error);
        return false;
    }
    if (format.format == images::ImageFormat::Webp && parsing.settings.provenance) {
        Fail("--provenance needs a format with a comment: jpg or png", error);
        return false;
    }
    format.lossless = format.format == images::ImageFormat::Webp && !parsing.quality;
    if (parsing.quality)
        format.quality = *parsing.quality;
    return true;
}

// What no single option can refuse: options that exclude each other, and
// the videos and the folder.
std::optional<Settings> CheckTogether(Parsing& parsing, const std::vector<std::string>& positional,
                                      std::string& error) {
    Settings& settings = parsing.settings;
    if (settings.mergeOutput)
        return CheckMerge(parsing, positional, error);
    if (settings.everyGiven && settings.interval)
        return Fail("--every and --interval cannot be used together", error);
    if (settings.everyGiven && settings.bestOf)
        return Fail("--every and --best-of cannot be used together", error);
    if (settings.paced && settings.Sampling())
        return Fail("--paced takes consecutive frames only", error);
    if (!ApplyQuality(parsing, error))
        return std::nullopt;
    std::string templateError;
    if (!NameTemplate::Parse(settings.nameTemplate, templateError))
        return Fail(templateError, error);
    if (parsing.out) {
        if (positional.empty())
            return Fail("no video given", error);
        settings.videos.assign(positional.begin(), positional.end());
        return settings;
    }
    if (positional.size() != 2)
        return Fail(positional.size() < 2 ? "a video and an output folder are needed"
                                          : "several videos need --out DIR",
                    error);
    settings.videos = {positional[0]};
    settings.outputDirectory = positional[1];
    return settings;
}

} // namespace

std::string HelpText() {
    return std::string(kUsage) + R"(

Captures frames of each VIDEO without a display, exactly as Tesselon's capture
batch does, and saves each through Tesselon's own save path: a baseline JPEG
file by default, or PNG or WebP. By default: 100 consecutive frames from the
start, 360 x 240, each named after its time in milliseconds (<ms>.JPG); a short
video is looped through, and a name already used in a folder gets "_2", "_3", ...

Where the files go:
  --out DIR            write into DIR (created when missing); the videos follow
  --per-video          each video's files go into DIR/<video's file name>/, with its
                       extension; "_2", "_3", ... when two videos share a name
  --name TEMPLATE      file names from TEMPLATE, the format's extension (".JPG",
                       ".PNG", ".WEBP") added; tokens:
                         {src}    the video's file name without extension
                         {ms}     the frame's time in whole milliseconds (the default)
                         {time}   the frame's time as hh-mm-ss.mmm
                         {frame}  the frame's number in the file, the first being 0
                         {i}      the frame's place in the burst, zero-padded
                       no token can put a path separator or ".." into a name
  --skip-existing      leave frames whose file already exists (not written again)

Which frames:
  --start SECONDS      begin at the first frame at or after SECONDS (default 0)
  --count N            at most N frames per video (default 100; with --every or
                       --interval, to the end of the video unless given)
  --every N            every Nth frame by frame number, to the end of the video
  --interval SECONDS   the first frame at or after each multiple of SECONDS,
                       to the end of the video
  --best-of N          of every N consecutive frames the sharpest, to the end of
                       the video; with --interval, the sharpest of each interval
                       (N then does not matter). Sharpness is the variance of the
                       Laplacian of the luma; e.g. --best-of 5 --count 20 takes
                       the sharpest of frames 0-4, 5-9, ... twenty times
  --paced              follow the video's clock instead of decoding at full speed
                       (consecutive frames only)

The pictures:
  --format jpg|png|webp
                       the files' format (default jpg); PNG is lossless, WebP is
                       lossless unless --quality is given
  --quality N          1 to 100: JPEG quality (default 75), or lossy WebP at N;
                       refused with png
  --size WxH           scale every frame to W x H (default 360x240, which squashes
                       wide video: give W, xH or native to keep its shape)
  --size W             W wide, as high as the video's shape as shown makes it
  --size xH            H high, as wide as the video's shape as shown makes it
  --size native        each video's own frame size, turned as its file asks, with
                       non-square pixels made square by widening (or heightening),
                       never squeezing
  --deinterlace auto|on|off
                       make whole pictures of interlaced video's fields: auto
                       (the default) when the stream or its frames say they are
                       interlaced, on for every frame, off never
  --label TEXT         a band under every picture with TEXT, yellow on black, as
                       Tesselon's images window stamps it: 16 rows up to 360
                       pixels wide, in proportion on wider pictures
  --provenance         write the video's name, the frame's time and number into
                       each JPEG file's comment segment (a PNG file's Comment
                       text; refused with webp)

Checking:
  --report FILE        write a report, JSON (or CSV when FILE ends in .csv): per
                       video its path, size, SHA-256, codec, frame size and aspect;
                       per frame its file, exact time, number, key frame, picture
                       type and checks (gap, repeat, irregular time step), its
                       sharpness (variance of the Laplacian of the luma, larger
                       is sharper) and nearDuplicate when it is almost the same
                       picture as the frame before (mean difference of a 32 x 32
                       grey copy under 1 grey level); totals;
                       FILE - is standard output
  --merge-reports OUT IN...
                       merge reports of separate runs into OUT (JSON or CSV)
                       OUT must be a new name: one of the IN, or an existing
                       report, is refused
  --merge-output OUT IN...
                       the same, and an existing report OUT is replaced
  --progress           show the progress line even when standard error is not a
                       terminal (on a terminal it is always shown)

About the program:
  -h, --help           print this help and exit
  --version            print the version and exit

Exit status:
  0  every frame of every video was written (or skipped with --skip-existing)
  1  some frames or videos failed; each is named on standard error and in the report
  2  bad usage
)";
}

std::string DeinterlaceName(media::Deinterlace deinterlace) {
    switch (deinterlace) {
    case media::Deinterlace::On:
        return "on";
    case media::Deinterlace::Off:
        return "off";
    case media::Deinterlace::Auto:
        break;
    }
    return "auto";
}

std::string VersionText() {
    return options::VersionText("tesselon-grab");
}

std::optional<Settings> ParseArguments(const std::vector<std::string>& arguments,
                                       std::string& error) {
    const options::ParsedLine line = options::Parse(OptionTable(), arguments);
    if (line.refusal)
        return Fail(line.refusal->mistake == options::Mistake::kMissingValue
                        ? line.refusal->option + " needs " + RowNamed(line.refusal->option).needs
                        : "unknown option " + line.refusal->argument,
                    error);
    Parsing parsing;
    for (const options::Use& use : line.uses) {
        const GrabOption& row = kGrabOptions[static_cast<std::size_t>(use.id)];
        if (!row.apply(use.value, parsing))
            return Fail(std::string("--") + row.name + " needs " + row.needs, error);
    }
    if (parsing.settings.help || parsing.settings.version)
        return parsing.settings;
    return CheckTogether(parsing, line.operands, error);
}

} // namespace grab
