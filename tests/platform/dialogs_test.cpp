#include "platform/dialogs.h"

#include "event_pump.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>
#include <ostream>

using namespace platform;

namespace {

struct FilterCase {
    const char* name;
    const char* filter;
    QStringList expected;
};

class FilterConversion : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterConversion, GivesOneQtFilterPerPair) {
    EXPECT_EQ(ConvertFilter(GetParam().filter), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, FilterConversion,
    ::testing::Values(
        FilterCase{
            "Movies",
            "Movie File (MPEG) (*,mpeg,*.mpg,*.m1v,*.mp2)|*.mpeg;*.mpg;*.m1v;*.mp2|Active "
            "Streaming Format "
            "(*.asf)|*.asf|Active Streaming Redirector (*.asx)|*.asx|Audio Video Interleave Format "
            "(*.avi)|*.avi|RealAudio/RealVideo (*.rm)|*.rm|Wave Audio (*.wav)|*.wav|All Files "
            "(*.*)|*.*||",
            {"Movie File (MPEG) (*,mpeg,*.mpg,*.m1v,*.mp2) (*.mpeg *.mpg *.m1v *.mp2)",
             "Active Streaming Format (*.asf) (*.asf)",
             "Active Streaming Redirector (*.asx) (*.asx)",
             "Audio Video Interleave Format (*.avi) (*.avi)", "RealAudio/RealVideo (*.rm) (*.rm)",
             "Wave Audio (*.wav) (*.wav)", "All Files (*.*) (*)"}},
        FilterCase{"Jpeg",
                   "Joint Photographic Experts Group (JPEG) (*,jpg)|*.jpg||",
                   {"Joint Photographic Experts Group (JPEG) (*,jpg) (*.jpg)"}},
        FilterCase{"Empty", "", {}}, FilterCase{"OnlyTerminator", "||", {}},
        FilterCase{"DescriptionWithoutPatterns",
                   "Pictures|*.png;;*.bmp|Lonely||",
                   {"Pictures (*.png *.bmp)"}},
        FilterCase{"NoTerminator", "Text|*.txt", {"Text (*.txt)"}}),
    [](const auto& info) { return info.param.name; });

class StringTable : public ::testing::Test {
protected:
    void SetUp() override {
        InstallStringTable([](int id) {
            static const std::map<int, QString> table{
                {61204, QStringLiteral("Couldn´t write in %1 directory!")},
                {61207, QStringLiteral("Copying image %1 ...")},
                {9, QStringLiteral("%1 and %1")}};
            const auto found = table.find(id);
            return found == table.end() ? QString() : found->second;
        });
    }
    void TearDown() override { InstallStringTable(nullptr); }
};

TEST_F(StringTable, FormatReplacesEveryPlaceholder) {
    EXPECT_EQ(FormatString(61207, QStringLiteral("00")), QStringLiteral("Copying image 00 ..."));
    EXPECT_EQ(FormatString(61204, QStringLiteral("/tmp/ró")),
              QStringLiteral("Couldn´t write in /tmp/ró directory!"));
    EXPECT_EQ(FormatString(9, QStringLiteral("x")), QStringLiteral("x and x"));
    // An argument that itself holds "%1" is not expanded again.
    EXPECT_EQ(FormatString(61207, QStringLiteral("%1")), QStringLiteral("Copying image %1 ..."));
}

TEST_F(StringTable, UnknownIdsAndNoTableGiveEmptyText) {
    EXPECT_TRUE(LoadString(12345).isEmpty());
    EXPECT_TRUE(FormatString(12345, QStringLiteral("a")).isEmpty());
    InstallStringTable(nullptr);
    EXPECT_TRUE(LoadString(61207).isEmpty());
}

TEST(ScriptedDialogs, MessagesTakeScriptedAnswersInOrderAndAreRecorded) {
    ScriptedDialogs script;
    script.AnswerMessage(DialogAnswer::kCancel);
    script.AnswerMessage(DialogAnswer::kOk);
    EXPECT_EQ(ShowMessage("a", "Tesselon", MessageIcon::kQuestion, MessageButtons::kOkCancel),
              DialogAnswer::kCancel);
    EXPECT_EQ(ShowMessage("b", "Tesselon", MessageIcon::kQuestion, MessageButtons::kOkCancel),
              DialogAnswer::kOk);
    EXPECT_EQ(ShowMessage("c", "FATAL ERROR", MessageIcon::kError, MessageButtons::kOk),
              DialogAnswer::kOk);
    const auto shown = script.Messages();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2].text, "c");
    EXPECT_EQ(shown[2].caption, "FATAL ERROR");
    EXPECT_EQ(shown[2].icon, MessageIcon::kError);
    EXPECT_EQ(shown[2].buttons, MessageButtons::kOk);
    EXPECT_EQ(shown[0].buttons, MessageButtons::kOkCancel);
}

