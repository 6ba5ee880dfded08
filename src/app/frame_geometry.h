// The main frame's arithmetic, apart from its widgets: the time texts of the
// status bar and the slider's page.
#pragma once

#include <QString>

// A whole number of seconds as "07", "02:05" or "01:02:05": the largest unit
// that is not zero decides the form. Negative values read as 0.
QString FormatTime(int seconds);

// The slider's page: a tenth of the duration, in whole seconds.
int SliderPageSize(int durationSeconds);
