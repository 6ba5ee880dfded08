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
#include "playback/canvas.h"
#include "playback/frame_capture.h"
#include "playback/video_source.h"
#include "res/app_strings.h"

#include <QApplication>
#include <QPainter>

#include <cstring>
#include <iostream>
#include <memory>
#include <variant>
#include <vector>

namespace {

constexpr int kCount = 100;
constexpr picture::Shape kShape{playback::kCaptureRect.Width(), playback::kCaptureRect.Height(),
                                playback::kLabelBandRows};

struct Batch {
    std::vector<picture::Picture> pictures;
    QStringList names;
    int frameWidth = kShape.width;
    int frameHeight = kShape.height;
};

// Picture i: a colour of its own, its number large, and a frame around it,
// so that stretching and cropping show.
picture::Picture TestPicture(int number) {
    picture::Picture test = picture::Picture::Allocate(kShape);
    if (!test)
        return test;
    QImage image(test.Pixels(), test.Width(), test.Height(), test.Stride(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor::fromHsv((number * 37) % 360, 90, 230));
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(image.rect().adjusted(1, 1, -2, -2));
    painter.drawEllipse(image.rect().center(), 100, 100); // a circle shows a squashed picture
    QFont font = painter.font();
    font.setPixelSize(96);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(number));
    return test;
}

void FillWithTestPictures(Batch& batch) {
    for (int i = 0; i < kCount; ++i) {
        batch.pictures.push_back(TestPicture(i));
        batch.names.append(QString::number(i * 40));
    }
}

// The first frames of the video, captured as the program captures them.
bool FillWithVideoFrames(Batch& batch, const char* path) {
    std::unique_ptr<platform::DisplayDevice> device;
    if (platform::DisplayDevice::Create(&device) != platform::DD_OK)
        return false;
    auto made = playback::Canvas::Create(*device, kShape.width, kShape.height);
    if (!std::holds_alternative<playback::Canvas>(made))
        return false;
    playback::Canvas& canvas = std::get<playback::Canvas>(made);
    playback::VideoSourceOptions options;
    options.audio = media::AudioMode::Silent;
    CDShow source(options);
    if (!source.Open(path, device.get()))
        return false;
    platform::SurfaceDescription format;
    if (source.GetFormat(&format) == platform::DD_OK && format.width > 0) {
        batch.frameWidth = format.width;
        batch.frameHeight = format.height;
    }
    source.Play();
    playback::RenderNextFrame(source, canvas, canvas.Rect());
    for (int i = 0; i < kCount; ++i) {
        playback::CapturedFrame frame = playback::CaptureFrame(canvas, source, canvas.Rect());
        batch.pictures.push_back(std::move(frame.picture));
        batch.names.append(QString::number(frame.timeMs));
    }
    source.Close();
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
    controls::RegisterControlClasses();

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

    std::unique_ptr<images::ImagesWindow> dialog;
    if (four) {
        QStringList indexes;
        for (int i = 0; i < kCount; ++i)
            indexes.append(QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
        dialog = std::make_unique<images::CImages4Dlg>(kCount, batch.frameWidth,
                                                                 batch.frameHeight, indexes,
                                                                 kShape);
    } else {
        dialog = std::make_unique<images::CImagesDlg>(kCount, batch.frameWidth,
                                                                batch.frameHeight, batch.names,
                                                                kShape);
    }
    for (picture::Picture& shown : batch.pictures)
        if (!dialog->AddImage(shown))
            std::cerr << "a picture could not be made\n";
    return dialog->exec();
}
