#include "jpeg_options.h"

#include "jpeg/errors.h"
#include "options/option_parser.h"
#include "options/version.h"

#include <charconv>
#include <string_view>

namespace jpeg_tool {

namespace {

namespace options = options;

constexpr const char* kHelpText = R"(Usage: tesselon-jpeg [OPTION]... INPUT.bmp OUTPUT.jpg
       tesselon-jpeg --raw WIDTHxHEIGHT [--bmp-out FILE] INPUT.raw OUTPUT.jpg

Writes the Windows BMP image INPUT.bmp as a baseline JPEG (JFIF) file
OUTPUT.jpg. Without options it uses the program's own save settings: colour,
quality 75, three scans of one component each (masks 2,4,8), sampling
factors 1x1 for every component. OUTPUT.jpg is replaced only when the whole
file has been written; on any failure it is left as it was. OUTPUT - writes
to standard output; a device or FIFO is written to, never replaced.

Options:
  --quality N           quality 1 to 100 (default 75); higher keeps more detail
  --scans M0,M1,M2      the component mask of each scan, 1 to 3 values (default
                        2,4,8); bit value 2 is Y, 4 is Cb, 8 is Cr. Every
                        component must be in exactly one scan: 14 is one
                        interleaved scan, 6,8 puts Y and Cb together
  --gray                write Y alone (grayscale); scan 0 must hold Y
  --sampling HxV,HxV,HxV
                        sampling factors (1 to 4) of Y, Cb and Cr, 1 to 3
                        entries (default 1x1,1x1,1x1); 2x2,1x1,1x1 halves the
                        colour resolution both ways
  --comment TEXT        add TEXT as a comment before the fixed one
  --raw WIDTHxHEIGHT    read INPUT as an image buffer instead: 32-bit pixels
                        (blue, green, red, unused), top row first, WIDTH x 4
                        bytes per row; write it exactly as the program saves
                        an image (a BMP built in memory, read back and encoded
                        with the save settings). Takes no encoder options
  --bmp-out FILE        with --raw: also write the in-memory BMP to FILE
  -h, --help            show this help and exit
  --version             show the version and exit

Exit status: 0 on success, 1 when the image could not be read or written,
2 for a bad command line.
)";

enum OptionId { kQuality, kScans, kGray, kSampling, kComment, kRaw, kBmpOut, kHelp, kVersion };

constexpr options::Option kOptions[] = {
    {kQuality, "quality", options::Takes::kValue},
    {kScans, "scans", options::Takes::kValue},
    {kGray, "gray", options::Takes::kNothing},
    {kSampling, "sampling", options::Takes::kValue},
    {kComment, "comment", options::Takes::kValue},
    {kRaw, "raw", options::Takes::kValue},
    {kBmpOut, "bmp-out", options::Takes::kValue},
    {kHelp, "help", options::Takes::kNothing, 'h'},
    {kVersion, "version", options::Takes::kNothing},
};

std::uint32_t ParseNumber(std::string_view text, std::string_view option) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw UsageError("invalid number '" + std::string(text) + "' for " + std::string(option));
    }
    return value;
}

std::vector<std::string_view> SplitList(std::string_view text, std::string_view option) {
    std::vector<std::string_view> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (items.size() > 3) {
        throw UsageError("at most 3 values for " + std::string(option));
    }
    return items;
}

void ParseScans(std::string_view text, Options& options) {
    options.masks = {0, 0, 0};
    const auto items = SplitList(text, "--scans");
    for (std::size_t index = 0; index < items.size(); ++index) {
        options.masks[index] = ParseNumber(items[index], "--scans");
    }
}

void ParseSampling(std::string_view text, Options& options) {
    options.sampling = {{{1, 1}, {1, 1}, {1, 1}}};
    const auto items = SplitList(text, "--sampling");
    for (std::size_t index = 0; index < items.size(); ++index) {
        const std::size_t cross = items[index].find('x');
        if (cross == std::string_view::npos) {
            throw UsageError("sampling '" + std::string(items[index]) + "' is not HxV");
        }
        options.sampling[index][0] = ParseNumber(items[index].substr(0, cross), "--sampling");
        options.sampling[index][1] = ParseNumber(items[index].substr(cross + 1), "--sampling");
    }
}

