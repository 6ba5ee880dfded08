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
    default:
        return QString();
    }
}

} // namespace res
