// The program's message for each way opening a video can fail. The video
// source says which step failed; the texts are the program's own.
#pragma once

#include "playback/video_source.h"

#include <QString>

// Shows the message for a failed open of the file at path as the program's
// "FATAL ERROR" box. User-interface thread.
void ShowOpenFailure(const playback::OpenResult& result, const QString& path);
