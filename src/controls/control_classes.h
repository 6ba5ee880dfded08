// The registry of control window classes: names under which windows can be
// created, so that code (and descriptions of dialogs) can ask for a window by
// class name alone. RegisterControlClasses() registers the five classes of the
// image window controls once, at start-up, before any of their windows exist.
//
// A tab beam or tab window created by class name belongs to its window:
// closing the window deletes the object. One made by program code (a beam made
// by its tab window, a tab window made by a dialog) is deleted by its owner.
//
// User-interface thread only.
#pragma once

#include <QString>

#include <functional>

class QObject;
class QWidget;

namespace controls {

inline const QString kTabBeamClass = QStringLiteral("CGXTabBeam");
inline const QString kTabWindowClass = QStringLiteral("CGXTabWnd");
// Plain windows: the images dialogs' views and the sheets.
inline const QString kPlainWindowClass = QStringLiteral("GXWND");
// The window that a tab window made without a dialog control would create.
inline const QString kFrameWindowClass = QStringLiteral("GxMdiFrame");
// An edit control under its own name; nothing in the program creates one.
inline const QString kEditWindowClass = QStringLiteral("GXEDIT");

// Every widget receives double-clicks and repaints whole when resized, which
// is all that the classes' styles ask for; a class is its name and its maker.
struct WindowClass {
    QString name;
    // Makes the window's object, a child of `parent` (or a top-level window).
    std::function<QWidget*(QWidget* parent)> make;
    // Objects made for windows of this class belong to their window and are
    // deleted when it closes.
    bool objectOwnedByWindow = false;
};

// Registers the class unless its name is registered already; returns whether
// it was registered now.
bool RegisterWindowClass(WindowClass windowClass);
bool IsWindowClassRegistered(const QString& name);

// Registers "CGXTabBeam", "CGXTabWnd", "GXWND", "GxMdiFrame" and "GXEDIT", in
// that order, each only if it is not registered yet; a second call does nothing.
void RegisterControlClasses();

// Creates a window of a registered class with the control id; null for a
// name that is not registered.
QWidget* CreateWindowOfClass(const QString& className, QWidget* parent, int controlId = 0);

// True while `object` is a window object that a class made and that is
// deleted with its window.
bool IsOwnedByItsWindow(const QObject* object);
// How many window-owned objects of the class are alive.
int LiveWindowOwnedObjects(const QString& className);

// Control ids of child windows, as dialog descriptions and messages name them.
void SetControlId(QWidget* window, int controlId);
// 0 for a window without an id.
int ControlId(const QWidget* window);
// The first direct child of `parent` with the id, or null.
QWidget* FindControl(const QWidget* parent, int controlId);

} // namespace controls
