#include "controls/tab_beam.h"

#include "controls/widget_messages.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <cstdlib>

namespace controls {
namespace {

constexpr int kSlant = kTabSlant;
constexpr int kFontPoints = 8;
constexpr int kFirstRepeatDelay = 200;
constexpr int kFastestRepeatDelay = 100;
constexpr int kRepeatAcceleration = 20;
// A marked tab's diamond: its half-diagonal, and the room it takes after the name.
constexpr int kMarkRadius = 3;
constexpr int kMarkRoom = 2 * kMarkRadius + 4;
// The grey of a disabled scroll button's arrow.
const QColor kDisabledGlyph(96, 96, 96);

// Rounds like the Windows MulDiv: a × b / c to the nearest integer.
int MultiplyDivide(int a, int b, int c) {
    return static_cast<int>((static_cast<long long>(a) * b + c / 2) / c);
}

// Plots the pixels of a line from `from` to `to`, the end point excluded, as a
// pen of one pixel does; Bresenham's stepping.
void DrawLineExcludingEnd(QPainter& painter, QPoint from, QPoint to, const QColor& colour) {
    const int dx = std::abs(to.x() - from.x());
    const int dy = -std::abs(to.y() - from.y());
    const int stepX = from.x() < to.x() ? 1 : -1;
    const int stepY = from.y() < to.y() ? 1 : -1;
    int error = dx + dy;
    QPoint point = from;
    while (point != to) {
        painter.fillRect(point.x(), point.y(), 1, 1, colour);
        const int doubled = 2 * error;
        if (doubled >= dy) {
            error += dy;
            point.rx() += stepX;
        }
        if (doubled <= dx) {
            error += dx;
            point.ry() += stepY;
        }
    }
}

void FillRegion(QPainter& painter, const QRegion& region, const QColor& colour) {
    for (const QRect& rect : region)
        painter.fillRect(rect, colour);
}

// The pixels of the region that have a neighbour outside it: a frame one
// pixel wide drawn just inside the region's boundary.
QRegion InnerFrame(const QRegion& region) {
    const QRegion interior = region & region.translated(1, 0) & region.translated(-1, 0) &
                             region.translated(0, 1) & region.translated(0, -1);
    return region - interior;
}

} // namespace

CGXTabBeam::CGXTabBeam(QWidget* parent)
    : QWidget(parent) {
    faceColour_ = palette().color(QPalette::Button);
    windowColour_ = palette().color(QPalette::Base);
    // Fusion has no scroll-bar role; its mid-light grey is the track colour.
    scrollBarColour_ = palette().color(QPalette::Midlight);
    shadowColour_ = palette().color(QPalette::Dark);
    height_ = buttonWidth_ = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    buttonAreaWidth_ = 2 * buttonWidth_;
    setCursor(Qt::ArrowCursor);
    // Every pixel is painted, and a partial repaint during a splitter move
    // relies on the rest keeping what it shows.
    setAttribute(Qt::WA_OpaquePaintEvent);

    repeatTimer_.setSingleShot(true);
    repeatTimer_.setTimerType(Qt::PreciseTimer);
    connect(&repeatTimer_, &QTimer::timeout, this, &CGXTabBeam::RepeatTick);

    SetUpFonts();
    resize(1, height_);
}

CGXTabBeam::~CGXTabBeam() = default;

void CGXTabBeam::SetUpFonts() {
    // 8 points at the screen's resolution, as a character height in pixels.
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(MultiplyDivide(kFontPoints, logicalDpiY(), 72));
    normalFont_ = font;
    normalFont_.setWeight(QFont::Normal);
    boldFont_ = font;
    boldFont_.setWeight(QFont::Bold);

    const int textHeight = QFontMetrics(normalFont_).height();
    height_ = buttonWidth_ = std::max(height_, textHeight + 2);
    buttonAreaWidth_ = 2 * height_;
}

TabStripLayout CGXTabBeam::Layout() const {
    return TabStripLayout{widths_, firstVisible_, buttonAreaWidth_, width()};
}

QSize CGXTabBeam::sizeHint() const {
    const TabStripLayout layout = Layout();
    return QSize(layout.TabAreaStart() + layout.SlotDistance(0, Count()) + kSlant, height_);
}

QRect CGXTabBeam::ScrollButtonRect(ScrollButton button) const {
    const int index = button == ScrollButton::Next ? 1 : 0;
    return QRect(index * buttonWidth_, 0, buttonWidth_, height_);
}

void CGXTabBeam::AppendTab(const QString& name, QWidget* sheet) {
    tabs_.push_back(TabEntry{60, name, false, sheet});
    widths_.push_back(60);
    MeasureTab(Count() - 1);
    if (current_ == -1)
        current_ = Count() - 1;
}

void CGXTabBeam::MeasureTab(int index) {
    const int width = kSlant + QFontMetrics(boldFont_).horizontalAdvance(tabs_[index].name) +
                      (tabs_[index].marked ? kMarkRoom : 0);
    tabs_[index].width = width;
    widths_[index] = width;
    update();
}

void CGXTabBeam::SetTabName(int index, const QString& name) {
    tabs_[index].name = name;
}

void CGXTabBeam::SetTabMarked(int index, bool marked) {
    if (tabs_[index].marked == marked)
        return;
    tabs_[index].marked = marked;
    MeasureTab(index);
}

bool CGXTabBeam::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const int index = TabAtX(help->pos().x());
    if (index >= 0 && !tabs_[index].toolTip.isEmpty())
        QToolTip::showText(help->globalPos(), tabs_[index].toolTip, this);
    else
        QToolTip::hideText();
    return true;
}

