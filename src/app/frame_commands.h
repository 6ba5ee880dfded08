// The main frame's command rows: id, menu text, key, toolbar picture, its
// places in the menus and on the toolbar, its handler, whether it can be
// checked and when it is enabled. The table itself is CMainFrame::Commands(),
// beside the handlers; the frame builds its actions, menus and toolbar from
// the rows and enables by them. A command's prompt ("status bar prompt\ntool
// tip") is the string of the same id in the string table, so adding a command
// is a row, with its id and prompt in res.
//
// Every key repeats while held (QAction's default): held down, a step key
// walks through the video. A key works through the frame itself, whatever
// bar is hidden, and only while its command is enabled.
#pragma once

#include "res/app_icons.h"

#include <QKeySequence>
#include <QList>

#include <span>
#include <vector>

class CMainFrame;

// The commands-enabled flag: 1 while the commands that a capture batch must
// not run alongside may run, 0 while a batch owns the source. The main frame
// sets it; those commands, drops on the frame and the slider read it.
extern int gCommandsEnabled;

// The menu bar's menus, in their order.
enum class FrameMenu { kNone, kFile, kEdit, kView, kControl, kOptions, kHelp };

struct FrameMenuTitle {
    FrameMenu menu;
    const char* title;
};

// When a command's action is enabled.
enum class CommandEnabling {
    kAlways,
    // While gCommandsEnabled is 1: never alongside a capture batch.
    kWithCommandsFlag,
    // A command of the original menu that the program leaves without a handler.
    kNever,
};

enum class CommandCheck { kNone, kUnchecked, kChecked };

struct FrameCommand {
    int id = 0;
    const char* text = "";
    // The key: Qt's standard key where it gives the program's key on every
    // keyboard scheme (Windows', X11's, KDE's, GNOME's), else the key's own
    // text. On the Windows scheme, which the offscreen platform uses too,
    // standard Close puts Ctrl+F4 before Ctrl+W and standard Quit is no key
    // at all: Close and Exit keep their own keys.
    QKeySequence::StandardKey standardKey = QKeySequence::UnknownKey;
    const char* key = nullptr;
    res::ToolbarIcon icon = res::ToolbarIcon::kNone;
    // Items of one group stand together; a separator parts two groups.
    FrameMenu menu = FrameMenu::kNone;
    int menuGroup = 0;
    // The submenu of `menu` the item stands in; null: the menu itself.
    const char* submenu = nullptr;
    // Group 0 is not on the toolbar; the buttons stand in the order of
    // group, then order, a separator between two groups.
    int toolbarGroup = 0;
    int toolbarOrder = 0;
    // Run when the action is triggered; null for a command that another
    // object handles or that has no handler.
    void (CMainFrame::*handler)() = nullptr;
    CommandEnabling enabling = CommandEnabling::kAlways;
    CommandCheck check = CommandCheck::kNone;
};

// The sequences the command's action takes; empty for none.
QList<QKeySequence> KeysOf(const FrameCommand& command);

// The menu bar's menus and their titles, in their order.
std::span<const FrameMenuTitle> FrameMenuTitles();
// The rows that are on the toolbar, in its order.
std::vector<const FrameCommand*> ToolbarOrder(std::span<const FrameCommand> commands);
