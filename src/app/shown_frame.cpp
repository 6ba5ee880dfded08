#include "app/shown_frame.h"

#include "app/playback_objects.h"
#include "playback/canvas.h"

#include <variant>

QSize VideoDisplaySize() {
    if (gSource == nullptr || !gSource->IsOpen())
        return {};
    const media::VideoFormat format = gSource->Format();
    if (format.width <= 0 || format.height <= 0)
        return {};
    const auto [width, height] =
        media::DisplaySize(format.width, format.height, format.sampleAspect);
    return {width, height};
}

picture::Picture ShownFramePicture(QSize size, int bandRows) {
    if (gSource == nullptr || gPresenter == nullptr || !gSource->IsOpen() || size.isEmpty())
        return {};
    if (size == QSize(playback::kCaptureRect.Width(), playback::kCaptureRect.Height()) &&
        gPresenter->Canvas() != nullptr)
        return gPresenter->Canvas()->CopyFrame(bandRows);
    auto made = playback::Canvas::Create(*gPresenter->Device(), size.width(), size.height());
    auto* canvas = std::get_if<playback::Canvas>(&made);
    if (canvas == nullptr || !gSource->DrawShownFrame(canvas->Surface(), canvas->Rect()))
        return {};
    return canvas->CopyFrame(bandRows);
}
