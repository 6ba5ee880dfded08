// tesselon-grab [options] --out DIR VIDEO...   (see --help)
#include "grab.h"
#include "interruption.h"

#include "files/output_file.h"

#include <QApplication>

#include <iostream>

#include <malloc.h>
#include <unistd.h>

namespace {

QtMessageHandler gQtMessages = nullptr;

// Without a desktop session Qt says on every start that XDG_RUNTIME_DIR is
// not set: a batch over thousands of videos would repeat it in every log.
void PassQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (gQtMessages)
        gQtMessages(type, context, message);
    else
        std::cerr << qPrintable(qFormatLogMessage(type, context, message)) << '\n';
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto settings = grab::ParseArguments({argv + 1, argv + argc}, error);
    if (!settings) {
        std::cerr << error << '\n';
        return grab::kExitUsage;
    }
    if (settings->help) {
        std::cout << grab::HelpText();
        return grab::kExitAllWritten;
    }
    if (settings->version) {
        std::cout << grab::VersionText();
        return grab::kExitAllWritten;
    }
    files::FailWritesPastTheFileSizeLimit();
    // Each frame takes a few blocks of some hundred KiB (the capture, the BMP,
    // the coefficient units). glibc would map each such block afresh and
    // unmap it on free, so every frame would fault in and zero new pages;
    // keeping them in the heap lets the next frame reuse them.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    // Each thread that allocates (FFmpeg's decoders, the writers, Qt's) would
    // get an arena reserving 64 MB of address space: most of a gigabyte that a
    // `ulimit -v` counts against the run, for a few large blocks per frame
    // that two arenas serve as fast.
    mallopt(M_ARENA_MAX, 2);
    // No display is needed: the presenter draws into off-screen surfaces.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    gQtMessages = qInstallMessageHandler(PassQtMessage);
    // Qt gets the program's name alone: a video named -platform, after a
    // `--`, is a video, not an option of Qt's.
    int qtArgumentCount = 1;
    QApplication application(qtArgumentCount, argv);

    if (settings->mergeOutput)
        return grab::MergeReportFiles(*settings, std::cerr);
    grab::CatchInterruptions();
    const grab::ProgressStyle progress = settings->progressJson ? grab::ProgressStyle::Json
                                         : isatty(STDERR_FILENO) ? grab::ProgressStyle::InPlace
                                         : settings->progress    ? grab::ProgressStyle::Lines
                                                                 : grab::ProgressStyle::None;
    return grab::Run(*settings, std::cout, std::cerr, progress);
}
