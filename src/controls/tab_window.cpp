#include "controls/tab_window.h"

#include "controls/control_classes.h"
#include "controls/tab_beam.h"
#include "controls/tab_name_editor.h"
#include "controls/widget_messages.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace controls {
namespace {

// Windows scroll codes, the low word of WM_HSCROLL and WM_VSCROLL.
enum ScrollCode : int {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
    kTop = 6,
    kBottom = 7,
    kEndScroll = 8,
};

int ScrollCodeOf(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return kLineUp;
    case QAbstractSlider::SliderSingleStepAdd:
        return kLineDown;
    case QAbstractSlider::SliderPageStepSub:
        return kPageUp;
    case QAbstractSlider::SliderPageStepAdd:
        return kPageDown;
    case QAbstractSlider::SliderToMinimum:
        return kTop;
    case QAbstractSlider::SliderToMaximum:
        return kBottom;
    case QAbstractSlider::SliderMove:
        return kThumbTrack;
    default:
        return -1;
    }
}

platform::MessageId ScrollMessageOf(const QScrollBar* bar) {
    return bar->orientation() == Qt::Horizontal ? platform::WM_HSCROLL : platform::WM_VSCROLL;
}

platform::WParam ScrollWord(int code, int position) {
    return static_cast<platform::WParam>((static_cast<std::uint32_t>(position) & 0xFFFFu) << 16 |
                                         static_cast<std::uint32_t>(code));
}

// The largest client size that the splitter arithmetic accepts.
constexpr int kLargestClient = 32767;
// The beam's buttons plus this many pixels stay left of the grip.
constexpr int kGripMargin = 20;
// The rename editor is this many "W" widths wide.
constexpr int kEditorWidthInCharacters = 15;

} // namespace

CGXTabWnd::CGXTabWnd(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    connect(qApp, &QApplication::focusChanged, this, &CGXTabWnd::PassFocusOn);
}

CGXTabWnd::~CGXTabWnd() {
    // Children are deleted after this object has stopped being a tab window;
    // the focus changes that their deletion causes must not reach it.
    disconnect(qApp, nullptr, this, nullptr);
}

int CGXTabWnd::NewSheetId() {
    return ++sheetIdCounter_;
}

QScrollBar* CGXTabWnd::ScrollBar(Qt::Orientation orientation) const {
    return orientation == Qt::Horizontal ? horizontalBar_ : verticalBar_;
}

TabWindowLayout CGXTabWnd::Layout() const {
    return TabWindowLayout{width(),           height(),  beamHeight_, horizontalBarShown_,
                           verticalBarShown_, splitterX_};
}

QSize CGXTabWnd::sizeHint() const {
    return QSize(360, 240);
}

// --- Children --------------------------------------------------------------

void CGXTabWnd::CreateChildren() {
    horizontalBarShown_ = true;
    verticalBarShown_ = true;
    horizontalBar_ = CreateScrollBar(Qt::Horizontal, kHorizontalBarId);
    verticalBar_ = CreateScrollBar(Qt::Vertical, kVerticalBarId);
    if (beam_ == nullptr) {
        beam_ = new CGXTabBeam(this);
        SetControlId(beam_, CGXTabBeam::kControlId);
        beam_->show();
    }
    beamHeight_ = beam_->height();
}

QScrollBar* CGXTabWnd::CreateScrollBar(Qt::Orientation orientation, int controlId) {
    auto* bar = new QScrollBar(orientation, this);
    SetControlId(bar, controlId);
    bar->setGeometry(0, 0, 1, 1);
    connect(bar, &QAbstractSlider::actionTriggered, this,
            [this, bar](int action) { PassScrollAction(bar, action); });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar] {
        const platform::MessageId message = ScrollMessageOf(bar);
        const auto barParameter = reinterpret_cast<platform::LParam>(bar);
        platform::SendMessage(Handle(), message, ScrollWord(kThumbPosition, bar->sliderPosition()),
                              barParameter);
        platform::SendMessage(Handle(), message, ScrollWord(kEndScroll, 0), barParameter);
    });
    bar->show();
    return bar;
}

