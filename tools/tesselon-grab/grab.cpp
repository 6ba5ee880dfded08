#include "grab.h"

#include "images/bmp_image_builder.h"
#include "images/jpeg_file_writer.h"
#include "platform/dialogs.h"
#include "platform/run_loop.h"
#include "playback/capture_names.h"
#include "playback/frame_capture.h"
#include "playback/presenter.h"
#include "playback/video_source.h"

#include <QWidget>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <ostream>
#include <thread>

namespace grab {

namespace {

// The presenter's off-screen surface and the rectangle every frame is drawn into.
constexpr int kSurfaceWidth = 360;
constexpr int kSurfaceHeight = 240;
constexpr unsigned kBmpSteps = 4;

const char* const kUsage =
    "usage: tesselon-grab [--start SECONDS] [--count N] [--paced] VIDEO OUTDIR";

struct Capture {
    std::uint8_t* buffer = nullptr; // malloc()ed by CopyFrame
    std::int32_t timeMs = 0;
    std::string name;
};

// Writes captured frames on threads of its own, one per core, while capturing
// goes on. Names are given in capture order, so the files do not depend on
// which thread writes them.
class Writer {
public:
    Writer(std::filesystem::path directory, std::ostream& out)
        : directory_(std::move(directory))
        , out_(out) {
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < count; ++i)
            threads_.emplace_back([this] { Loop(); });
    }
    ~Writer() { Finish(); }

    void Add(Capture capture) {
        std::lock_guard lock(mutex_);
        capture.name = names_.Next(capture.timeMs);
        pending_.push_back(std::move(capture));
        wake_.notify_one();
    }
    void Finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
            wake_.notify_all();
        }
        for (std::thread& thread : threads_)
            if (thread.joinable())
                thread.join();
    }
    int Written() const { return written_; }
    int Failed() const { return failed_; }

private:
    void Loop() {
        while (true) {
            Capture capture;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return finished_ || !pending_.empty(); });
                if (pending_.empty())
                    return;
                capture = std::move(pending_.front());
                pending_.pop_front();
            }
            Write(capture);
            std::free(capture.buffer);
        }
    }

    // The save path of one image: 240 rows, no label band.
    void Write(const Capture& capture) {
        const std::filesystem::path path = directory_ / (capture.name + ".JPG");
        const tesselon::images::BmpImage bmp = tesselon::images::BuildBmpImage(
            kSurfaceWidth, kSurfaceHeight, capture.buffer, nullptr, kBmpSteps);
        // The writers already run one encode per core: each takes one thread.
        const auto result = bmp ? tesselon::images::WriteJpegFile(bmp.Bytes(), path, nullptr, 1)
                                : tesselon::images::SaveResult{};
        if (result.Written()) {
            ++written_;
            return;
        }
        ++failed_;
        std::lock_guard lock(mutex_);
        out_ << "could not write " << path.string() << ": "
             << (bmp ? result.reason : std::string("out of memory")) << '\n';
    }

    const std::filesystem::path directory_;
    std::ostream& out_;
    playback::NameMaker names_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Capture> pending_;
    bool finished_ = false;
    std::atomic<int> written_{0};
    std::atomic<int> failed_{0};
    std::vector<std::thread> threads_;
};

bool ParseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

} // namespace

std::optional<Settings> ParseArguments(const std::vector<std::string>& arguments,
                                       std::string& error) {
    Settings settings;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        double number = 0;
        if (argument == "--paced") {
            settings.paced = true;
        } else if (argument == "--start" || argument == "--count") {
            if (i + 1 >= arguments.size() || !ParseNumber(arguments[i + 1], number) || number < 0 ||
                number > 2e6) {
                error = argument + " needs a number\n" + kUsage;
                return std::nullopt;
            }
            ++i;
            if (argument == "--start")
                settings.startMs = static_cast<std::int32_t>(number * 1000);
            else if (number < 1 || number != static_cast<int>(number)) {
                error = std::string("--count needs a whole number of frames\n") + kUsage;
                return std::nullopt;
            } else
                settings.count = static_cast<int>(number);
        } else if (argument.rfind("--", 0) == 0) {
            error = "unknown option " + argument + "\n" + kUsage;
            return std::nullopt;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        error = kUsage;
        return std::nullopt;
    }
    settings.video = positional[0];
    settings.outputDirectory = positional[1];
    return settings;
}

int Run(const Settings& settings, std::ostream& out) {
    platform::ScriptedDialogs dialogs; // message boxes become lines of output
    const auto reportMessages = [&](const std::string& what) {
        for (const auto& message : dialogs.Messages())
            out << what << ": " << message.text.toStdString() << '\n';
    };
    std::error_code error;
    std::filesystem::create_directories(settings.outputDirectory, error);

    QWidget view;
    view.resize(kSurfaceWidth, kSurfaceHeight);
    std::thread worker;
    std::vector<std::int32_t> times;
    Writer writer(settings.outputDirectory, out);
    CGameApp presenter;
    CDShow* sourceForWorker = nullptr;
    const auto startWorker = [&] {
        if (!worker.joinable() && sourceForWorker) {
            worker = std::thread([&] {
                for (int i = 0; i < settings.count; ++i) {
                    const playback::CapturedFrame frame =
                        playback::CaptureFrame(presenter, *sourceForWorker);
                    times.push_back(frame.timeMs);
                    writer.Add({frame.buffer, frame.timeMs, {}});
                }
                platform::PostQuitMessage(0);
            });
        }
        platform::ReportIdle(); // the idle turns stand aside while the worker runs
        return 0;
    };
    if (!presenter.Init(kSurfaceWidth, kSurfaceHeight, 32, &view, startWorker)) {
        reportMessages("cannot set up playback");
        presenter.Release();
        return 3;
    }

    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    // Nothing steps back here: no memory for recent frames beyond the newest.
    options.frameCacheBytes = 0;
    if (!settings.paced)
        options.timeSource = std::make_shared<media::FreeRunningTimeSource>();
    CDShow source(options);
    if (!source.Open(settings.video, presenter.Device())) {
        reportMessages("cannot open " + settings.video.string());
        presenter.Release();
        return 1;
    }
    // Start where asked and fetch the first frame there, as an idle turn would.
    source.Play();
    if (settings.startMs > 0)
        source.SeekMs(settings.startMs);
    source.Render(presenter.Offscreen(), playback::kCaptureRect, CDShow::FetchWait::UntilNextFrame);
    if (!source.IsPlaying())
        source.Play();

    source.SetRenderEnabled(false);
    sourceForWorker = &source;
    presenter.RunMessageLoop();
    if (worker.joinable()) // a loop that quit before its first idle turn started none
        worker.join();
    writer.Finish();
    source.Close();
    presenter.Release();

    out << "wrote " << writer.Written() << " of " << times.size() << " frames";
    if (!times.empty())
        out << ", first " << times.front() << " ms, last " << times.back() << " ms";
    out << '\n';
    return writer.Failed() == 0 && writer.Written() == settings.count ? 0 : 2;
}

} // namespace grab