TEST(ScriptedDialogs, MessagesRecordTheActiveWindowAsOwner) {
    QWidget window;
    window.setWindowTitle("Owner");
    window.show();
    QApplication::setActiveWindow(&window);
    ScriptedDialogs script;
    ShowMessage("x", "Tesselon", MessageIcon::kWarning, MessageButtons::kOk);
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0].ownerTitle, "Owner");
}

TEST(ScriptedDialogs, FileDialogsTakeScriptedPathsOrCancel) {
    ScriptedDialogs script;
    script.AnswerFile(QStringLiteral("/videos/clip.mpg"));
    script.AnswerFile(std::nullopt);
    FileDialogOptions open{"Movie|*.mpg||", "mpg", {}, {}, nullptr};
    FileDialogOptions save{"JPEG|*.jpg||", "jpg", "41708", "/tmp", nullptr};
    EXPECT_EQ(AskOpenFile(open), QStringLiteral("/videos/clip.mpg"));
    EXPECT_EQ(AskSaveFile(save), std::nullopt);
    EXPECT_EQ(AskSaveFile(save), std::nullopt); // unscripted: cancelled
    const auto shown = script.FileDialogs();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].kind, FileDialogKind::kOpen);
    EXPECT_EQ(shown[0].options.defaultExtension, "mpg");
    EXPECT_EQ(shown[1].kind, FileDialogKind::kSave);
    EXPECT_EQ(shown[1].options.initialName, "41708");
}

TEST(ScriptedDialogs, OnlyTheLiveScriptAnswers) {
    {
        ScriptedDialogs script;
        EXPECT_EQ(ScriptedDialogs::Current(), &script);
    }
    EXPECT_EQ(ScriptedDialogs::Current(), nullptr);
}

TEST(ScriptedDialogs, HeadlessRunsReadTheirAnswersFromTheEnvironment) {
    qunsetenv("TESSELON_DIALOG_ANSWERS");
    EXPECT_EQ(ScriptedDialogs::FromEnvironment(), nullptr);
    qputenv("TESSELON_DIALOG_ANSWERS", "cancel,file:/data/a,b.mpg,nofile,bogus,ok,keep");
    auto script = ScriptedDialogs::FromEnvironment();
    qunsetenv("TESSELON_DIALOG_ANSWERS");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(ScriptedDialogs::Current(), script.get());
    EXPECT_EQ(ShowMessage("m", "Tesselon", MessageIcon::kNone, MessageButtons::kOkCancel),
              DialogAnswer::kCancel);
    EXPECT_EQ(ShowMessage("m", "Tesselon", MessageIcon::kNone, MessageButtons::kOkCancel),
              DialogAnswer::kOk);
    EXPECT_EQ(
        ShowMessage("m", "Tesselon", MessageIcon::kNone, MessageButtons::kReplaceAllKeepBothCancel),
        DialogAnswer::kKeepBoth);
    EXPECT_EQ(AskOpenFile({}), QStringLiteral("/data/a"));
    EXPECT_EQ(AskOpenFile({}), std::nullopt); // "nofile"; "b.mpg" and "bogus" are no answers
    EXPECT_EQ(AskOpenFile({}), std::nullopt); // unscripted
}