int CGXTabBeam::TabOfSheet(const QWidget* sheet) const {
    // Tabs whose sheets are gone stand for nothing.
    if (sheet == nullptr)
        return -1;
    for (int index = 0; index < Count(); ++index) {
        if (tabs_[index].sheet == sheet)
            return index;
    }
    return -1;
}

// --- Scrolling and picking -------------------------------------------------

ScrollButton CGXTabBeam::ScrollButtonAt(QPoint point, ScrollButton only) {
    if (point.y() < 0 || point.y() > height_ || point.x() < 0 || point.x() >= buttonAreaWidth_)
        return ScrollButton::None;
    const auto button = static_cast<ScrollButton>(point.x() / buttonWidth_ + 1);
    if (!IsButtonEnabled(button))
        return ScrollButton::None;
    if (only != ScrollButton::None && button != only)
        return ScrollButton::None;
    StepTabs(button);
    return button;
}

void CGXTabBeam::StepTabs(ScrollButton button) {
    const TabStripLayout layout = Layout();
    const int target = layout.StepTarget(button);
    if (target == firstVisible_)
        return;
    const int start = layout.TabAreaStart();
    const QRect tabArea(start, 0, std::max(0, width() - start), height());
    if (target > firstVisible_) {
        scroll(-layout.SlotDistance(firstVisible_, target), 0, tabArea);
    } else {
        const int distance = layout.SlotDistance(target, firstVisible_);
        scroll(distance, 0, tabArea);
        // The slant of the tab left of the new first one overlaps the tab
        // area's left end and has to be drawn again.
        update(QRect(start, 0, distance + kSlant, height()));
    }
    firstVisible_ = target;
    // Either button may have changed between enabled and disabled.
    RepaintButtons();
}

bool CGXTabBeam::ScrollIntoView(int index) {
    if (index < 0 || index >= Count())
        return false;
    if (index < firstVisible_) {
        firstVisible_ = index;
    } else if (index > LastWholeTab()) {
        // A strip narrower than the tab still starts with it.
        while (firstVisible_ < index && index > LastWholeTab())
            ++firstVisible_;
    } else {
        return false;
    }
    update();
    return true;
}

