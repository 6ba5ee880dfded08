// What the images windows and the snapshot share, and what the program keeps
// between runs of it: where files are saved and the label stamped under
// every picture, and the format the files are written in.
#pragma once

#include "images/image_format.h"

#include <QString>

#include <filesystem>

namespace images {

struct SavePreferences {
    // Where Save, Save all and the snapshot write; empty: the directory the
    // program was started from.
    std::filesystem::path directory;
    bool labelOn = true;
    // Empty: the program's own label.
    QString labelText;
    // What Save, Save all and the snapshot write.
    StillFormat format;

    bool operator==(const SavePreferences&) const = default;
};

} // namespace images

namespace images {

// The label stamped when the user has not written one.
QString DefaultLabelText();

} // namespace images