// Without a script a real message box opens, owned by the active window.
struct RealBoxCase {
    const char* name;
    MessageButtons buttons;
    QMessageBox::StandardButton press;
    DialogAnswer expected;
};

// GoogleTest would print the bytes of the struct, padding that was never
// written included.
void PrintTo(const RealBoxCase& box, std::ostream* out) {
    *out << box.name;
}

class RealMessageBox : public ::testing::TestWithParam<RealBoxCase> {};

TEST_P(RealMessageBox, ReturnsTheButtonPressed) {
    QWidget owner;
    owner.show();
    QApplication::setActiveWindow(&owner);
    QString seenText;
    QWidget* seenParent = nullptr;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenText = box->text();
        seenParent = box->parentWidget();
        seenIcon = box->icon();
        box->button(GetParam().press)->click();
    });
    EXPECT_EQ(ShowMessage("Could not set fullscreen!", "FATAL ERROR", MessageIcon::kError,
                          GetParam().buttons),
              GetParam().expected);
    EXPECT_EQ(seenText, "Could not set fullscreen!");
    EXPECT_EQ(seenParent, &owner);
    EXPECT_EQ(seenIcon, QMessageBox::Critical);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, RealMessageBox,
                         ::testing::Values(RealBoxCase{"Ok", MessageButtons::kOk, QMessageBox::Ok,
                                                       DialogAnswer::kOk},
                                           RealBoxCase{"OkOfTwo", MessageButtons::kOkCancel,
                                                       QMessageBox::Ok, DialogAnswer::kOk},
                                           RealBoxCase{"Cancel", MessageButtons::kOkCancel,
                                                       QMessageBox::Cancel, DialogAnswer::kCancel}),
                         [](const auto& info) { return info.param.name; });

// The question about existing files: each of its buttons, and Escape.
TEST(ReplaceAllKeepBothBox, ReturnsTheButtonPressedAndEscapeCancels) {
    const std::vector<std::pair<QString, DialogAnswer>> presses = {
        {"&Replace all", DialogAnswer::kOk},
        {"&Keep both", DialogAnswer::kKeepBoth},
        {"Cancel", DialogAnswer::kCancel},
        {"Escape", DialogAnswer::kCancel}};
    for (const auto& [press, expected] : presses) {
        QTimer::singleShot(0, [press = press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            ASSERT_EQ(box->buttons().size(), 3);
            if (press == "Escape") {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->buttons())
                if (button->text() == press)
                    button->click();
        });
        EXPECT_EQ(ShowMessage("Some exist", "Tesselon", MessageIcon::kQuestion,
                              MessageButtons::kReplaceAllKeepBothCancel),
                  expected)
            << press.toStdString();
    }
}

} // namespace

namespace platform {
namespace {

// A scripted run prints every message box it answers, so that none hides an
// error; a test's script stays quiet.
TEST(ScriptedEchoTest, ScriptFromTheEnvironmentPrintsEveryMessageBoxOnStandardError) {
    qputenv("TESSELON_DIALOG_ANSWERS", "cancel");
    const std::unique_ptr<ScriptedDialogs> script = ScriptedDialogs::FromEnvironment();
    qunsetenv("TESSELON_DIALOG_ANSWERS");
    ASSERT_NE(script, nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessage("Replace it?", "Tesselon", MessageIcon::kNone, MessageButtons::kOkCancel),
              DialogAnswer::kCancel);
    EXPECT_EQ(ShowMessage("Could not open file!", "FATAL ERROR", MessageIcon::kError,
                          MessageButtons::kOk),
              DialogAnswer::kOk);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("\"Tesselon\": Replace it? [answered cancel]"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("\"FATAL ERROR\": Could not open file! [no answer left, answered ok]"),
              std::string::npos)
        << printed;
}

TEST(ScriptedEchoTest, TestScriptsPrintNothing) {
    ScriptedDialogs script;
    ::testing::internal::CaptureStderr();
    ShowMessage("Quiet", "Tesselon", MessageIcon::kNone, MessageButtons::kOk);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(script.Messages().size(), 1u);
}

} // namespace
} // namespace platform
