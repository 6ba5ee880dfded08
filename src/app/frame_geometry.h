// The main frame's arithmetic, apart from its widgets: the time texts of the
// status bar and the rule that keeps the client area in the video's aspect.
#pragma once

#include <QSize>
#include <QString>

#include <optional>

// A whole number of seconds as "07", "02:05" or "01:02:05": the largest unit
// that is not zero decides the form. Negative values read as 0.
QString FormatTime(int seconds);

// The client size that a resize to `client` is answered with: the extent that
// is too large for `aspect` (width ÷ height) is kept and the other one grows
// to match, truncated toward zero. Nothing for a client height of 0
// (a minimised frame).
std::optional<QSize> FitClientToAspect(QSize client, float aspect);

// The aspect of a video size; 0 for an empty size.
float AspectOf(int width, int height);

// The slider's page: a tenth of the duration, in whole seconds.
int SliderPageSize(int durationSeconds);
