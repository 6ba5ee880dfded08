#include "grab_options.h"

#include "name_template.h"

#include "options/version.h"
#include "picture/picture.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace grab {

namespace {

// A sheet of at most 100 × 100 cells, each frame at least a few pixels wide.
constexpr int kMaxSheetSide = 100;
constexpr int kSheetPixelsPerColumn = 4;

const char* const kUsage = "usage: tesselon-grab [options] --out DIR VIDEO...\n"
                           "       tesselon-grab [options] VIDEO OUTDIR\n"
                           "       tesselon-grab --list [options] VIDEO...\n"
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

// Parses --sheet COLSxROWS.
bool ParseSheet(const std::string& text, Settings& settings) {
    const std::size_t x = text.find_first_of("xX");
    return x != std::string::npos &&
           ParseWhole(text.substr(0, x), 1, kMaxSheetSide, settings.sheetColumns) &&
           ParseWhole(text.substr(x + 1), 1, kMaxSheetSide, settings.sheetRows);
}

bool ParseStart(const std::string& text, std::int32_t& startMs) {
    double seconds = 0;
    if (!ParseNumber(text, seconds) || seconds < 0 || seconds > 2e6)
        return false;
    startMs = static_cast<std::int32_t>(seconds * 1000);
    return true;
}

// --scenes' threshold, from 0 to 1; empty for the default.
bool ParseThreshold(const std::string& text, std::optional<double>& threshold) {
    double value = kDefaultSceneThreshold;
    if (!text.empty() && (!ParseNumber(text, value) || !(value >= 0 && value <= 1)))
        return false;
    threshold = value;
    return true;
}

// --scenes takes its threshold as the next argument when that is a number, so
// that `--scenes 0.2 video.mp4` and `--scenes video.mp4` both read as meant;
// the table's parser knows only options that always take a value, so the
// value, or its absence, is joined to the option first.
std::vector<std::string> JoinSceneThreshold(const std::vector<std::string>& arguments) {
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--") {
            joined.insert(joined.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i),
                          arguments.end());
            break;
        }
        if (arguments[i] != "--scenes") {
            joined.push_back(arguments[i]);
            continue;
        }
        double value = 0;
        const bool numberFollows = i + 1 < arguments.size() && ParseNumber(arguments[i + 1], value);
        joined.push_back("--scenes=" + (numberFollows ? arguments[++i] : std::string()));
    }
    return joined;
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
    bool startGiven = false;
    bool frames = false;
    bool times = false;
    // Why an option refused its value, when "needs ..." would not say.
    std::string refusal;
    bool sizeGiven = false;
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
         parsing.startGiven = true;
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
    {"frames", Takes::kValue, 0, "a list of frame numbers",
     [](const std::string& value, Parsing& parsing) {
         parsing.frames = true;
         return ParseFrameList(value, parsing.settings.requests, parsing.refusal);
     }},
    {"times", Takes::kValue, 0, "a list of times, or @FILE",
     [](const std::string& value, Parsing& parsing) {
         parsing.times = true;
         return ParseTimeList(value, parsing.settings.requests, parsing.refusal);
     }},
    {"list", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.list);
     }},
    {"keyframes", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.keyframes);
     }},
    {"scenes", Takes::kValue, 0, "a threshold from 0 to 1",
     [](const std::string& value, Parsing& parsing) {
         return ParseThreshold(value, parsing.settings.sceneThreshold);
     }},
    {"min-gap", Takes::kValue, 0, "a number of seconds, 0 or more",
     [](const std::string& value, Parsing& parsing) {
         parsing.settings.minGapGiven = true;
         double& seconds = parsing.settings.minGapSeconds;
         return ParseNumber(value, seconds) && seconds >= 0 && seconds <= 1e6;
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
         parsing.sizeGiven = true;
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
    {"sheet", Takes::kValue, 0, "COLSxROWS, each from 1 to 100",
     [](const std::string& value, Parsing& parsing) {
         return ParseSheet(value, parsing.settings);
     }},
    {"sheet-width", Takes::kValue, 0, "a width in pixels, at most 16384",
     [](const std::string& value, Parsing& parsing) {
         return ParseSide(value, parsing.settings.sheetWidth);
     }},
    {"metadata", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.metadata);
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
    // What `--progress json` becomes before parsing (see JoinProgressForm).
    {"progress-json", Takes::kNothing, 0, nullptr,
     [](const std::string&, Parsing& parsing) {
         return Set(parsing.settings.progressJson);
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

// "--out" (without "=value"): an option whose value is the next argument.
bool TakesNextArgument(const std::string& argument) {
    for (const GrabOption& row : kGrabOptions) {
        if (argument == std::string("--") + row.name)
            return row.takes == Takes::kValue;
    }
    return false;
}

// `--progress json` (or `--progress=json`) names a form of --progress, which
// alone takes no value: the pair becomes --progress-json. Not after `--`, and
// not where "--progress" is the value of another option.
std::vector<std::string> JoinProgressForm(const std::vector<std::string>& arguments) {
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            joined.insert(joined.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i),
                          arguments.end());
            break;
        }
        const bool pair =
            argument == "--progress" && i + 1 < arguments.size() && arguments[i + 1] == "json";
        if (pair || argument == "--progress=json") {
            joined.push_back("--progress-json");
            i += pair ? 1 : 0;
            continue;
        }
        joined.push_back(argument);
        if (TakesNextArgument(argument) && i + 1 < arguments.size())
            joined.push_back(arguments[++i]);
    }
    return joined;
}

// --frames and --times choose every frame themselves: nothing else that
// chooses frames goes with them.
std::optional<std::string> RequestConflict(const Parsing& parsing) {
    const Settings& settings = parsing.settings;
    const std::string option = parsing.frames ? "--frames" : "--times";
    if (parsing.frames && parsing.times)
        return "--frames and --times cannot be used together";
    const std::pair<bool, const char*> others[] = {
        {settings.everyGiven, "--every"}, {settings.interval.has_value(), "--interval"},
        {settings.countGiven, "--count"}, {parsing.startGiven, "--start"},
        {settings.paced, "--paced"}, {settings.keyframes, "--keyframes"},
        {settings.sceneThreshold.has_value(), "--scenes"}, {settings.bestOf > 0, "--best-of"}};
    for (const auto& [given, name] : others) {
        if (given)
            return option + " and " + name + " cannot be used together";
    }
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

// --sheet and what goes with it. A sheet holds at most its cells' frames:
// --count, given or not, is bounded by them.
bool CheckSheet(Parsing& parsing, std::string& error) {
    Settings& settings = parsing.settings;
    if (!settings.Sheet()) {
        if (settings.sheetWidth > 0)
            Fail("--sheet-width needs --sheet", error);
        return settings.sheetWidth == 0;
    }
    const struct {
        bool given;
        const char* option;
        const char* why;
    } clashes[] = {
        {parsing.sizeGiven, "--size", "a sheet's cells keep each video's shape"},
        {settings.nameTemplate != Settings{}.nameTemplate, "--name",
         "a sheet is named <video>-sheet"},
        {settings.paced, "--paced", "a sheet's frames are picked, not played"},
        {settings.list, "--list", "--list writes no picture"},
        {settings.metadata, "--metadata", "a sheet holds many frames, each of its own time"},
    };
    for (const auto& clash : clashes) {
        if (clash.given) {
            Fail(std::string("--sheet and ") + clash.option + " cannot be used together: " +
                     clash.why,
                 error);
            return false;
        }
    }
    if (settings.sheetWidth > 0 &&
        settings.sheetWidth < kSheetPixelsPerColumn * settings.sheetColumns) {
        Fail("--sheet-width needs at least " + std::to_string(kSheetPixelsPerColumn) +
                 " pixels per column",
             error);
        return false;
    }
    const int cells = settings.sheetColumns * settings.sheetRows;
    // A list of frames asked for, like --count, bounds the cells filled.
    const bool bounded = settings.countGiven || !settings.requests.empty();
    settings.count = bounded ? std::min(settings.count, cells) : cells;
    settings.countGiven = true;
    return true;
}

// Two ways of choosing frames that exclude each other, named; null when none
// does.
const char* OtherChoiceThan(const Settings& settings) {
    if (settings.keyframes && settings.sceneThreshold)
        return "--keyframes and --scenes";
    if (settings.keyframes && settings.everyGiven)
        return "--keyframes and --every";
    if (settings.keyframes && settings.interval)
        return "--keyframes and --interval";
    if (settings.sceneThreshold && settings.everyGiven)
        return "--scenes and --every";
    if (settings.sceneThreshold && settings.interval)
        return "--scenes and --interval";
    if (settings.bestOf > 0 && settings.keyframes)
        return "--keyframes and --best-of";
    if (settings.bestOf > 0 && settings.sceneThreshold)
        return "--scenes and --best-of";
    return nullptr;
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
    if (const char* other = OtherChoiceThan(settings))
        return Fail(std::string(other) + " cannot be used together", error);
    if (settings.minGapGiven && !settings.sceneThreshold)
        return Fail("--min-gap needs --scenes", error);
    if (settings.everyGiven && settings.bestOf)
        return Fail("--every and --best-of cannot be used together", error);
    if (settings.paced && settings.Sampling())
        return Fail("--paced takes consecutive frames only", error);
    if (parsing.frames || parsing.times) {
        if (const auto conflict = RequestConflict(parsing))
            return Fail(*conflict, error);
        settings.count = static_cast<int>(settings.requests.size());
    }
    if (settings.list && settings.report)
        return Fail("--list writes nothing: --report cannot be used with it", error);
    if (!ApplyQuality(parsing, error) || !CheckSheet(parsing, error))
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
    // A listing writes no file: every operand is a video.
    if (settings.list) {
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
  --count N            at most N frames per video (default 100; with --every,
                       --interval, --keyframes or --scenes, to the end of the
                       video unless given)
  --every N            every Nth frame by frame number, to the end of the video
  --interval SECONDS   the first frame at or after each multiple of SECONDS,
                       to the end of the video
  --frames LIST        exactly these frames, numbered in the file from 0 as the
                       report counts them: numbers and inclusive ranges, e.g.
                       --frames 0,250,1000-1010
  --times LIST         the first frame at or after each time, in seconds or
                       [HH:]MM:SS[.fff], e.g. --times 1.5,00:01:02.040
  --times @FILE        the same, one time a line of FILE, e.g. --times @cues.txt;
                       blank lines and lines starting with # are left out
                       With --frames or --times the pictures ({i}) and the
                       report follow the order of the list, though the video is
                       read once, front to back; an entry listed twice gives
                       two pictures; an entry past the last frame is an error
                       (exit 1) and the others are written. Neither goes with
                       --start, --count, --every, --interval or --paced.
  --keyframes          only the keyframes, found from the packets: the frames
                       between them are not decoded, so this is fast
                         tesselon-grab --keyframes --size native --out keys clip.mp4
  --scenes [THRESHOLD] the first frame of the video and of each shot after it: a
                       frame whose scene score exceeds THRESHOLD (0 to 1, default
                       0.1). The score is FFmpeg's scene measure (as its scdet and
                       select filters compute it) on a 64-pixel-wide grey copy of
                       each frame: the smaller of its mean absolute difference
                       from the frame before, as a fraction of full scale, and
                       how much that differs from the previous frame's, so that
                       steady motion scores low. The report gives each score
                         tesselon-grab --scenes 0.2 --report r.json --out shots clip.mp4
  --min-gap SECONDS    with --scenes, a change within SECONDS after the last frame
                       taken is not taken (default 0.5), so that a flash gives one
                       frame, not two or more; 0 takes every change
                         tesselon-grab --scenes --min-gap 2 --out shots clip.mp4
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
  --metadata           write Exif and XMP into every picture (JPEG, PNG or WebP):
                       the frame's date and time (the video's creation time plus
                       the frame's time, when the video has one) and the program;
                       the video's name and SHA-256, the frame's number, exact
                       time and the time base. The picture data is unchanged.
                       e.g. tesselon-grab --metadata --format png clip.mp4 out

Contact sheets:
  --sheet COLSxROWS    instead of a file per frame, one picture per video,
                       <video>-sheet.jpg (or the --format's extension): COLS
                       frames a row, each in the video's shape with its time under
                       it, below a header with the file's name, size, duration,
                       codec, frame size and frame rate. Without --every or
                       another choice of frames, COLS x ROWS frames evenly spaced:
                       the first frame at or after (i + 0.5) x D / N for i = 0 to
                       N - 1, N = COLS x ROWS (or --count if fewer), D the time
                       from --start to the end; a frame that is the first after
                       two such times is taken once. With a choice of frames,
                       the first COLS x ROWS it takes, the rows it needs.
                       --label puts the band under the sheet; --provenance names
                       every frame on it. Each is 1 to 100. Example:
                         tesselon-grab --sheet 4x5 --sheet-width 1600 film.mp4 sheets/
  --sheet-width PIXELS the sheet's width (default 1280, or COLS x the frame width
                       as shown when that is less)

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

For other programs:
  --progress json      progress as one JSON object a line on standard error, at
                       each video's start and end and at each picture taken:
                       {"video": "a.mp4", "videoIndex": 1, "videos": 3,
                        "frame": 250, "written": 12, "total": 30,
                        "secondsLeft": 4.2, "done": false}
                       "frame" is the number in the file of the frame just
                       taken (null at a video's start or when not counted),
                       "written" the pictures taken from the video so far,
                       "secondsLeft" the run's estimate (null at first)
  --list               write no picture and make no folder: print, per video,
                       the frames that would be taken, one JSON object a line
                       on standard output, once the video is read, e.g.
                       tesselon-grab --list --times 1.5,3 a.mp4 b.mp4 gives,
                       for a.mp4 at 25 frames a second,
                       {"video": "a.mp4", "frame": 38, "time": "38/25",
                        "ms": 1520, "keyFrame": false, "requested": "time 1.5"}
                       with "score" when the selection scores frames; --out
                       is then not needed, and --report is refused

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
    const options::ParsedLine line =
        options::Parse(OptionTable(), JoinSceneThreshold(JoinProgressForm(arguments)));
    if (line.refusal)
        return Fail(line.refusal->mistake == options::Mistake::kMissingValue
                        ? line.refusal->option + " needs " + RowNamed(line.refusal->option).needs
                        : "unknown option " + line.refusal->argument,
                    error);
    Parsing parsing;
    for (const options::Use& use : line.uses) {
        const GrabOption& row = kGrabOptions[static_cast<std::size_t>(use.id)];
        if (!row.apply(use.value, parsing))
            return Fail(parsing.refusal.empty()
                            ? std::string("--") + row.name + " needs " + row.needs
                            : parsing.refusal,
                        error);
    }
    if (parsing.settings.help || parsing.settings.version)
        return parsing.settings;
    return CheckTogether(parsing, line.operands, error);
}

} // namespace grab
