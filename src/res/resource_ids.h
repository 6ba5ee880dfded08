// Resource, command and control ids, and the string table's ids. The program
// keeps the numbers of its original resource script.
#pragma once

namespace res {

// Main frame: menu, accelerators, toolbar, icon and title string.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_IMAGES_MENU = 133;

// Dialogs.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_IMAGES = 130;
inline constexpr int IDD_PROGRESS = 135;
inline constexpr int IDD_LABEL = 147;
inline constexpr int IDD_IMAGES4 = 150;

// Controls.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_TAB_WINDOW = 1001;   // dialog 130
inline constexpr int IDC_PROGRESS_BAR = 1002; // dialog 135; also tab window 1 of dialog 150
inline constexpr int IDC_LABEL_ON = 1003;     // dialog 147 check box
inline constexpr int IDC_LABEL_TEXT = 1004;   // dialog 147 edit box
inline constexpr int IDC_POSITION_SLIDER = 1005;
inline constexpr int IDC_TAB_WINDOW_0 = 1008; // dialog 150, views 0, 1, 2, 3
inline constexpr int IDC_TAB_WINDOW_1 = 1002;
inline constexpr int IDC_TAB_WINDOW_2 = 1009;
inline constexpr int IDC_TAB_WINDOW_3 = 1010;

// Main frame commands (menu 128).
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_CLOSE = 57602;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
inline constexpr int ID_CONTROL_IMAGES = 32774;
inline constexpr int ID_CONTROL_IMAGES4 = 32781;
inline constexpr int ID_APP_ABOUT = 57664;
// Frame by frame, after the capture commands.
inline constexpr int ID_CONTROL_PAUSE = 32782;
inline constexpr int ID_CONTROL_NEXT_FRAME = 32783;
inline constexpr int ID_CONTROL_PREVIOUS_FRAME = 32784;
inline constexpr int ID_CONTROL_BACK_5S = 32785;
inline constexpr int ID_CONTROL_FORWARD_5S = 32786;
inline constexpr int ID_CONTROL_GO_TO_START = 32787;
// One frame to a file; the capture size and the format written.
inline constexpr int ID_CONTROL_SNAPSHOT = 32788;
inline constexpr int ID_CONTROL_GO_TO = 32796;
inline constexpr int ID_OPTIONS_CAPTURE_FIXED = 32789;
inline constexpr int ID_OPTIONS_CAPTURE_VIDEO = 32790;
inline constexpr int ID_OPTIONS_IMAGE_FORMAT = 32791;

// Images dialogs' commands (menu 133).
inline constexpr int ID_IMAGES_EXIT = 32775;
inline constexpr int ID_IMAGES_SAVE = 32776;
inline constexpr int ID_IMAGES_SAVE_AS = 32777;
inline constexpr int ID_IMAGES_LABEL = 32778;
inline constexpr int ID_IMAGES_ABOUT = 32779;
inline constexpr int ID_IMAGES_SAVE_ALL = 32780;
inline constexpr int ID_IMAGES_COPY = 32792;
inline constexpr int ID_IMAGES_FORMAT = 32793;
inline constexpr int ID_IMAGES_SHARPEST = 32794;
inline constexpr int ID_IMAGES_CONTACT_SHEET = 32795;

// Main frame: the video view, and the status bar's panes.
inline constexpr int ID_VIDEO_VIEW = 59648;
inline constexpr int ID_INDICATOR_DURATION = 59142;
inline constexpr int ID_INDICATOR_POSITION = 59143;

// Strings.
inline constexpr int IDS_APP_NAME = 128;
inline constexpr int IDS_APP_TITLE = 57344;
inline constexpr int IDS_IDLE_MESSAGE = 57345;
inline constexpr int IDS_CANT_WRITE_DIRECTORY = 61204;
inline constexpr int IDS_REPLACE_FILE = 61205;
inline constexpr int IDS_SAVING_IMAGE = 61206;
inline constexpr int IDS_COPYING_IMAGE = 61207;
inline constexpr int IDS_FREEING_IMAGE = 61208;
inline constexpr int IDS_LABEL_TEXT = 61210;
inline constexpr int IDS_CONTACT = 61212;
inline constexpr int IDS_CANCELING = 61213;
inline constexpr int IDS_CLOSING = 61214;
inline constexpr int IDS_CAPTURE_OUT_OF_MEMORY = 61230;
// An image tab's tooltip: %1 = its sharpness; the second for the sharpest.
inline constexpr int IDS_SHARPNESS = 61236;
inline constexpr int IDS_SHARPNESS_SHARPEST = 61237;

} // namespace res
