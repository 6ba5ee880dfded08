// A contact sheet: frames of one video in one picture, in a grid of cells
// left to right and top to bottom, each frame in the video's shape with its
// time under it, below a header of text lines about the video. tesselon-grab
// --sheet and the images window's Save contact sheet both draw theirs here.
//
// On a sheet `width` pixels wide with C columns, a gap of G = max(1, width ÷
// 160) pixels lies round and between the cells, and every frame is
// (width − (C + 1) × G) ÷ C pixels wide, as high as the video's shape makes
// it. Under each frame a caption of its time; above the grid the header,
// one line per text line:
//
//   G rows                  gap
//   lines × line rows       the header, from x = G
//   per row of cells        G rows of gap, the frames, the captions
//   G rows                  gap
//
// Layout is plain arithmetic, for any thread; drawing puts text through Qt,
// so it runs on the thread that runs Qt's application.
#pragma once

#include "picture/picture.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace images {

struct SheetLayout {
    int columns = 0;
    int rows = 0; // rows of cells
    int width = 0;
    int gap = 0;
    int frameWidth = 0;  // the frame's area in each cell
    int frameHeight = 0;
    int captionPixels = 0; // the captions' font size
    int captionRows = 0;   // under each frame
    int headerPixels = 0;  // the header's font size
    int headerLineRows = 0;
    int headerLines = 0;

    int HeaderRows() const { return headerLines * headerLineRows; }
    int CellRows() const { return gap + frameHeight + captionRows; }
    // The sheet's rows, without a label band.
    int Height() const { return gap + HeaderRows() + rows * CellRows() + gap; }
    QRect HeaderRect() const;
    // Where the frame of cell `index` goes, and its caption under it.
    QRect FrameRect(int index) const;
    QRect CaptionRect(int index) const;
};

// The layout of `columns` × `rows` cells on a sheet `width` pixels wide for
// frames shown at shownWidth × shownHeight (their shape only counts), with
// `headerLines` lines of header. Every side is at least 1; a sheet too
// narrow for its gaps and a pixel of every frame is made that wide.
SheetLayout LayOutSheet(int columns, int rows, int width, int shownWidth, int shownHeight,
                        int headerLines);

// One cell: a frame, whose frame rows are resampled smoothly into the cell
// (copied when they are the cell's size already), and its caption.
struct SheetCell {
    const picture::Picture* frame = nullptr; // none leaves the cell black
    QString caption;
};

// The sheet on black: the header's lines in light grey, then each cell
// (at most columns × rows of them) in order, with `bandRows` zeroed band
// rows under it for a label. Null when its memory cannot be had.
picture::Picture DrawContactSheet(const SheetLayout& layout, const QStringList& header,
                                  const std::vector<SheetCell>& cells, int bandRows);

// A time as a caption shows it: "01:02:03.040" (hours, minutes, seconds and
// milliseconds), rounded down to the millisecond.
QString SheetTime(double milliseconds);

class ImageList;

// The images window's sheet: kListSheetColumns columns, the rows the list's
// images need, kListSheetWidth pixels wide (or the columns at the pictures'
// width when that is less), cells in the video's shape; the header names the
// video (when known), the frames with their first and last time, and their
// size. Null when its memory cannot be had.
inline constexpr int kListSheetColumns = 10;
inline constexpr int kListSheetWidth = 1280;
picture::Picture BuildContactSheet(const ImageList& list, const QString& videoName);
QStringList ListSheetHeader(const ImageList& list, const QString& videoName);

// The caption of an image named after its capture time in milliseconds
// ("1500", "1500_2" for the second of that time): its time, as SheetTime
// writes it; another name as it is.
QString CaptionOfName(const QString& name);

// The colour of the sheet's text, in a picture's bytes (blue, green, red).
inline constexpr std::uint32_t kSheetTextColour = 0x00E0E0E0;

} // namespace images
