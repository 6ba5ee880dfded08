#include "contact_sheet_sink.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace grab {

namespace {

constexpr int kDefaultSheetWidth = 1280;

// "1.2 MiB", "20.4 KiB", "512 bytes".
QString Magnitude(std::uintmax_t bytes) {
    const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    if (value < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

// "25 fps", "29.97 fps"; a rate neither the stream nor FFmpeg knows, "unknown".
QString RateText(media::Ratio rate) {
    if (rate.num <= 0 || rate.den <= 0)
        return QStringLiteral("frame rate unknown");
    const double perSecond = static_cast<double>(rate.num) / static_cast<double>(rate.den);
    QString text = QString::number(perSecond, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text + QStringLiteral(" fps");
}

QString FrameSizeText(const VideoRecord& record) {
    const auto [shownWidth, shownHeight] = media::DisplaySize(
        record.width, record.height, {record.sampleAspect.num, record.sampleAspect.den});
    QString text = QStringLiteral("%1 x %2").arg(record.width).arg(record.height);
    if (shownWidth != record.width || shownHeight != record.height)
        text += QStringLiteral(" shown as %1 x %2").arg(shownWidth).arg(shownHeight);
    return text;
}

} // namespace

int SheetWidthFor(const Settings& settings, int shownWidth) {
    if (settings.sheetWidth > 0)
        return settings.sheetWidth;
    const long long natural = static_cast<long long>(settings.sheetColumns) * shownWidth;
    return static_cast<int>(std::min<long long>(kDefaultSheetWidth, natural));
}

QStringList SheetHeader(const VideoRecord& record, std::optional<media::StreamTime> duration,
                        media::Ratio frameRate) {
    QStringList lines;
    lines << QStringLiteral("File: ") + QFileInfo(QString::fromStdString(record.path)).fileName();
    lines << (record.bytes ? QStringLiteral("Size: %1 bytes (%2)")
                                 .arg(*record.bytes)
                                 .arg(Magnitude(*record.bytes))
                           : QStringLiteral("Size: unknown"));
    lines << QStringLiteral("Duration: ") +
                 (duration ? images::SheetTime(static_cast<double>(*duration) * 1000.0 /
                                               static_cast<double>(media::kStreamUnitsPerSecond))
                           : QStringLiteral("unknown"));
    lines << QStringLiteral("Video: %1, %2, %3")
                 .arg(QString::fromStdString(record.codec), FrameSizeText(record),
                      RateText(frameRate));
    return lines;
}

ContactSheetSink::ContactSheetSink(const Settings& settings, int shownWidth, int shownHeight,
                                   QStringList header)
    : header_(std::move(header))
    , capacity_(static_cast<std::size_t>(settings.count)) {
    const int rows = (settings.count + settings.sheetColumns - 1) / settings.sheetColumns;
    layout_ = images::LayOutSheet(settings.sheetColumns, rows,
                                  SheetWidthFor(settings, shownWidth), shownWidth, shownHeight,
                                  static_cast<int>(header_.size()));
}

void ContactSheetSink::Add(picture::Picture frame, double ms) {
    cells_.push_back(std::move(frame));
    captions_.push_back(images::SheetTime(ms));
}

picture::Picture ContactSheetSink::Draw(int bandRows) {
    images::SheetLayout layout = layout_;
    const int count = static_cast<int>(cells_.size());
    layout.rows = std::max(1, (count + layout.columns - 1) / layout.columns);
    std::vector<images::SheetCell> cells;
    for (std::size_t i = 0; i < cells_.size(); ++i)
        cells.push_back({&cells_[i], captions_[i]});
    picture::Picture sheet = images::DrawContactSheet(layout, header_, cells, bandRows);
    cells_.clear();
    captions_.clear();
    return sheet;
}

} // namespace grab
