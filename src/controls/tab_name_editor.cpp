#include "controls/tab_name_editor.h"

#include "controls/widget_messages.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace controls {
namespace {

bool IsEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

bool IsEnterOrEscape(const QKeyEvent* event) {
    return IsEnter(event) || event->key() == Qt::Key_Escape;
}

} // namespace

TabNameEditor::TabNameEditor(QWidget* parent)
    : QLineEdit(parent) {}

bool TabNameEditor::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride &&
        IsEnterOrEscape(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

bool TabNameEditor::focusNextPrevChild(bool) {
    return false;
}

void TabNameEditor::keyPressEvent(QKeyEvent* event) {
    if (!IsEnterOrEscape(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    // The parent may close the editor while handling this; it deletes the
    // editor later, never inside this call.
    SendToWidget(parentWidget(),
                 IsEnter(event) ? platform::WM_TAB_EDIT_DONE : platform::WM_TAB_EDIT_CANCEL);
}

void TabNameEditor::keyReleaseEvent(QKeyEvent* event) {
    if (IsEnterOrEscape(event)) {
        event->accept();
        return;
    }
    QLineEdit::keyReleaseEvent(event);
}

void TabNameEditor::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The editor's own context menu takes the focus only for a moment.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    SendToWidget(parentWidget(), platform::WM_TAB_EDIT_CANCEL);
}

} // namespace controls
