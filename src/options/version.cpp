#include "options/version.h"

namespace options {

std::string VersionText(std::string_view program) {
    std::string text =
        program.empty() ? std::string("Tesselon") : std::string(program) + " (Tesselon)";
    return text + " " + kVersion + "\n";
}

} // namespace options
