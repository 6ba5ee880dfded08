// TabNameEditor: the in-place editor that a tab window opens over a tab to
// rename it. It reports to its parent (the tab window) by sending
// WM_TAB_EDIT_DONE for Enter and WM_TAB_EDIT_CANCEL for Escape or when it
// loses the focus. User-interface thread only.
#pragma once

#include <QLineEdit>

namespace controls {

class TabNameEditor : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int kControlId = 23001;

    explicit TabNameEditor(QWidget* parent);

protected:
    // Enter and Escape belong to the editor even inside a dialog or under a
    // window's shortcuts, and Tab does not move the focus away.
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace controls
