// Dialog units: dialog layouts are given in units of the dialog font, a
// quarter of its average character width across and an eighth of its height
// down, so that a layout grows with its font.
//
// User-interface thread (font metrics need the application's fonts).
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace platform {

// 8-point "MS Sans Serif", the font of the program's dialogs; where it is
// missing, Liberation Sans stands in, as it does for Arial.
QFont DialogFont();

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font = DialogFont());

    // The font's base units in pixels: its average character width (over
    // "A" to "Z" and "a" to "z", rounded) and its height.
    int BaseWidth() const { return baseWidth_; }
    int BaseHeight() const { return baseHeight_; }

    // Each value multiplied by the base unit and divided by 4 (across) or 8
    // (down), rounded to the nearest pixel.
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(QRect units) const;
    QSize ToPixels(QSize units) const;

private:
    int baseWidth_;
    int baseHeight_;
};

} // namespace platform
