// The label band: a line of text, yellow on black, in the band rows under
// every captured picture.
//
// Rendering is for the user-interface thread only (drawing text needs the
// application's fonts); stamping, on any thread that owns the picture.
#pragma once

#include "picture/picture.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <vector>

namespace images {

// The band as pictures hold it: width × rows words, row by row, left to right.
struct LabelBand {
    int width = 0;
    int rows = 0;
    std::vector<std::uint32_t> words;

    const std::uint32_t* Row(int row) const { return words.data() + std::size_t(row) * width; }
    bool operator==(const LabelBand&) const = default;
};

// The font the label is drawn in, for a band of `rows` rows.
QFont LabelBandFont(int rows);

// Draws `text` into a black band of width × rows from its left and top
// edges, cut off at the right edge, in the text colour 0x00FFFF00, and reads
// every pixel back as a colour value of the form 0x00BBGGRR. Pictures hold
// blue, green, red in byte order, so in a picture the words' red and blue
// trade places: the text is stored, shown and saved as yellow (255, 255, 0)
// on black.
LabelBand RenderLabelBand(const QString& text, int width, int rows);

// Copies the band into the picture's band rows from their left edge, as far
// as both reach; the rest of the band rows stays as it is.
void StampLabelBand(picture::Picture& picture, const LabelBand& band);

} // namespace images
