// tesselon-grab --sheet: the frames a selection takes, kept at the size of a
// cell, then drawn as one contact sheet of the video (images/contact_sheet).
#pragma once

#include "grab_options.h"
#include "grab_report.h"

#include "images/contact_sheet.h"
#include "media/media_stream.h"
#include "picture/picture.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace grab {

// The sheet's width: --sheet-width, or 1280, or COLS × the frame's width as
// shown when that is less (a sheet never enlarges small video).
int SheetWidthFor(const Settings& settings, int shownWidth);

// The header's lines for a video as described in `record` (its path, size,
// codec and frame size as shown), its duration and its frame rate:
//   "File: film.mp4"
//   "Size: 1234567 bytes (1.2 MiB)"
//   "Duration: 00:01:02.040"
//   "Video: h264, 720 x 576 shown as 1024 x 576, 25 fps"
QStringList SheetHeader(const VideoRecord& record, std::optional<media::StreamTime> duration,
                        media::Ratio frameRate);

// One video's sheet while its frames are taken. Thread that runs Qt only
// (drawing puts text on the sheet).
class ContactSheetSink {
public:
    // For frames shown at shownWidth × shownHeight; the layout holds room for
    // settings.count frames, the rows they need.
    ContactSheetSink(const Settings& settings, int shownWidth, int shownHeight, QStringList header);

    // The size frames are taken at: one cell's.
    int CellWidth() const { return layout_.frameWidth; }
    int CellHeight() const { return layout_.frameHeight; }
    int Width() const { return layout_.width; }
    bool Full() const { return cells_.size() >= capacity_; }

    // Keeps the frame (its frame rows are a cell's size) and its time.
    void Add(picture::Picture frame, double ms);
    // The sheet of the frames added, the rows they need (one at least),
    // with `bandRows` band rows; the frames are given back. Null when its
    // memory cannot be had.
    picture::Picture Draw(int bandRows);

private:
    images::SheetLayout layout_;
    const QStringList header_;
    std::size_t capacity_ = 0;
    std::vector<picture::Picture> cells_;
    std::vector<QString> captions_;
};

} // namespace grab