void CGXTabWnd::PassScrollAction(QScrollBar* bar, int action) {
    const int code = ScrollCodeOf(action);
    if (code < 0)
        return;
    const int position = code == kThumbTrack ? bar->sliderPosition() : 0;
    platform::SendMessage(Handle(), ScrollMessageOf(bar), ScrollWord(code, position),
                          reinterpret_cast<platform::LParam>(bar));
}

void CGXTabWnd::ArrangeChildren(Arrange mode) {
    if (!childrenCreated_) {
        CreateChildren();
        childrenCreated_ = true;
    }
    if (splitterPosition_ == 0) {
        lastWidth_ = width();
        splitterPosition_ = (width() / 2) * 100;
        splitterX_ = splitterPosition_ / 100;
    }
    const TabWindowLayout layout = Layout();

    // Every move of one layout is applied together, and children already in
    // place are left alone.
    std::vector<std::pair<QWidget*, QRect>> moves;
    const auto place = [&moves](QWidget* child, const QRect& nominal) {
        const QRect target = TabWindowLayout::Placed(nominal);
        if (child->geometry() != target)
            moves.emplace_back(child, target);
    };
    place(horizontalBar_, layout.HorizontalBarNominal());
    if (mode == Arrange::Normal && verticalBarShown_)
        place(verticalBar_, layout.VerticalBarNominal());
    place(beam_, layout.BeamNominal());
    if (mode == Arrange::Normal && currentSheet_)
        place(currentSheet_, layout.SheetNominal());
    for (const auto& [child, target] : moves)
        child->setGeometry(target);
}

// --- Sheets ----------------------------------------------------------------

QWidget* CGXTabWnd::AddSheet(QWidget* sheet, const QString& name) {
    if (!childrenCreated_)
        ArrangeChildren(Arrange::Normal);
    if (sheet->parentWidget() != this)
        sheet->setParent(this);
    if (sheet != currentSheet_)
        sheet->hide();
    sheet->setGeometry(SheetArea());
    beam_->AppendTab(name, sheet);
    // The sheet's own scroll bars give way to the tab window's.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(sheet)) {
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    if (!currentSheet_) {
        currentSheet_ = sheet;
        // Not activated: see ShowSheet.
        sheet->show();
        // Only differs from the first tab when the sheet on show was deleted.
        beam_->SetCurrent(beam_->TabOfSheet(sheet));
    }
    SendToWidget(sheet, platform::WM_SHEET_ADDED, beam_->TabOfSheet(sheet));
    return sheet;
}

void CGXTabWnd::ShowSheet(QWidget* sheet) {
    if (sheet == nullptr)
        return;
    setFocus();
    if (currentSheet_)
        currentSheet_->hide();
    currentSheet_ = sheet;
    // Making a child window the active one does nothing, whereas Qt would
    // activate the sheet's whole window and take it from, say, a progress
    // dialog that the owner is updating; so the sheet is only shown.
    sheet->show();
    sheet->setFocus();
    if (beam_ != nullptr)
        beam_->SetCurrent(beam_->TabOfSheet(sheet));
    ArrangeChildren(Arrange::Normal);
    if (parentWidget() != nullptr)
        parentWidget()->update();
    // A parent's repaint does not reach the beam (an opaque child), which
    // would go on showing the old current tab.
    if (beam_ != nullptr)
        beam_->update();
}

void CGXTabWnd::SetBarVisible(Bars which, bool show) {
    if (!childrenCreated_)
        return;
    bool changed = false;
    const auto apply = [show, &changed](QScrollBar* bar, bool& shown, QRect hiddenPlace) {
        if (show && !shown) {
            bar->show();
            shown = true;
            changed = true;
        } else if (!show && shown) {
            bar->hide();
            bar->setGeometry(hiddenPlace);
            shown = false;
            changed = true;
        }
    };
    if (which == Bars::Horizontal || which == Bars::Both)
        apply(horizontalBar_, horizontalBarShown_, QRect(0, 0, 1, 1));
    if (which == Bars::Vertical || which == Bars::Both)
        apply(verticalBar_, verticalBarShown_, QRect(0, 0, 0, 0));
    if (changed)
        ArrangeChildren(Arrange::Normal);
}

void CGXTabWnd::PassFocusOn(QWidget* lost, QWidget* gained) {
    // The focus that comes to the tab window itself belongs to the sheet on
    // show, unless that sheet is what just gave it up.
    if (gained == this && currentSheet_ && lost != currentSheet_)
        currentSheet_->setFocus();
}

