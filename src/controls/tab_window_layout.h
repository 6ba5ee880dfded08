// Where a tab window puts its sheet, its beam, its scroll bars and its sizing
// grip: pure arithmetic on the client size, the beam height and the splitter.
#pragma once

#include <QRect>

namespace controls {

struct TabWindowLayout {
    // Width of the sizing grip's slot; the grip itself is one pixel narrower.
    static constexpr int kGripWidth = 6;

    int clientWidth = 0;
    int clientHeight = 0;
    int beamHeight = 0;
    bool horizontalBarShown = true;
    bool verticalBarShown = true;
    // Right end of the beam while the horizontal bar is shown.
    int splitterX = 0;

    // Exclusive right and bottom edges of the sheet area, which starts at (0, 0).
    int SheetRight() const { return verticalBarShown ? clientWidth + 2 - beamHeight : clientWidth; }
    int SheetBottom() const { return clientHeight + 2 - beamHeight; }
    QRect SheetArea() const { return QRect(0, 0, SheetRight(), SheetBottom()); }
    // The bottom strip's and the vertical bar's nominal thickness.
    int StripHeight() const { return clientHeight - SheetBottom() - 1; }
    int VerticalBarWidth() const { return clientWidth - SheetRight() - 1; }
    QRect GripRect() const;

    // Nominal rectangles; a child is placed one pixel larger on every side
    // (Placed), so that its one-pixel border falls outside its nominal area.
    QRect HorizontalBarNominal() const;
    QRect VerticalBarNominal() const;
    QRect BeamNominal() const;
    QRect SheetNominal() const;
    static QRect Placed(const QRect& nominal) { return nominal.adjusted(-1, -1, 1, 1); }
};

} // namespace controls
