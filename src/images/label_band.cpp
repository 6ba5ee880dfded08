#include "images/label_band.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <bit>
#include <cstring>

namespace images {
namespace {

// The band's words go into pictures as they are: on a little-endian machine
// the word 0x00BBGGRR is the bytes RR, GG, BB, 0.
static_assert(std::endian::native == std::endian::little);

// Colour values as the band stores them: 0x00BBGGRR.
constexpr std::uint32_t kTextColourValue = 0x00FFFF00;

QColor FromColourValue(std::uint32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

std::uint32_t ToColourValue(QRgb pixel) {
    return static_cast<std::uint32_t>(qRed(pixel)) |
           static_cast<std::uint32_t>(qGreen(pixel)) << 8 |
           static_cast<std::uint32_t>(qBlue(pixel)) << 16;
}

} // namespace

// The label stands in for text drawn with a display context's default font,
// which is bold, sans-serif, 16 pixels from ascent to descent and drawn
// without smoothing. Liberation Sans Bold (a package of the platform, so the
// band looks the same on every machine) is taken at the largest pixel size
// whose line fits the band, and drawn without anti-aliasing so that every
// pixel is either text or background: the band holds exactly two colours.
QFont LabelBandFont(int rows) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    for (int pixels = rows; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= rows)
            break;
    }
    return font;
}

LabelBand RenderLabelBand(const QString& text, int width, int rows) {
    QImage image(width, rows, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.setFont(LabelBandFont(rows));
        painter.setPen(FromColourValue(kTextColourValue));
        painter.setBackground(Qt::black);
        painter.setBackgroundMode(Qt::OpaqueMode);
        // Left and top edges; what does not fit is clipped at the band's edges.
        painter.drawText(QRect(0, 0, width, rows), Qt::AlignLeft | Qt::AlignTop, text);
    }
    LabelBand band{width, rows, std::vector<std::uint32_t>(std::size_t(width) * rows)};
    for (int y = 0; y < rows; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x)
            band.words[std::size_t(y) * width + x] = ToColourValue(row[x]);
    }
    return band;
}

void StampLabelBand(picture::Picture& picture, const LabelBand& band) {
    const int columns = std::min(picture.Width(), band.width);
    const int rows = std::min(picture.BandRows(), band.rows);
    for (int row = 0; row < rows; ++row)
        std::memcpy(picture.Band() + std::size_t(row) * picture.Stride(), band.Row(row),
                    std::size_t(columns) * 4);
}

} // namespace images
