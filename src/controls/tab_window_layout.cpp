#include "controls/tab_window_layout.h"

namespace controls {

QRect TabWindowLayout::GripRect() const {
    return QRect(splitterX + 1, clientHeight - beamHeight, kGripWidth - 1, beamHeight);
}

QRect TabWindowLayout::HorizontalBarNominal() const {
    const int top = SheetBottom() + 1;
    if (!horizontalBarShown)
        return QRect(clientWidth, top, 0, StripHeight());
    return QRect(splitterX + kGripWidth, top, SheetRight() - splitterX - kGripWidth, StripHeight());
}

QRect TabWindowLayout::VerticalBarNominal() const {
    return QRect(SheetRight() + 1, 0, VerticalBarWidth(), SheetBottom());
}

QRect TabWindowLayout::BeamNominal() const {
    const int width = horizontalBarShown ? splitterX : clientWidth;
    return QRect(0, SheetBottom() + 1, width, StripHeight());
}

QRect TabWindowLayout::SheetNominal() const {
    return QRect(1, 1, SheetRight() - 2, SheetBottom() - 2);
}

} // namespace controls
