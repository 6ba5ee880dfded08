#include "res/strings.h"

#include "res/resource_ids.h"

#include <algorithm>
#include <array>
#include <utility>

namespace res {
namespace {

// Framework prompts hold "status bar prompt\ntool tip".
constexpr std::array<std::pair<int, const char*>, 33> kStrings{{
    {IDS_APP_NAME, "Tesselon"},
    {IDS_APP_TITLE, "Tesselon"},
    {IDS_IDLE_MESSAGE, "Ready"},
    {ID_FILE_OPEN, "Open a video file"},
    {ID_FILE_CLOSE, "Close the video file"},
    {ID_EDIT_COPY, "Copy the selection and put it on the Clipboard\nCopy"},
    {ID_EDIT_CUT, "Cut the selection and put it on the Clipboard\nCut"},
    {ID_EDIT_PASTE, "Insert Clipboard contents\nPaste"},
    {ID_EDIT_UNDO, "Undo the last action\nUndo"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
    {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
    {ID_CONTROL_PAUSE, "Pause or resume playback\nPause (Space)"},
    {ID_CONTROL_NEXT_FRAME, "Pause and show the next frame\nNext frame (.)"},
    {ID_CONTROL_PREVIOUS_FRAME, "Pause and show the previous frame\nPrevious frame (,)"},
    {ID_CONTROL_BACK_5S, "Go back five seconds\nBack 5 seconds"},
    {ID_CONTROL_FORWARD_5S, "Go forward five seconds\nForward 5 seconds"},
    {ID_CONTROL_GO_TO_START, "Go to the first frame\nGo to start"},
    {IDS_CANT_WRITE_DIRECTORY, "Couldn\u00B4t write in %1 directory!"},
    {IDS_REPLACE_FILE, "Do you want to replace %1 file?"},
    {IDS_SAVING_IMAGE, "Saving image %1 ..."},
    {IDS_COPYING_IMAGE, "Copying image %1 ..."},
    {IDS_FREEING_IMAGE, "Freeing image %1 ..."},
    {IDS_LABEL_TEXT, "JPG created with Tesselon %1"},
    {IDS_CONTACT, "grabs@example.org"},
    {IDS_CANCELING, "Canceling, wait ..."},
    {IDS_CLOSING, "Closing, wait ..."},
    {IDS_CAPTURE_OUT_OF_MEMORY,
     "Not enough memory to copy image %1. The images copied were freed; playback goes on."},
    {IDS_SHARPNESS, "Sharpness: %1"},
    {IDS_SHARPNESS_SHARPEST, "Sharpness: %1 \u2605 the sharpest of the batch"},
}};

} // namespace

QString SharedTableString(int id) {
    const auto found = std::find_if(kStrings.begin(), kStrings.end(),
                                    [id](const auto& entry) { return entry.first == id; });
    return found == kStrings.end() ? QString() : QString::fromUtf8(found->second);
}

} // namespace res
