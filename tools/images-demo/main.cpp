// Opens an images dialog on 100 captured images, so that it can be tried by
// hand: numbered test pictures, or the first 100 frames of a video.
//
//     images-demo [--four] [VIDEO]
//
// Files are saved in the working directory, as in the program.
#include "controls/control_classes.h"
#include "images/images4_dialog.h"
#include "images/images_dialog.h"
#include "platform/dialogs.h"
#include "platform/run_loop.h"
#include "playback/frame_capture.h"
#include "playback/presenter.h"
#include "playback/video_source.h"
#include "res/app_strings.h"

#include <QApplication>
#include <QPainter>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

using tesselon::images::kImageBytes;
using tesselon::images::kImageStride;

constexpr int kCount = 100;

struct Batch {
    std::vector<std::uint8_t*> buffers;
    std::vector<int> sizes;
    QStringList names;
    int frameWidth = 360;
    int frameHeight = 240;

    Batch() = default;
    Batch(const Batch&) = delete;
    ~Batch() {
        for (std::uint8_t* buffer : buffers)
            std::free(buffer);
    }
};

// Picture i: a colour of its own, its number large, and a frame around it,
// so that stretching and cropping show.
std::uint8_t* TestPicture(int number) {
    auto* buffer = static_cast<std::uint8_t*>(std::calloc(kImageBytes, 1));
    if (buffer == nullptr)
        return nullptr;
    QImage image(buffer, 360, 240, kImageStride, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor::fromHsv((number * 37) % 360, 90, 230));
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(image.rect().adjusted(1, 1, -2, -2));
    painter.drawEllipse(QPoint(180, 120), 100, 100); // a circle shows a squashed picture
    QFont font = painter.font();
    font.setPixelSize(96);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(number));
    return buffer;
}

void FillWithTestPictures(Batch& batch) {
    for (int i = 0; i < kCount; ++i) {
        batch.buffers.push_back(TestPicture(i));
        batch.sizes.push_back(batch.buffers.back() != nullptr ? kImageBytes : 0);
        batch.names.append(QString::number(i * 40));
    }
}

// The first frames of the video, taken on the presenter's idle turns as the
// program takes them.
bool FillWithVideoFrames(Batch& batch, const char* path) {
    QWidget view;
    view.resize(360, 240);
    CGameApp presenter;
    CDShow* capturing = nullptr;
    const auto captureNext = [&] {
        if (capturing != nullptr && int(batch.buffers.size()) < kCount) {
            const playback::CapturedFrame frame = playback::CaptureFrame(presenter, *capturing);
            batch.buffers.push_back(frame.buffer);
            batch.sizes.push_back(frame.size);
            batch.names.append(QString::number(frame.timeMs));
            if (int(batch.buffers.size()) == kCount)
                platform::PostQuitMessage(0);
        }
        return 0;
    };
    if (!presenter.Init(360, 240, 32, &view, captureNext))
        return false;
    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    CDShow source(options);
    if (!source.Open(path, presenter.Device())) {
        presenter.Release();
        return false;
    }
    platform::SurfaceDescription format;
    if (source.GetFormat(&format) == platform::DD_OK && format.width > 0) {
        batch.frameWidth = format.width;
        batch.frameHeight = format.height;
    }
    source.Play();
    source.Render(presenter.Offscreen(), playback::kCaptureRect, CDShow::FetchWait::UntilNextFrame);
    capturing = &source;
    presenter.RunMessageLoop();
    source.Close();
    presenter.Release();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    platform::InstallStringTable(&res::LoadAppString);
    // Headless tries answer message boxes and file dialogs from TESSELON_DIALOG_ANSWERS.
    const std::unique_ptr<platform::ScriptedDialogs> script =
        platform::ScriptedDialogs::FromEnvironment();
    tesselon::controls::RegisterControlClasses();

    bool four = false;
    const char* video = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--four") == 0)
            four = true;
        else
            video = argv[i];
    }
    Batch batch;
    if (video != nullptr && !FillWithVideoFrames(batch, video)) {
        std::cerr << "cannot read " << video << '\n';
        return 1;
    }
    if (video == nullptr)
        FillWithTestPictures(batch);

    std::unique_ptr<tesselon::images::ImagesWindow> dialog;
    if (four) {
        QStringList indexes;
        for (int i = 0; i < kCount; ++i)
            indexes.append(QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
        dialog = std::make_unique<tesselon::images::CImages4Dlg>(kCount, batch.frameWidth,
                                                                 batch.frameHeight, indexes);
    } else {
        dialog = std::make_unique<tesselon::images::CImagesDlg>(kCount, batch.frameWidth,
                                                                batch.frameHeight, batch.names);
    }
    for (std::size_t i = 0; i < batch.buffers.size(); ++i)
        dialog->AddImage(batch.buffers[i], batch.sizes[i]);
    return dialog->exec();
}
