#include "res/app_strings.h"

#include "res/resource_ids.h"
#include "res/strings.h"

namespace res {

QString LoadAppString(int id) {
    if (QString text = SharedTableString(id); !text.isEmpty())
        return text;
    switch (id) {
    case ID_INDICATOR_DURATION:
    case ID_INDICATOR_POSITION:
        return QStringLiteral("00");
    case IDS_SAVE_ALL_FILES_EXIST:
        return QStringLiteral("Some of these images already have files in %1 directory. Replace "
                              "them all, or keep both and save the new images under names "
                              "ending in _2, _3, ...?");
    case IDS_NO_DECODABLE_FRAME:
        return QStringLiteral("No picture could be decoded from %1. The file may be cut short "
                              "or damaged.");
    case ID_CONTROL_SNAPSHOT:
        return QStringLiteral("Save the frame on show into the save directory\nSnapshot (S)");
    case ID_CONTROL_GO_TO:
        return QStringLiteral("Pause on a frame given by its number or its time\nGo to (Ctrl+G)");
    case ID_OPTIONS_CAPTURE_FIXED:
        return QStringLiteral("Capture frames at 360 \u00D7 240");
    case ID_OPTIONS_CAPTURE_VIDEO:
        return QStringLiteral("Capture frames at the video's own size");
    case ID_OPTIONS_IMAGE_FORMAT:
        return QStringLiteral("Choose the format and quality of saved images");
    case IDS_RECENT_VIDEO_GONE:
        return QStringLiteral("%1 is no longer there. It is taken off the list of recent videos.");
    case IDS_GO_TO_NO_FRAME:
        return QStringLiteral("This video has no frame %1: its frames are numbered 0 to %2.");
    case IDS_GO_TO_PAST_END:
        return QStringLiteral("This video has no frame at or after %1: it ends before then.");
    case IDS_GO_TO_NOT_COUNTED:
        return QStringLiteral("The frames of this video could not be counted, so it cannot go to "
                              "a frame number. Give a time instead.");
    case IDS_SNAPSHOT_SAVED:
        return QStringLiteral("Saved %1");
    case IDS_SNAPSHOT_FAILED:
        return QStringLiteral("The snapshot was not saved: %1");
    case IDS_CAPTURE_NEEDS_MEMORY:
        return QStringLiteral("Capturing %1 frames at %2 \u00D7 %3 needs %4 of memory, more than "
                              "half of the %5 free. Capture them at 360 \u00D7 240 instead?");
    default:
        return QString();
    }
}

} // namespace res
