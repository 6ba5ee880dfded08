#include "app/snapshot.h"

#include "app/playback_objects.h"
#include "app/shown_frame.h"
#include "images/label_band.h"
#include "images/save_paths.h"
#include "playback/capture_names.h"

#include <system_error>

images::SaveResult SaveSnapshot(QSize size, const images::SavePreferences& preferences) {
    images::SaveResult result;
    const int bandRows = playback::LabelBandRowsFor(size.width());
    picture::Picture frame = ShownFramePicture(size, bandRows);
    if (!frame) {
        result.reason = "no frame could be copied";
        return result;
    }
    if (preferences.labelOn)
        images::StampLabelBand(frame, images::RenderLabelBand(preferences.labelText.isEmpty()
                                                                  ? images::DefaultLabelText()
                                                                  : preferences.labelText,
                                                              frame.Width(), bandRows));
    std::filesystem::path directory = preferences.directory;
    std::error_code error;
    if (directory.empty() || !std::filesystem::is_directory(directory, error))
        directory = std::filesystem::current_path(error);
    const QString name = QString::fromStdString(playback::NameMaker().Next(gSource->GetPositionMs()));
    const std::filesystem::path target =
        images::KeepBothPaths({images::ImageFilePath(directory, name, preferences.format.format)})
            .front();
    return images::SaveImage(images::SaveJob::Of(
        frame, preferences.labelOn ? frame.Rows() : frame.Height(), target, preferences.format));
}
