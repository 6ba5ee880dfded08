#include "controls/control_classes.h"

#include "controls/tab_beam.h"
#include "controls/tab_window.h"

#include <QLineEdit>
#include <QMap>
#include <QVariant>
#include <QWidget>

#include <vector>

namespace controls {
namespace {

constexpr char kControlIdProperty[] = "tesselonControlId";

struct Registry {
    // In registration order.
    std::vector<WindowClass> classes;
    // Every live window-owned object, with the name of its class.
    QMap<const QObject*, QString> ownedByWindow;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

const WindowClass* FindClass(const QString& name) {
    for (const WindowClass& windowClass : TheRegistry().classes) {
        if (windowClass.name == name)
            return &windowClass;
    }
    return nullptr;
}

void AdoptByWindow(QWidget* window, const QString& className) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    TheRegistry().ownedByWindow.insert(window, className);
    QObject::connect(window, &QObject::destroyed,
                     [window] { TheRegistry().ownedByWindow.remove(window); });
}

} // namespace

bool RegisterWindowClass(WindowClass windowClass) {
    if (IsWindowClassRegistered(windowClass.name) || !windowClass.make)
        return false;
    TheRegistry().classes.push_back(std::move(windowClass));
    return true;
}

bool IsWindowClassRegistered(const QString& name) {
    return FindClass(name) != nullptr;
}

void RegisterControlClasses() {
    RegisterWindowClass(
        {kTabBeamClass, [](QWidget* parent) { return new CGXTabBeam(parent); }, true});
    RegisterWindowClass(
        {kTabWindowClass, [](QWidget* parent) { return new CGXTabWnd(parent); }, true});
    RegisterWindowClass({kPlainWindowClass, [](QWidget* parent) {
                             return new QWidget(parent);
                         }});
    RegisterWindowClass({kFrameWindowClass, [](QWidget* parent) {
                             return new QWidget(parent);
                         }});
    RegisterWindowClass({kEditWindowClass, [](QWidget* parent) {
                             return new QLineEdit(parent);
                         }});
}

QWidget* CreateWindowOfClass(const QString& className, QWidget* parent, int controlId) {
    const WindowClass* windowClass = FindClass(className);
    if (windowClass == nullptr)
        return nullptr;
    QWidget* window = windowClass->make(parent);
    if (controlId != 0)
        SetControlId(window, controlId);
    if (windowClass->objectOwnedByWindow)
        AdoptByWindow(window, windowClass->name);
    return window;
}

bool IsOwnedByItsWindow(const QObject* object) {
    return TheRegistry().ownedByWindow.contains(object);
}

int LiveWindowOwnedObjects(const QString& className) {
    int count = 0;
    for (const QString& name : TheRegistry().ownedByWindow) {
        if (name == className)
            ++count;
    }
    return count;
}

void SetControlId(QWidget* window, int controlId) {
    window->setProperty(kControlIdProperty, controlId);
}

int ControlId(const QWidget* window) {
    return window->property(kControlIdProperty).toInt();
}

QWidget* FindControl(const QWidget* parent, int controlId) {
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (ControlId(child) == controlId)
            return child;
    }
    return nullptr;
}

} // namespace controls
