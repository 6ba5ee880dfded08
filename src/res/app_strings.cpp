#include "res/app_strings.h"

#include "res/resource_ids.h"
#include "res/strings.h"

namespace res {

QString LoadAppString(int id) {
    if (QString text = LoadString(id); !text.isEmpty())
        return text;
    switch (id) {
    case ID_INDICATOR_DURATION:
    case ID_INDICATOR_POSITION:
        return QStringLiteral("00");
    default:
        return QString();
    }
}

} // namespace res
