// The rule by which a window keeps its picture in the video's aspect: the
// main frame and both images dialogs answer every resize with it.
#pragma once

#include <QSize>

#include <optional>

namespace platform {

// The client size that a resize to `client` is answered with: the extent that
// is too large for `aspect` (width ÷ height) is kept and the other one grows
// to match, truncated toward zero. Nothing for a client height of 0
// (a minimised window).
std::optional<QSize> FitClientToAspect(QSize client, float aspect);

// The aspect of a video size; 0 for an empty size.
float AspectOf(int width, int height);

} // namespace platform
