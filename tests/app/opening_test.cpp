// Opening files from outside the File menu: the command line, a drop, the
// keyboard.
#include "app/command_line.h"
#include "app/video_view.h"
#include "app_fixture.h"

#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace app_test {
namespace {

TEST_F(AppTest, StartFileOpensAsFileOpenWould) {
    CGrabberApp::Options options = SilentOptions();
    options.startFile = AppDataPath("cif_352x288.mpg");
    ASSERT_TRUE(Start(std::move(options)));
    EXPECT_TRUE(gSource->IsOpen());
    EXPECT_TRUE(gSource->IsPlaying());
    EXPECT_TRUE(Frame().IsTimerRunning());
    EXPECT_EQ(Frame().Path(), AppDataPath("cif_352x288.mpg"));
    EXPECT_EQ(Frame().View()->size(), QSize(352, 288));
    EXPECT_TRUE(dialogs_.FileDialogs().empty()) << "no dialog for a file given";
}

QByteArray ClipBytes(const char* clip) {
    QFile file(DataPath(clip));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString WriteFile(const QTemporaryDir& folder, const char* name, const QByteArray& bytes) {
    QFile file(folder.filePath(QString::fromUtf8(name)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return file.fileName();
}

TEST_F(AppTest, BadStartFilesShowTheirMessageAndTheWindowStays) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray avi = ClipBytes("index_mpeg4.avi");
    const struct {
        QString path;
        QString text; // empty: the file opens and plays what it holds
    } cases[] = {
        {DataPath("not_a_video.mpg"), QStringLiteral("Could not open file!")},
        {DataPath("audio_only.wav"),
         QStringLiteral("Could not get Primary Video Stream interface!")},
        {DataPath("too_wide.avi"), QStringLiteral("Could not create stream sample!")},
        // The headers of a video, cut where its frames would begin.
        {WriteFile(folder, "header_only.avi", avi.left(avi.indexOf("movi") + 4)),
         QStringLiteral("No picture could be decoded from header_only.avi. The file may be cut "
                        "short or damaged.")},
        // Cut after a few frames: those play.
        {WriteFile(folder, "cut_short.mpg", ClipBytes("index.mpg").left(2000)), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const std::size_t before = dialogs_.Messages().size();
        CGrabberApp::Options options = SilentOptions();
        options.startFile = c.path;
        app_.reset();
        ASSERT_TRUE(Start(std::move(options))) << "a bad file does not end the program";
        const auto messages = dialogs_.Messages();
        ASSERT_EQ(messages.size(), before + (c.text.isEmpty() ? 0 : 1));
        EXPECT_EQ(gSource->IsOpen(), c.text.isEmpty());
        EXPECT_TRUE(Frame().isVisible());
        if (c.text.isEmpty())
            continue;
        EXPECT_EQ(messages.back().text, c.text);
        EXPECT_EQ(messages.back().caption, QStringLiteral("FATAL ERROR"));
        EXPECT_EQ(messages.back().icon, platform::MessageIcon::kError);
    }
}

void Drop(CMainFrame& frame, const QList<QUrl>& urls, bool* accepted) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = frame.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &enter);
    *accepted = enter.isAccepted();
    if (!*accepted)
        return;
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &drop);
    test_support::PumpPending();
}

TEST_F(AppTest, DroppingOneVideoFileOpensIt) {
    ASSERT_TRUE(Start());
    bool accepted = false;
    Drop(Frame(), {QUrl::fromLocalFile(DataPath("index.mpg"))}, &accepted);
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(gSource->IsOpen());
    EXPECT_EQ(Frame().Path(), DataPath("index.mpg"));
    EXPECT_EQ(Frame().VideoWidth(), 176);
}

TEST_F(AppTest, DropsThatAreNotOneLocalFileOrComeDuringABatchAreRefused) {
    ASSERT_TRUE(Start());
    bool accepted = true;
    Drop(Frame(),
         {QUrl::fromLocalFile(DataPath("index.mpg")), QUrl::fromLocalFile(DataPath("index.mp4"))},
         &accepted);
    EXPECT_FALSE(accepted) << "two files";
    Drop(Frame(), {QUrl(QStringLiteral("https://example.org/a.mpg"))}, &accepted);
    EXPECT_FALSE(accepted) << "not a local file";
    Frame().SetCommandsEnabled(false);
    Drop(Frame(), {QUrl::fromLocalFile(DataPath("index.mpg"))}, &accepted);
    EXPECT_FALSE(accepted) << "File, Open is disabled";
    Frame().SetCommandsEnabled(true);
    EXPECT_FALSE(gSource->IsOpen());
}

TEST_F(AppTest, KeysRunTheCommandsWhileTheyAreEnabled) {
    ASSERT_TRUE(Start());
    Frame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    dialogs_.AnswerFile(DataPath("index.mpg"));
    QTest::keyClick(&Frame(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(gSource->IsOpen()) << "Ctrl+O";
    Frame().SetCommandsEnabled(false);
    QTest::keyClick(&Frame(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(gSource->IsOpen()) << "Ctrl+W while Close is disabled";
    Frame().SetCommandsEnabled(true);
    QTest::keyClick(&Frame(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(gSource->IsOpen()) << "Ctrl+W";
}

struct LineCase {
    QStringList arguments;
    CommandLine::Action action;
    const char* file;
    int exitCode;
    friend void PrintTo(const LineCase& c, std::ostream* out) {
        *out << c.arguments.join(u' ').toStdString();
    }
};

class CommandLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineTest, FindsTheFileOrWhatEndsTheProgram) {
    const CommandLine line = ParseCommandLine(GetParam().arguments);
    EXPECT_EQ(line.action, GetParam().action);
    EXPECT_EQ(line.file, QString::fromUtf8(GetParam().file));
    EXPECT_EQ(ExitCodeOf(line.action), GetParam().exitCode);
    EXPECT_EQ(line.output.isEmpty(), line.action == CommandLine::Action::kRun);
}

using Action = CommandLine::Action;
INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    ::testing::Values(
        LineCase{{"tesselon"}, Action::kRun, "", 0},
        LineCase{{"tesselon", "a.mpg"}, Action::kRun, "a.mpg", 0},
        LineCase{{"tesselon", "--", "-odd name.mpg"}, Action::kRun, "-odd name.mpg", 0},
        LineCase{{"tesselon", "--help"}, Action::kHelp, "", 0},
        LineCase{{"tesselon", "a.mpg", "-h"}, Action::kHelp, "", 0},
        // Help wins over an option only QApplication knows.
        LineCase{{"tesselon", "-platform", "offscreen", "--help"}, Action::kHelp, "", 0},
        LineCase{{"tesselon", "--version"}, Action::kVersion, "", 0},
        LineCase{{"tesselon", "--frobnicate"}, Action::kError, "", 2},
        LineCase{{"tesselon", "a.mpg", "b.mpg"}, Action::kError, "", 2},
        LineCase{{"tesselon", "--", "--x"}, Action::kRun, "--x", 0},
        LineCase{{"tesselon", "--", "-platform", "x"}, Action::kError, "", 2},
        LineCase{{"tesselon", "--", "-platform"}, Action::kRun, "-platform", 0},
        LineCase{{"tesselon", "-", "-style=fusion"}, Action::kRun, "-", 0},
        LineCase{{"tesselon", "--frobnicate", "--help"}, Action::kHelp, "", 0},
        LineCase{{"tesselon", "--vers"}, Action::kVersion, "", 0},
        LineCase{{"tesselon", "-vh"}, Action::kVersion, "", 0},
        LineCase{{"tesselon", "--help=1"}, Action::kError, "", 2},
        LineCase{{"tesselon", "-x", "a.mpg"}, Action::kError, "", 2},
        LineCase{{"tesselon", "-platformx", "a.mpg"}, Action::kError, "", 2}));

// Qt's options go to QApplication alone, with their values, in either
// spelling; a file's name is never taken for one.
TEST(CommandLineQtOptionsTest, GoToQApplicationAlone) {
    const struct {
        QStringList arguments;
        QStringList qtOptions;
        const char* file;
    } cases[] = {
        {{"tesselon", "-platform", "offscreen", "a.mpg"}, {"-platform", "offscreen"}, "a.mpg"},
        {{"tesselon", "a.mpg", "--style", "fusion", "-reverse"},
         {"--style", "fusion", "-reverse"},
         "a.mpg"},
        {{"tesselon", "-style=fusion", "-qmljsdebugger=port:1", "-widgetcount"},
         {"-style=fusion", "-qmljsdebugger=port:1", "-widgetcount"},
         ""},
        {{"tesselon", "-display", ":1", "-geometry", "10x10", "-session", "s"},
         {"-display", ":1", "-geometry", "10x10", "-session", "s"},
         ""},
        {{"tesselon", "-platform", "offscreen", "--", "-style"},
         {"-platform", "offscreen"},
         "-style"},
    };
    for (const auto& c : cases) {
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.action, CommandLine::Action::kRun) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(line.qtOptions, c.qtOptions) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(line.file, QString::fromUtf8(c.file));
    }
}

#ifdef TESSELON_PROGRAM
QProcess& StartProgram(QProcess& process, const QStringList& arguments,
                       const QByteArray& answers = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TESSELON_DIALOG_ANSWERS"), QString::fromUtf8(answers));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TESSELON_PROGRAM), arguments);
    return process;
}

TEST(ProgramTest, HelpAndVersionPrintAndExitWithoutADisplay) {
    for (const auto& [option, expected] : {std::pair{"--help", "Usage: tesselon [FILE]"},
                                           std::pair{"--version", "Tesselon 1.2.0"}}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TESSELON_PROGRAM), {QString::fromLatin1(option)});
        ASSERT_TRUE(process.waitForFinished(60000)) << option;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << option;
        EXPECT_EQ(process.exitCode(), 0) << option;
        EXPECT_TRUE(process.readAllStandardOutput().contains(expected)) << option;
    }
}

TEST(ProgramTest, UnknownOptionFailsWithAHint) {
    QProcess process;
    StartProgram(process, {QStringLiteral("--frobnicate")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("--help"));
}

// The program runs on until closed: read its error output until the scripted
// message box shows there, then end it.
TEST(ProgramTest, BadFileOnTheCommandLineShowsItsMessageOnStandardError) {
    QProcess process;
    StartProgram(process, {DataPath("not_a_video.mpg")}, "ok");
    ASSERT_TRUE(process.waitForStarted(60000));
    process.setReadChannel(QProcess::StandardError);
    QByteArray errors;
    while (!errors.contains("Could not open file!") && process.waitForReadyRead(60000))
        errors += process.readAllStandardError();
    EXPECT_TRUE(errors.contains("\"FATAL ERROR\": Could not open file! [answered ok]"))
        << errors.toStdString();
    EXPECT_EQ(process.state(), QProcess::Running) << "the window stays open";
    process.kill();
    process.waitForFinished(60000);
}
#endif

} // namespace
} // namespace app_test