void CGXTabBeam::PickTabAt(int x) {
    if (x < buttonAreaWidth_)
        return;
    int tab;
    if (x - buttonAreaWidth_ < kSlant) {
        // The gap column and the slant of the tab left of the first visible one.
        if (tabs_.empty())
            return;
        tab = std::max(firstVisible_ - 1, 0);
    } else {
        tab = TabAtX(x);
        if (tab == -1)
            return;
    }
    if (SendToWidget(parentWidget(), platform::WM_TAB_CAN_CHANGE, tab) != 0)
        return;

    const bool changed = tab != current_;
    current_ = tab;
    bool selectionCleared = false;
    if (!tabs_[tab].selected) {
        for (TabEntry& entry : tabs_) {
            selectionCleared = selectionCleared || entry.selected;
            entry.selected = false;
        }
    }
    if (!ScrollIntoView(current_) && (changed || selectionCleared))
        update();
    PostToWidget(parentWidget(), platform::WM_TAB_CHOSEN, current_);
}

// --- Mouse -----------------------------------------------------------------

void CGXTabBeam::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    LeftButtonDown(event->modifiers(), event->position().toPoint());
}

void CGXTabBeam::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    // The first click of the double-click has already made the tab current.
    if (point.x() >= buttonAreaWidth_ && TabAtX(point.x()) != -1 && current_ >= firstVisible_) {
        PostToWidget(parentWidget(), platform::WM_TAB_RENAME_REQUEST, current_);
        return;
    }
    LeftButtonDown(event->modifiers(), point);
}

void CGXTabBeam::LeftButtonDown(Qt::KeyboardModifiers modifiers, QPoint point) {
    // A hit on an enabled button steps the tabs once at once.
    pressedButton_ = ScrollButtonAt(point, ScrollButton::None);
    if (pressedButton_ != ScrollButton::None) {
        pressedLook_ = true;
        RepaintButtons();
        StartRepeat(point);
        return;
    }
    if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) {
        ExtendSelection(modifiers, point.x());
        return;
    }
    PickTabAt(point.x());
}

void CGXTabBeam::ExtendSelection(Qt::KeyboardModifiers modifiers, int x) {
    const int tab = TabAtX(x);
    if (tab == -1)
        return;
    if (modifiers & Qt::ControlModifier) {
        tabs_[tab].selected = !tabs_[tab].selected;
    } else {
        if (current_ == -1)
            return;
        // From the clicked tab towards the current one, the current one excluded.
        const int step = tab < current_ ? 1 : -1;
        for (int index = tab; index != current_; index += step)
            tabs_[index].selected = true;
    }
    const int start = Layout().TabAreaStart();
    update(QRect(start, 0, std::max(0, width() - start), height()));
}

void CGXTabBeam::StartRepeat(QPoint point) {
    // Qt grabs the mouse for the widget that took the press, so the release
    // comes back here wherever it happens.
    tracking_ = true;
    pointer_ = point;
    repeatDelay_ = kFirstRepeatDelay;
    repeatTimer_.start(repeatDelay_);
}

void CGXTabBeam::RepeatTick() {
    if (!tracking_)
        return;
    // The button-up may never reach the beam once it is hidden or another
    // window has taken the mouse; the hold ends with the button all the same.
    if (!isVisible() || !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        EndTracking();
        return;
    }
    TrackPointer(pointer_);
    if (repeatDelay_ > kFastestRepeatDelay)
        repeatDelay_ -= kRepeatAcceleration;
    repeatTimer_.start(repeatDelay_);
}

void CGXTabBeam::mouseMoveEvent(QMouseEvent* event) {
    // While a button is held, moves only tell where the pointer is; the
    // repeat timer acts on the latest position.
    if (tracking_)
        pointer_ = event->position().toPoint();
}

void CGXTabBeam::TrackPointer(QPoint point) {
    if (!tracking_ || pressedButton_ == ScrollButton::None)
        return;
    bool redraw;
    if (ScrollButtonAt(point, pressedButton_) == ScrollButton::None) {
        // Off the button, or the button became disabled: it pops up.
        redraw = pressedLook_;
        pressedLook_ = false;
    } else {
        redraw = !pressedLook_;
        pressedLook_ = true;
    }
    if (redraw)
        RepaintButtons();
}

void CGXTabBeam::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    EndTracking();
}

