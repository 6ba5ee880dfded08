// Control, Snapshot: the frame on show saved as one image, at the capture
// size, with the label band when the label is on, into the save directory
// under the name the capture batch would give it (its time in ms). A name
// that is taken gets "_2", "_3", ...: a snapshot never replaces a file.
//
// User-interface thread, with gSource and gPresenter set.
#pragma once

#include "images/save_picture.h"
#include "images/save_preferences.h"

#include <QSize>

images::SaveResult SaveSnapshot(QSize size, const images::SavePreferences& preferences);
