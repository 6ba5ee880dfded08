// CGXTabWnd: a container that shows one of its sheet widgets at a time above
// a tab beam with one tab per sheet. Beside the beam a horizontal scroll bar
// can share the bottom strip, behind a sizing grip that the user drags; a
// vertical scroll bar can run down the right edge. Scroll bar actions are
// passed on to the sheet on show as WM_HSCROLL and WM_VSCROLL messages
// (wParam: the Windows scroll code in the low word, the position in the high
// word; lParam: the QScrollBar*).
//
// Sheets are made by the owner as hidden children of the tab window and
// handed over with AddSheet; the tab window never creates them and never
// deletes one by itself (being its children, any still there when the tab
// window is deleted go with it, as Qt deletes children). A sheet that the
// owner deletes leaves its tab behind, and that tab can no longer be chosen.
// A sheet that is a platform::MessageReceiver may answer WM_SHEET_ADDED,
// WM_SHEET_CAN_RENAME, WM_SHEET_NAME_CHANGED and WM_SHEET_CAN_CHANGE; any other
// sheet answers 0 (never renamed in place, never refuses a change).
//
// User-interface thread only.
#pragma once

#include "controls/tab_window_layout.h"
#include "platform/messages.h"

#include <QPointer>
#include <QWidget>

class QScrollBar;

namespace controls {

class CGXTabBeam;
class TabNameEditor;

class CGXTabWnd : public QWidget, public platform::MessageReceiver {
    Q_OBJECT

public:
    static constexpr int kHorizontalBarId = 59904;
    static constexpr int kVerticalBarId = 59920;
    // NewSheetId hands out the ids after this one.
    static constexpr int kSheetIdBase = 59648;

    enum class Bars { Horizontal = 0, Vertical = 1, Both = 3 };

    explicit CGXTabWnd(QWidget* parent = nullptr);
    ~CGXTabWnd() override;

    // The next sheet id, 59648 + 1 onwards; the owner asks before making each sheet.
    int NewSheetId();
    // Takes a hidden child sheet: adds its tab, and shows it if it is the
    // first one. Returns the sheet.
    QWidget* AddSheet(QWidget* sheet, const QString& name);
    // Shows the sheet, gives it the focus and makes its tab current.
    void ShowSheet(QWidget* sheet);
    // Shows or hides scroll bars; no effect before the children exist (the
    // first AddSheet or paint creates them).
    void SetBarVisible(Bars which, bool show);

    QWidget* CurrentSheet() const { return currentSheet_; }
    // Null until the children exist.
    CGXTabBeam* Beam() const { return beam_; }
    QScrollBar* ScrollBar(Qt::Orientation orientation) const;
    // The open rename editor, or null.
    TabNameEditor* Editor() const { return editor_; }

    TabWindowLayout Layout() const;
    QRect SheetArea() const { return Layout().SheetArea(); }
    QRect GripRect() const { return Layout().GripRect(); }
    int SplitterX() const { return splitterX_; }
    // Hundredths of a pixel, so that repeated resizes keep the share exactly.
    int SplitterPosition() const { return splitterPosition_; }
    int BeamHeight() const { return beamHeight_; }
    bool IsDragging() const { return dragging_; }

    QSize sizeHint() const override;

protected:
    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Arrange { Normal, Dragging };

    void CreateChildren();
    QScrollBar* CreateScrollBar(Qt::Orientation orientation, int controlId);
    void ArrangeChildren(Arrange mode);
    void PassScrollAction(QScrollBar* bar, int action);
    void PassFocusOn(QWidget* lost, QWidget* gained);
    void MoveGripTo(int x);
    void UpdateGripCursor(QPoint point);

    platform::LResult TabChosen(int index);
    platform::LResult TabCanChange(int index);
    void BeginRename(int index);
    QRect EditorRect(int index) const;
    void FinishRename();
    void CloseEditor();

    bool horizontalBarShown_ = true;
    bool verticalBarShown_ = true;
    int sheetIdCounter_ = kSheetIdBase;
    CGXTabBeam* beam_ = nullptr;
    QPointer<QWidget> currentSheet_;
    int splitterX_ = 0;
    int lastWidth_ = 0;
    int beamHeight_ = 0;
    bool dragging_ = false;
    bool childrenCreated_ = false;
    TabNameEditor* editor_ = nullptr;
    int splitterPosition_ = 0;
    QScrollBar* horizontalBar_ = nullptr;
    QScrollBar* verticalBar_ = nullptr;
};

} // namespace controls
