// The label band: a line of text, yellow on black, in the 16 rows under every
// captured image (rows 240 to 255 of an image buffer).
//
// User-interface thread only: drawing text needs the application's fonts.
#pragma once

#include <QFont>
#include <QString>

#include <array>
#include <cstdint>

namespace tesselon::images {

inline constexpr int kBandWidth = 360;
inline constexpr int kBandRows = 16;

// The band as image buffers hold it: 360 × 16 words, row by row, left to right.
using LabelBand = std::array<std::uint32_t, kBandWidth * kBandRows>;

// The font the label is drawn in.
QFont LabelBandFont();

// Draws `text` into a black band from its left and top edges, cut off at the
// right edge, in the text colour 0x00FFFF00, and reads every pixel back as a
// colour value of the form 0x00BBGGRR. Image buffers hold blue, green, red in
// byte order, so in a buffer the words' red and blue trade places: the text
// is stored, shown and saved as yellow (255, 255, 0) on black.
LabelBand RenderLabelBand(const QString& text);

} // namespace tesselon::images
