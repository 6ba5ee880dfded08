// tesselon-grab [--start SECONDS] [--count N] [--paced] VIDEO OUTDIR
#include "grab.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv) {
    // No display is needed: the presenter draws into off-screen surfaces.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    std::string error;
    const auto settings = grab::ParseArguments({argv + 1, argv + argc}, error);
    if (!settings) {
        std::cerr << error << '\n';
        return 64; // EX_USAGE
    }
    return grab::Run(*settings, std::cout);
}