// --- Size, paint and the grip ----------------------------------------------

void CGXTabWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int cx = width();
    const int cy = height();
    if (cx <= 0 || cy <= 0 || cx >= kLargestClient || cy >= kLargestClient)
        return;
    // A drag has moved the splitter since the last settled position.
    if (splitterX_ != splitterPosition_ / 100)
        splitterPosition_ = splitterX_ * 100;
    if (horizontalBarShown_) {
        if (beam_ != nullptr && lastWidth_ != 0 && splitterPosition_ != 0) {
            // Keep the share of the width measured from a point 20 pixels
            // left of the end of the beam's buttons. 64-bit: the product
            // overflows 32 bits for wide windows.
            const std::int64_t anchor =
                static_cast<std::int64_t>(beam_->ButtonAreaWidth() - kGripMargin) * 100;
            splitterPosition_ =
                static_cast<int>((splitterPosition_ - anchor) * cx / lastWidth_ + anchor);
        } else if (splitterPosition_ == 0) {
            splitterPosition_ = (cx / 2) * 100;
        }
    } else {
        splitterPosition_ = cx * 100;
    }
    splitterX_ = splitterPosition_ / 100;
    lastWidth_ = cx;
    ArrangeChildren(Arrange::Normal);
}

void CGXTabWnd::paintEvent(QPaintEvent*) {
    if (!childrenCreated_)
        ArrangeChildren(Arrange::Normal);
    QPainter painter(this);
    const QPalette& colours = palette();
    // The column right of the sheet area; the rest is covered by children.
    painter.fillRect(QRect(width() - beamHeight_, 0, beamHeight_, height()),
                     colours.color(QPalette::Button));
    if (!horizontalBarShown_)
        return;
    const QRect grip = GripRect();
    const QColor columns[] = {Qt::black, colours.color(QPalette::Light),
                              colours.color(QPalette::Button), colours.color(QPalette::Dark),
                              Qt::black};
    for (int column = 0; column < 5; ++column)
        painter.fillRect(QRect(grip.left() + column, grip.top(), 1, grip.height()),
                         columns[column]);
}

void CGXTabWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (currentSheet_)
            currentSheet_->setFocus();
        // The press grabs the mouse for this widget until the release.
        if (horizontalBarShown_ && GripRect().contains(event->position().toPoint())) {
            dragging_ = true;
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void CGXTabWnd::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (dragging_) {
        if (point.x() != splitterX_)
            MoveGripTo(point.x());
        return;
    }
    UpdateGripCursor(point);
    QWidget::mouseMoveEvent(event);
}

void CGXTabWnd::MoveGripTo(int x) {
    if (x < beam_->ButtonAreaWidth() + kGripMargin || x > width() - 2 * beamHeight_)
        return;
    const QRect oldGrip = GripRect();
    beam_->SetRepaintFrom(std::min(splitterX_, x));
    splitterX_ = x;
    // Only the bar and the beam move; the beam repaints right of the change.
    ArrangeChildren(Arrange::Dragging);
    // Only the grip's old and new places are painted at once: a repaint of
    // the whole tab window would repaint the sheet under it too.
    repaint(QRegion(oldGrip) + GripRect());
}

void CGXTabWnd::UpdateGripCursor(QPoint point) {
    if (horizontalBarShown_ && childrenCreated_ && GripRect().contains(point))
        setCursor(Qt::SizeHorCursor);
    else
        unsetCursor();
}

void CGXTabWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        UpdateGripCursor(event->position().toPoint());
        // The buttons may have changed between enabled and disabled.
        beam_->SetRepaintFrom(CGXTabBeam::kRepaintButtonsOnly);
        beam_->repaint();
        beam_->SetRepaintFrom(CGXTabBeam::kRepaintNormally);
    }
    QWidget::mouseReleaseEvent(event);
}

// --- Messages --------------------------------------------------------------

