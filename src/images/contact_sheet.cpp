#include "images/contact_sheet.h"

#include "images/image_list.h"
#include "platform/resampler.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace images {
namespace {

// 8 pixels of gap at 1280, the width a sheet has by default.
constexpr int kGapDivisor = 160;
// Text sizes in proportion to what they label, within readable bounds; a
// line of text takes one and a half times its font size.
constexpr int kCaptionDivisor = 9; // of the frame's width
constexpr int kHeaderDivisor = 80; // of the sheet's width

int LineRows(int pixels) {
    return pixels * 3 / 2;
}

QFont SheetFont(int pixels) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    return font;
}

QColor TextColour() {
    return QColor::fromRgb(static_cast<QRgb>(kSheetTextColour));
}

void DrawFrame(picture::Picture& sheet, const QRect& place, const picture::Picture& frame) {
    const platform::PixelArea dest{sheet.Row(place.top()) + place.left() * picture::kBytesPerPixel,
                                   sheet.Stride(), place.width(), place.height()};
    platform::ResampleSmooth(dest, {frame.Pixels(), frame.Stride(), frame.Width(), frame.Height()});
}

void DrawText(picture::Picture& sheet, const SheetLayout& layout, const QStringList& header,
              const std::vector<SheetCell>& cells, std::size_t count) {
    QImage image(sheet.Pixels(), sheet.Width(), sheet.Rows(), sheet.Stride(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setPen(TextColour());
    painter.setFont(SheetFont(layout.headerPixels));
    const QRect headerRect = layout.HeaderRect();
    for (int line = 0; line < std::min<int>(layout.headerLines, header.size()); ++line)
        painter.drawText(QRect(headerRect.left(), headerRect.top() + line * layout.headerLineRows,
                               headerRect.width(), layout.headerLineRows),
                         Qt::AlignLeft | Qt::AlignVCenter, header[line]);
    painter.setFont(SheetFont(layout.captionPixels));
    for (std::size_t i = 0; i < count; ++i)
        painter.drawText(layout.CaptionRect(static_cast<int>(i)), Qt::AlignCenter, cells[i].caption);
}

} // namespace

QRect SheetLayout::HeaderRect() const {
    return QRect(gap, gap, std::max(width - 2 * gap, 1), std::max(HeaderRows(), 1));
}

QRect SheetLayout::FrameRect(int index) const {
    const int column = index % columns;
    const int row = index / columns;
    return QRect(gap + column * (frameWidth + gap), gap + HeaderRows() + row * CellRows() + gap,
                 frameWidth, frameHeight);
}

QRect SheetLayout::CaptionRect(int index) const {
    const QRect frame = FrameRect(index);
    return QRect(frame.left(), frame.bottom() + 1, frame.width(), captionRows);
}

SheetLayout LayOutSheet(int columns, int rows, int width, int shownWidth, int shownHeight,
                        int headerLines) {
    SheetLayout layout;
    layout.columns = std::max(columns, 1);
    layout.rows = std::max(rows, 1);
    layout.gap = std::max(1, width / kGapDivisor);
    // Room for the gaps and a pixel of every frame at least.
    layout.width = std::max(width, (layout.columns + 1) * layout.gap + layout.columns);
    layout.frameWidth =
        std::max(1, (layout.width - (layout.columns + 1) * layout.gap) / layout.columns);
    const double shape = double(std::max(shownHeight, 1)) / std::max(shownWidth, 1);
    layout.frameHeight = std::max(1, static_cast<int>(std::lround(layout.frameWidth * shape)));
    layout.captionPixels = std::clamp(layout.frameWidth / kCaptionDivisor, 8, 16);
    layout.captionRows = LineRows(layout.captionPixels);
    layout.headerPixels = std::clamp(layout.width / kHeaderDivisor, 10, 20);
    layout.headerLineRows = LineRows(layout.headerPixels);
    layout.headerLines = std::max(headerLines, 0);
    return layout;
}

picture::Picture DrawContactSheet(const SheetLayout& layout, const QStringList& header,
                                  const std::vector<SheetCell>& cells, int bandRows) {
    picture::Picture sheet = picture::Picture::Allocate(layout.width, layout.Height(), bandRows);
    if (!sheet)
        return sheet;
    std::memset(sheet.Pixels(), 0, sheet.Bytes());
    const std::size_t count =
        std::min(cells.size(), std::size_t(layout.columns) * std::size_t(layout.rows));
    for (std::size_t i = 0; i < count; ++i)
        if (cells[i].frame != nullptr && *cells[i].frame)
            DrawFrame(sheet, layout.FrameRect(static_cast<int>(i)), *cells[i].frame);
    DrawText(sheet, layout, header, cells, count);
    return sheet;
}

QString CaptionOfName(const QString& name) {
    const QString time = name.section(QLatin1Char('_'), 0, 0);
    bool number = false;
    const qlonglong ms = time.toLongLong(&number);
    return number && ms >= 0 ? SheetTime(static_cast<double>(ms)) : name;
}

QStringList ListSheetHeader(const ImageList& list, const QString& videoName) {
    QStringList lines;
    if (!videoName.isEmpty())
        lines << QStringLiteral("File: ") + videoName;
    QString frames = QStringLiteral("Frames: %1").arg(list.Count());
    if (list.Count() > 0)
        frames += QStringLiteral(", %1 to %2")
                      .arg(CaptionOfName(list.Name(0)), CaptionOfName(list.Name(list.Count() - 1)));
    lines << frames;
    lines << QStringLiteral("Frame size: %1 x %2, captured at %3 x %4")
                 .arg(list.FrameWidth())
                 .arg(list.FrameHeight())
                 .arg(list.Shape().width)
                 .arg(list.Shape().height);
    return lines;
}

picture::Picture BuildContactSheet(const ImageList& list, const QString& videoName) {
    const QStringList header = ListSheetHeader(list, videoName);
    const int rows = std::max(1, (list.Count() + kListSheetColumns - 1) / kListSheetColumns);
    const int width = std::min(kListSheetWidth, kListSheetColumns * list.Shape().width);
    // The pictures show at the video's aspect, whatever size they were captured at.
    const int shownHeight = std::max(1, static_cast<int>(std::lround(1000 / list.Aspect())));
    const SheetLayout layout =
        LayOutSheet(kListSheetColumns, rows, width, 1000, shownHeight, int(header.size()));
    std::vector<SheetCell> cells;
    for (int i = 0; i < list.Count(); ++i)
        cells.push_back({list.PictureAt(i), CaptionOfName(list.Name(i))});
    return DrawContactSheet(layout, header, cells, 0);
}

QString SheetTime(double milliseconds) {
    const auto whole = static_cast<long long>(std::floor(std::max(milliseconds, 0.0)));
    return QStringLiteral("%1:%2:%3.%4")
        .arg(whole / 3'600'000, 2, 10, QLatin1Char('0'))
        .arg(whole / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace images
