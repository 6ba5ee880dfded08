#include "controls/control_classes.h"

#include "controls/tab_beam.h"
#include "controls/tab_window.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>

namespace controls {
namespace {

void FlushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(ControlClasses, RegisteringTwiceRegistersNothingTheSecondTime) {
    RegisterControlClasses();
    for (const QString& name :
         {kTabBeamClass, kTabWindowClass, kPlainWindowClass, kFrameWindowClass, kEditWindowClass})
        EXPECT_TRUE(IsWindowClassRegistered(name)) << name.toStdString();
    RegisterControlClasses();
    EXPECT_FALSE(RegisterWindowClass({kTabBeamClass, [](QWidget* parent) {
                                          return new QWidget(parent);
                                      }}));
    QWidget parent;
    EXPECT_NE(qobject_cast<CGXTabBeam*>(CreateWindowOfClass(kTabBeamClass, &parent)), nullptr);
}

TEST(ControlClasses, WindowsAreCreatedByClassNameWithTheirIds) {
    RegisterControlClasses();
    QWidget parent;
    QWidget* edit = CreateWindowOfClass(kEditWindowClass, &parent, 23001);
    EXPECT_NE(qobject_cast<QLineEdit*>(edit), nullptr);
    QWidget* view = CreateWindowOfClass(kPlainWindowClass, &parent, 1001);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), &parent);
    EXPECT_EQ(FindControl(&parent, 1001), view);
    EXPECT_EQ(FindControl(&parent, 23001), edit);
    EXPECT_EQ(FindControl(&parent, 42), nullptr);
    EXPECT_EQ(CreateWindowOfClass(QStringLiteral("NoSuchClass"), &parent), nullptr);
    EXPECT_FALSE(IsOwnedByItsWindow(view));
}

TEST(ControlClasses, ABeamCreatedByClassNameIsDeletedWithItsWindow) {
    RegisterControlClasses();
    QWidget parent;
    const int before = LiveWindowOwnedObjects(kTabBeamClass);
    QPointer<QWidget> beam = CreateWindowOfClass(kTabBeamClass, &parent);
    ASSERT_TRUE(beam);
    EXPECT_TRUE(IsOwnedByItsWindow(beam));
    EXPECT_EQ(LiveWindowOwnedObjects(kTabBeamClass), before + 1);
    beam->close();
    FlushDeletions();
    EXPECT_FALSE(beam);
    EXPECT_EQ(LiveWindowOwnedObjects(kTabBeamClass), before);
}

TEST(ControlClasses, ATabWindowByClassNameOwnsItselfButNotTheBeamItMade) {
    RegisterControlClasses();
    QWidget parent;
    QPointer<CGXTabWnd> tabs =
        qobject_cast<CGXTabWnd*>(CreateWindowOfClass(kTabWindowClass, &parent));
    ASSERT_TRUE(tabs);
    tabs->resize(300, 200);
    QWidget* sheet = new QWidget(tabs);
    tabs->AddSheet(sheet, QStringLiteral("one"));
    QPointer<CGXTabBeam> beam = tabs->Beam();
    ASSERT_TRUE(beam);
    EXPECT_FALSE(IsOwnedByItsWindow(beam));
    beam->close();
    FlushDeletions();
    EXPECT_TRUE(beam);

    EXPECT_TRUE(IsOwnedByItsWindow(tabs));
    tabs->close();
    FlushDeletions();
    EXPECT_FALSE(tabs);
    EXPECT_FALSE(beam);
    EXPECT_EQ(LiveWindowOwnedObjects(kTabWindowClass), 0);
}

TEST(ControlClasses, ATabWindowMadeByCodeSurvivesClosing) {
    QWidget parent;
    QPointer<CGXTabWnd> tabs = new CGXTabWnd(&parent);
    tabs->close();
    FlushDeletions();
    EXPECT_TRUE(tabs);
    EXPECT_FALSE(IsOwnedByItsWindow(tabs));
}

} // namespace
} // namespace controls