platform::LResult CGXTabWnd::HandleMessage(platform::MessageId message, platform::WParam wParam,
                                           platform::LParam lParam) {
    const int index = static_cast<int>(wParam);
    switch (message) {
    case platform::WM_TAB_CHOSEN:
        return TabChosen(index);
    case platform::WM_TAB_RENAME_REQUEST:
        BeginRename(index);
        return 0;
    case platform::WM_TAB_CAN_CHANGE:
        return TabCanChange(index);
    case platform::WM_TAB_EDIT_DONE:
        FinishRename();
        return 0;
    case platform::WM_TAB_EDIT_CANCEL:
        CloseEditor();
        return 0;
    case platform::WM_HSCROLL:
    case platform::WM_VSCROLL:
        if (currentSheet_)
            return SendToWidget(currentSheet_, message, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}

platform::LResult CGXTabWnd::TabChosen(int index) {
    if (beam_ == nullptr || index < 0 || index >= beam_->Count())
        return 0;
    QWidget* sheet = beam_->Entry(index).sheet;
    // The tab of a deleted sheet has nothing to show.
    if (sheet == nullptr)
        return 0;
    if (sheet != currentSheet_) {
        ShowSheet(sheet);
    } else if (!platform::IsMessageWaiting(Handle(), platform::WM_TAB_RENAME_REQUEST)) {
        // A waiting rename request means a double-click: keep its editor.
        currentSheet_->setFocus();
        currentSheet_->update();
    }
    return 0;
}

platform::LResult CGXTabWnd::TabCanChange(int index) {
    if (beam_ == nullptr || index < 0 || index >= beam_->Count())
        return 1;
    QWidget* sheet = beam_->Entry(index).sheet;
    if (sheet != nullptr && sheet == currentSheet_)
        return 0;
    // A tab whose sheet was deleted cannot become current.
    if (sheet != nullptr && SendToWidget(currentSheet_, platform::WM_SHEET_CAN_CHANGE, 0) == 0 &&
        SendToWidget(sheet, platform::WM_SHEET_CAN_CHANGE, 1) == 0)
        return 0;
    if (currentSheet_)
        currentSheet_->setFocus();
    return 1;
}

// --- Renaming --------------------------------------------------------------

void CGXTabWnd::BeginRename(int index) {
    if (editor_ != nullptr || beam_ == nullptr || index < 0 || index >= beam_->Count())
        return;
    if (SendToWidget(beam_->Entry(index).sheet, platform::WM_SHEET_CAN_RENAME, index) == 0)
        return;
    const QRect place = EditorRect(index);
    repaint();
    editor_ = new TabNameEditor(this);
    SetControlId(editor_, TabNameEditor::kControlId);
    editor_->setGeometry(place);
    editor_->setText(beam_->Entry(index).name);
    editor_->setFont(beam_->NormalFont());
    editor_->show();
    editor_->raise();
    editor_->setFocus();
}

QRect CGXTabWnd::EditorRect(int index) const {
    const QRect area = SheetArea();
    const int areaRight = area.x() + area.width();
    const int areaBottom = area.y() + area.height();
    const QFontMetrics metrics(beam_->NormalFont());
    const int characterWidth = metrics.horizontalAdvance(QLatin1Char('W'));
    const int characterHeight = metrics.height();
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int width = kEditorWidthInCharacters * characterWidth;

    int left = beam_->TabLeft(index);
    int right = left + width;
    const int top = std::max(0, areaBottom - 2 * (characterHeight + frame));
    const int bottom = top + characterHeight + 4 * frame;
    if (right > areaRight) {
        right = areaRight;
        left = std::max(0, areaRight - width);
    }
    if (left < 0) {
        left = 0;
        right = std::min(width, areaRight);
    }
    return QRect(left, top, right - left, bottom - top);
}

void CGXTabWnd::FinishRename() {
    if (editor_ == nullptr)
        return;
    const QString text = editor_->text();
    CloseEditor();
    const int current = beam_->Current();
    if (current < 0)
        return;
    beam_->SetTabName(current, text);
    beam_->MeasureTab(current);
    SendToWidget(beam_->Entry(current).sheet, platform::WM_SHEET_NAME_CHANGED, current);
}

void CGXTabWnd::CloseEditor() {
    if (editor_ == nullptr)
        return;
    // Cleared first: hiding the editor takes its focus away, and the cancel
    // message that this makes it send must find no editor to close again.
    TabNameEditor* editor = editor_;
    editor_ = nullptr;
    if (editor->hasFocus() && currentSheet_)
        currentSheet_->setFocus();
    editor->hide();
    // The editor may be inside its own key handler.
    editor->deleteLater();
}

} // namespace controls
