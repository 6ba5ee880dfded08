// CGXTabBeam: the strip of trapezoid tabs along the bottom of a tab window,
// one tab per sheet, with two scroll buttons at its left end.
//
// User-interface thread only. Every request and notification goes to the
// beam's parent widget as a numbered message (see control_messages.h):
// WM_TAB_CAN_CHANGE is sent (a non-zero answer refuses), WM_TAB_CHOSEN and
// WM_TAB_RENAME_REQUEST are posted. A parent that does not handle them
// answers 0.
#pragma once

#include "controls/tab_geometry.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace controls {

// One tab. The beam owns the entry; the sheet is only referred to, and reads
// as null once the sheet has been deleted (the tab itself stays).
struct TabEntry {
    // Inner width: 7 plus the name's width in the bold font.
    int width = 60;
    QString name;
    bool selected = false;
    QPointer<QWidget> sheet;
    // Shown when the pointer rests on the tab; none when empty.
    QString toolTip{};
    // Drawn with a small diamond after its name (the images windows' sharpest picture).
    bool marked = false;
};

class CGXTabBeam : public QWidget {
    Q_OBJECT

public:
    // Child id that a tab window gives its beam.
    static constexpr int kControlId = 59905;
    // repaint-from values other than an x position.
    static constexpr int kRepaintNormally = -1;
    static constexpr int kRepaintButtonsOnly = -2;

    // Reads the colours, makes the fonts and settles the height: square
    // buttons as tall as the horizontal scroll bar or the text plus 2, if
    // taller. The beam starts 1 pixel wide, at its height.
    explicit CGXTabBeam(QWidget* parent = nullptr);
    ~CGXTabBeam() override;

    // Adds a tab at the end; the first tab added becomes current.
    void AppendTab(const QString& name, QWidget* sheet);
    // Width = 7 + the name's width in the bold font (used for every tab).
    void MeasureTab(int index);
    void SetTabName(int index, const QString& name);
    void SetTabToolTip(int index, const QString& text) { tabs_[index].toolTip = text; }
    // Marks or unmarks the tab; its width follows.
    void SetTabMarked(int index, bool marked);
    // First tab that stands for `sheet`, else -1 (also for a null sheet).
    int TabOfSheet(const QWidget* sheet) const;

    int Count() const { return static_cast<int>(tabs_.size()); }
    int Current() const { return current_; }
    // Set directly by the tab window when it shows a sheet; does not repaint.
    void SetCurrent(int index) { current_ = index; }
    int FirstVisible() const { return firstVisible_; }
    // Scrolls the strip so that tab `index` shows whole, when it does not;
    // true when it scrolled (and repaints).
    bool ScrollIntoView(int index);
    // Unchecked: index must be below Count().
    const TabEntry& Entry(int index) const { return tabs_[index]; }
    const QFont& NormalFont() const { return normalFont_; }
    const QFont& BoldFont() const { return boldFont_; }

    int BeamHeight() const { return height_; }
    int ButtonWidth() const { return buttonWidth_; }
    int ButtonAreaWidth() const { return buttonAreaWidth_; }
    int RepaintFrom() const { return repaintFrom_; }
    // Written by the tab window while it moves its splitter: an x position
    // from which to repaint, kRepaintButtonsOnly, or kRepaintNormally.
    void SetRepaintFrom(int value) { repaintFrom_ = value; }

    int TabLeft(int index) const { return Layout().TabLeft(index); }
    int TabAtX(int x) const { return Layout().TabAtX(x); }
    int LastWholeTab() const { return Layout().LastWholeTab(); }
    bool IsButtonEnabled(ScrollButton button) const { return Layout().Enabled(button); }
    // Both scroll buttons; the next button lies right of the previous one.
    QRect ScrollButtonRect(ScrollButton button) const;
    bool IsTracking() const { return tracking_; }
    bool IsButtonDrawnPressed() const { return pressedLook_; }
    // Milliseconds before the next repeat of a held scroll button, as the
    // repeat timer runs.
    int RepeatDelay() const { return repeatTimer_.interval(); }

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private slots:
    // One repeat of a held scroll button.
    void RepeatTick();

private:
    TabStripLayout Layout() const;
    void SetUpFonts();

    ScrollButton ScrollButtonAt(QPoint point, ScrollButton only);
    void StepTabs(ScrollButton button);
    void PickTabAt(int x);
    void LeftButtonDown(Qt::KeyboardModifiers modifiers, QPoint point);
    void ExtendSelection(Qt::KeyboardModifiers modifiers, int x);
    void StartRepeat(QPoint point);
    void TrackPointer(QPoint point);
    // What the button-up does: the hold ends and a pressed button pops up.
    void EndTracking();
    void RepaintButtons();

    void EraseBackground(QPainter& painter, const QRect& dirty);
    void PaintTabs(QPainter& painter, QRect clip);
    void DrawTab(QPainter& painter, int index);
    void DrawScrollButton(QPainter& painter, ScrollButton button, bool pressed);
    void PaintButtonFrame(QPainter& painter, QRect frame, bool pressed);

    QFont boldFont_;
    QFont normalFont_;
    QColor faceColour_;
    QColor windowColour_;
    QColor scrollBarColour_;
    QColor shadowColour_;
    std::vector<TabEntry> tabs_;
    // Inner widths in display order, kept beside the entries for the layout.
    std::vector<int> widths_;
    int current_ = -1;
    int firstVisible_ = 0;
    int buttonAreaWidth_ = 0;
    int height_ = 0;
    int buttonWidth_ = 0;
    ScrollButton pressedButton_ = ScrollButton::None;
    bool pressedLook_ = false;
    bool tracking_ = false;
    int repaintFrom_ = kRepaintNormally;

    // Auto-repeat of a held scroll button, driven by a timer so that other
    // events keep flowing while the button is held.
    QTimer repeatTimer_;
    int repeatDelay_ = 0;
    QPoint pointer_;
};

} // namespace controls