// WIDTHxHEIGHT of a --raw image buffer, each 1 to 65535 (16 bits, as a
// SaveJob holds them).
std::array<std::uint32_t, 2> ParseRawSize(std::string_view text) {
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos) {
        throw UsageError("size '" + std::string(text) + "' is not WIDTHxHEIGHT");
    }
    const std::uint32_t width = ParseNumber(text.substr(0, cross), "--raw");
    const std::uint32_t height = ParseNumber(text.substr(cross + 1), "--raw");
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        throw UsageError("--raw width and height must be 1 to 65535");
    }
    return {width, height};
}

// The encoder options; false for the others.
bool ApplyEncoderOption(const options::Use& use, Options& options) {
    switch (use.id) {
    case kQuality:
        options.quality = ParseNumber(use.value, "--quality");
        return true;
    case kScans:
        ParseScans(use.value, options);
        return true;
    case kGray:
        options.grayscale = true;
        return true;
    case kSampling:
        ParseSampling(use.value, options);
        return true;
    case kComment:
        options.comment = use.value;
        return true;
    default:
        return false;
    }
}

void Apply(const options::Use& use, Options& options) {
    if (ApplyEncoderOption(use, options)) {
        options.encoderOptions = true;
    } else if (use.id == kRaw) {
        options.raw = ParseRawSize(use.value);
    } else if (use.id == kBmpOut) {
        options.bmpOut = use.value;
    } else {
        options.help = options.help || use.id == kHelp;
        options.version = options.version || use.id == kVersion;
    }
}

void ThrowRefusal(const options::Refusal& refusal) {
    if (refusal.mistake == options::Mistake::kMissingValue) {
        throw UsageError("missing value for " + refusal.option);
    }
    throw UsageError("unknown option '" + refusal.argument + "'");
}

// Settings the codec refuses whatever the image are a bad command line too,
// told before any file is read.
void CheckEncoderSettings(const Options& options) {
    try {
        jpeg::JpegWriter writer;
        ConfigureWriter(options, writer);
        writer.ValidateSettings();
    } catch (const jpeg::EGraphicsException& error) {
        throw UsageError(error.what());
    }
}

void CheckTogether(const Options& options, const std::vector<std::string>& files) {
    if (!options.help && !options.version && files.size() != 2) {
        throw UsageError("expected INPUT.bmp and OUTPUT.jpg");
    }
    if (options.bmpOut && !options.raw) {
        throw UsageError("--bmp-out needs --raw");
    }
    if (options.raw && options.encoderOptions) {
        throw UsageError("--raw uses the save settings and takes no encoder options");
    }
}

} // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments) {
    const options::ParsedLine line = options::Parse(kOptions, arguments);
    if (line.refusal) {
        ThrowRefusal(*line.refusal);
    }
    Options options;
    for (const options::Use& use : line.uses) {
        Apply(use, options);
    }
    CheckTogether(options, line.operands);
    if (options.help || options.version) {
        return options;
    }
    options.input = line.operands[0];
    options.output = line.operands[1];
    if (!options.raw) {
        CheckEncoderSettings(options);
    }
    return options;
}

void ConfigureWriter(const Options& options, jpeg::JpegWriter& writer) {
    writer.SetQuality(options.quality);
    for (std::uint32_t index = 0; index < 3; ++index) {
        writer.SetScan(index, options.masks[index], 0, 0);
        writer.SetHorizontalSampling(index + 1, options.sampling[index][0]);
        writer.SetVerticalSampling(index + 1, options.sampling[index][1]);
    }
    writer.SetGrayscale(options.grayscale);
    if (options.comment) {
        writer.SetComment(*options.comment);
    }
}

const char* HelpText() {
    return kHelpText;
}

std::string VersionText() {
    return options::VersionText("tesselon-jpeg");
}

} // namespace jpeg_tool