void CGXTabBeam::EndTracking() {
    if (tracking_) {
        tracking_ = false;
        repeatTimer_.stop();
        if (pressedButton_ != ScrollButton::None && pressedLook_) {
            pressedLook_ = false;
            RepaintButtons();
        }
    }
    pressedLook_ = false;
}

void CGXTabBeam::RepaintButtons() {
    update(QRect(0, 0, buttonAreaWidth_, height()));
}

// --- Painting --------------------------------------------------------------

void CGXTabBeam::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setFont(normalFont_);
    QRect clip = event->rect();
    if (repaintFrom_ >= 0)
        clip.setLeft(std::max(0, repaintFrom_ - 1));

    if (repaintFrom_ == kRepaintButtonsOnly) {
        // The next button's right frame line lies on the gap column.
        painter.setClipRect(QRect(0, 0, buttonAreaWidth_ + 1, height()));
    } else {
        painter.setClipRect(clip);
        EraseBackground(painter, clip);
    }
    if (repaintFrom_ == kRepaintButtonsOnly || clip.left() <= buttonAreaWidth_) {
        const bool pressed = pressedLook_ && tracking_;
        DrawScrollButton(painter, ScrollButton::Previous,
                         pressed && pressedButton_ == ScrollButton::Previous);
        DrawScrollButton(painter, ScrollButton::Next,
                         pressed && pressedButton_ == ScrollButton::Next);
    }
    if (repaintFrom_ != kRepaintButtonsOnly)
        PaintTabs(painter, clip);
}

void CGXTabBeam::EraseBackground(QPainter& painter, const QRect& dirty) {
    // From the top row (not the second): the corners of the button frames
    // and the gap column's top pixel would otherwise keep stale pixels.
    const int left = std::max(0, dirty.left());
    painter.fillRect(QRect(left, 0, width() - left, height()), scrollBarColour_);
}

void CGXTabBeam::PaintTabs(QPainter& painter, QRect clip) {
    const int start = Layout().TabAreaStart();
    clip.setLeft(std::max(clip.left(), start));
    if (clip.isEmpty())
        return;
    painter.setClipRect(clip, Qt::IntersectClip);
    painter.fillRect(QRect(clip.left(), 1, clip.width(), clip.height()), scrollBarColour_);
    painter.fillRect(QRect(clip.left(), 0, clip.width(), 1), Qt::black);

    const int clipRight = clip.left() + clip.width();
    int last = TabAtX(clipRight + kSlant);
    if (last == -1)
        last = Count() - 1;
    const int first = std::max(0, TabAtX(clip.left()) - 1);
    // Right to left, so that each tab covers the slant of its right
    // neighbour; the current tab last, on top of both neighbours.
    for (int index = last; index >= first; --index) {
        if (index != current_)
            DrawTab(painter, index);
    }
    if (first <= current_ && current_ <= last)
        DrawTab(painter, current_);
}

void CGXTabBeam::DrawTab(QPainter& painter, int index) {
    const TabEntry& tab = tabs_[index];
    const int left = TabLeft(index);
    const int width = tab.width;
    const int h = height_;
    const bool current = index == current_;

    const QPolygon outline({QPoint(left, 0), QPoint(left + width + 2 * kSlant, 0),
                            QPoint(left + width + kSlant, h - 1), QPoint(left + kSlant, h - 1)});
    const QRegion region(outline, Qt::OddEvenFill);
    FillRegion(painter, region, current || tab.selected ? windowColour_ : faceColour_);
    FillRegion(painter, InnerFrame(region), Qt::black);
    if (current) {
        // No top border: the current tab joins the sheet area above it.
        painter.fillRect(QRect(left, 0, width + 2 * kSlant, 1), windowColour_);
    }
    // A shadow inside the bottom edge and up the right slant.
    const QPoint corner(left + kSlant + width - 1, h - 2);
    DrawLineExcludingEnd(painter, QPoint(left + kSlant + 1, h - 2), corner, shadowColour_);
    DrawLineExcludingEnd(painter, corner, QPoint(left + width + 2 * kSlant - 2, 0), shadowColour_);

    const QFont& font = current ? boldFont_ : normalFont_;
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int textHeight = QFontMetrics(font).height();
    const int top = std::max(0, h - textHeight - 1) / 2;
    const int markRoom = tab.marked ? kMarkRoom : 0;
    painter.drawText(QRect(left + kSlant, top, width - markRoom, h - 1 - top),
                     Qt::AlignCenter | Qt::TextSingleLine, tab.name);
    if (tab.marked) {
        // Centred in the room after the name, in the palette's highlight.
        const QPoint centre(left + kSlant + width - markRoom / 2 - 1, (h - 1) / 2);
        const QPolygon diamond({centre + QPoint(0, -kMarkRadius), centre + QPoint(kMarkRadius, 0),
                                centre + QPoint(0, kMarkRadius), centre + QPoint(-kMarkRadius, 0)});
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.drawPolygon(diamond);
        painter.setBrush(Qt::NoBrush);
    }
    painter.setFont(normalFont_);
}

