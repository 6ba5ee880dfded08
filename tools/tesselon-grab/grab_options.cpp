#include "grab_options.h"

#include "name_template.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

namespace grab {

namespace {

const char* const kUsage = "usage: tesselon-grab [options] --out DIR VIDEO...\n"
                           "       tesselon-grab [options] VIDEO OUTDIR\n"
                           "       tesselon-grab --merge-reports OUT IN...\n"
                           "       tesselon-grab --merge-output OUT IN...\n"
                           "       tesselon-grab --help";

// The largest side a picture may have: the decoder's limit.
constexpr int kMaxSide = 16384;

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

} // namespace

std::string HelpText() {
    return std::string(kUsage) + R"(

Captures frames of each VIDEO without a display, exactly as Tesselon's capture
batch does, and saves each as a baseline JPEG file through Tesselon's own save
path. By default: 100 consecutive frames from the start, 360 x 240, each named
after its time in milliseconds (<ms>.JPG); a short video is looped through, and
a name already used in a folder gets "_2", "_3", ...

Where the files go:
  --out DIR            write into DIR (created when missing); the videos follow
  --per-video          each video's files go into DIR/<video's file name>/, with its
                       extension; "_2", "_3", ... when two videos share a name
  --name TEMPLATE      file names from TEMPLATE, ".JPG" added; tokens:
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
  --paced              follow the video's clock instead of decoding at full speed
                       (consecutive frames only)

The pictures:
  --size WxH           scale every frame to W x H (default 360x240)
  --size native        each video's own frame size, with non-square pixels made
                       square by widening (or heightening), never squeezing
  --label TEXT         a 16-row band under every picture with TEXT, yellow on black,
                       as Tesselon's images window stamps it
  --provenance         write the video's name, the frame's time and number into
                       each JPEG file's comment segment

Checking:
  --report FILE        write a report, JSON (or CSV when FILE ends in .csv): per
                       video its path, size, SHA-256, codec, frame size and aspect;
                       per frame its file, exact time, number, key frame, picture
                       type and checks (gap, repeat, irregular time step); totals;
                       FILE - is standard output
  --merge-reports OUT IN...
                       merge reports of separate runs into OUT (JSON or CSV)
                       OUT must be a new name: one of the IN, or an existing
                       report, is refused
  --merge-output OUT IN...
                       the same, and an existing report OUT is replaced
  --progress           show the progress line even when standard error is not a
                       terminal (on a terminal it is always shown)

Exit status:
  0  every frame of every video was written (or skipped with --skip-existing)
  1  some frames or videos failed; each is named on standard error and in the report
  2  bad usage
)";
}

std::optional<Settings> ParseArguments(const std::vector<std::string>& arguments,
                                       std::string& error) {
    Settings settings;
    std::vector<std::string> positional;
    bool out = false;
    bool mergeReports = false;
    const auto fail = [&](const std::string& reason) {
        error = reason + "\n" + kUsage;
        return std::nullopt;
    };
    // Options that take a value, and what each does with it; false refuses it.
    const std::map<std::string, std::function<bool(const std::string&)>> valued{
        {"--start",
         [&](const std::string& v) {
             double seconds = 0;
             if (!ParseNumber(v, seconds) || seconds < 0 || seconds > 2e6)
                 return false;
             settings.startMs = static_cast<std::int32_t>(seconds * 1000);
             return true;
         }},
        {"--count",
         [&](const std::string& v) {
             settings.countGiven = true;
             return ParseWhole(v, 1, 2'000'000, settings.count);
         }},
        {"--every",
         [&](const std::string& v) {
             settings.everyGiven = true;
             return ParseWhole(v, 1, 1'000'000'000, settings.every);
         }},
        {"--interval",
         [&](const std::string& v) {
             settings.interval = ParseSeconds(v);
             return settings.interval && *settings.interval > 0;
         }},
        {"--out",
         [&](const std::string& v) {
             out = true;
             settings.outputDirectory = v;
             return !v.empty();
         }},
        {"--name",
         [&](const std::string& v) {
             settings.nameTemplate = v;
             return true;
         }},
        {"--size",
         [&](const std::string& v) {
             if (v == "native") {
                 settings.nativeSize = true;
                 return true;
             }
             const std::size_t x = v.find_first_of("xX");
             return x != std::string::npos &&
                    ParseWhole(v.substr(0, x), 1, kMaxSide, settings.width) &&
                    ParseWhole(v.substr(x + 1), 1, kMaxSide, settings.height);
         }},
        {"--label",
         [&](const std::string& v) {
             settings.label = v;
             return true;
         }},
        {"--report",
         [&](const std::string& v) {
             settings.report = v;
             return !v.empty();
         }},
        {"--merge-reports",
         [&](const std::string& v) {
             mergeReports = true;
             settings.mergeOutput = v;
             return !v.empty();
         }},
        {"--merge-output",
         [&](const std::string& v) {
             settings.mergeOutput = v;
             settings.mergeOutputReplaces = true;
             return !v.empty();
         }},
    };
    const std::map<std::string, bool*> flags{
        {"--per-video", &settings.perVideo}, {"--provenance", &settings.provenance},
        {"--progress", &settings.progress},  {"--skip-existing", &settings.skipExisting},
        {"--paced", &settings.paced},        {"--help", &settings.help},
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") { // what follows is videos and folders, whatever their names
            positional.insert(positional.end(), arguments.begin() + i + 1, arguments.end());
            break;
        }
        if (const auto flag = flags.find(argument); flag != flags.end()) {
            *flag->second = true;
        } else if (const auto option = valued.find(argument); option != valued.end()) {
            if (i + 1 >= arguments.size() || !option->second(arguments[i + 1]))
                return fail(
                    argument + " needs " +
                    (argument == "--count" || argument == "--every" ? "a whole number of frames"
                     : argument == "--size"                         ? "WxH or native"
                     : argument == "--start" || argument == "--interval" ? "a number of seconds"
                                                                         : "a value"));
            ++i;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return fail("unknown option " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    if (settings.help)
        return settings;
    if (mergeReports && settings.mergeOutputReplaces)
        return fail("--merge-reports and --merge-output cannot be used together");
    if (settings.mergeOutput) {
        if (positional.empty())
            return fail("--merge-reports needs the reports to merge");
        settings.mergeInputs.assign(positional.begin(), positional.end());
        return settings;
    }
    if (settings.everyGiven && settings.interval)
        return fail("--every and --interval cannot be used together");
    if (settings.paced && settings.Sampling())
        return fail("--paced takes consecutive frames only");
    std::string templateError;
    if (!NameTemplate::Parse(settings.nameTemplate, templateError))
        return fail(templateError);
    if (out) {
        if (positional.empty())
            return fail("no video given");
        settings.videos.assign(positional.begin(), positional.end());
    } else {
        if (positional.size() != 2)
            return fail(positional.size() < 2 ? "a video and an output folder are needed"
                                              : "several videos need --out DIR");
        settings.videos = {positional[0]};
        settings.outputDirectory = positional[1];
    }
    return settings;
}

} // namespace grab
