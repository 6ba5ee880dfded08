#include "images/save_preferences.h"

#include "platform/dialogs.h"
#include "res/resource_ids.h"

namespace images {

QString DefaultLabelText() {
    return platform::FormatString(res::IDS_LABEL_TEXT, platform::LoadString(res::IDS_CONTACT));
}

} // namespace images