void CGXTabBeam::DrawScrollButton(QPainter& painter, ScrollButton button, bool pressed) {
    const int w = buttonWidth_;
    const int h = height_;
    const QRect frame = ScrollButtonRect(button);
    const int x = frame.x();
    PaintButtonFrame(painter, frame, pressed);

    const QColor glyph = IsButtonEnabled(button) ? QColor(Qt::black) : kDisabledGlyph;
    const int shift = pressed ? 1 : 0;
    const int top = (h - 9) / 2 + shift;
    // Five columns of 1, 3, 5, 7 and 9 pixels: a triangle nine pixels tall.
    for (int column = 0; column < 5; ++column) {
        const int length = 2 * column + 1;
        const int y = top + 4 - column;
        const int columnX = button == ScrollButton::Previous
                                ? x + (w - 6) / 2 - 1 + shift + 2 + column
                                : x + w - (w - 6) / 2 + shift - 2 - column;
        painter.fillRect(QRect(columnX, y, 1, length), glyph);
    }
}

void CGXTabBeam::PaintButtonFrame(QPainter& painter, QRect frame, bool pressed) {
    const QPalette& colours = palette();
    const QColor face = colours.color(QPalette::Button);
    const QColor shadow = colours.color(QPalette::Dark);
    const QColor highlight = colours.color(QPalette::Light);
    // Fusion's window-frame colour is its text colour, black.
    const QColor edge = colours.color(QPalette::WindowText);
    const int x = frame.x();
    const int y = frame.y();
    const int w = frame.width();
    const int h = frame.height();

    // Frame lines without corners; the bottom one lies below the client area.
    painter.fillRect(QRect(x + 1, y, w - 1, 1), edge);
    painter.fillRect(QRect(x + 1, y + h, w - 1, 1), edge);
    painter.fillRect(QRect(x, y + 1, 1, h - 1), edge);
    painter.fillRect(QRect(x + w, y + 1, 1, h - 1), edge);
    painter.fillRect(QRect(x + 1, y + 1, w - 1, h - 1), face);
    if (pressed) {
        painter.fillRect(QRect(x + 1, y + 1, 2, h - 1), shadow);
        painter.fillRect(QRect(x + 1, y + 1, w - 1, 2), shadow);
        painter.fillRect(QRect(x + w - 1, y + 1, 1, h - 1), shadow);
        painter.fillRect(QRect(x + 1, y + h - 1, w - 1, 1), shadow);
        return;
    }
    painter.fillRect(QRect(x + 1, y + 1, 1, h - 2), highlight);
    painter.fillRect(QRect(x + 1, y + 1, w - 2, 1), highlight);
    painter.fillRect(QRect(x + w - 1, y + 1, 1, h - 1), shadow);
    painter.fillRect(QRect(x + 1, y + h - 2, w - 1, 1), shadow);
    painter.fillRect(QRect(x + w - 2, y + 2, 1, h - 3), shadow);
    painter.fillRect(QRect(x + 2, y + h - 3, w - 3, 1), shadow);
}

} // namespace controls
