#include "app/frame_commands.h"

#include <QString>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array kMenus{
    FrameMenuTitle{FrameMenu::kFile, "&File"}, FrameMenuTitle{FrameMenu::kEdit, "&Edit"},
    FrameMenuTitle{FrameMenu::kView, "&View"}, FrameMenuTitle{FrameMenu::kControl, "&Control"},
    FrameMenuTitle{FrameMenu::kOptions, "&Options"}, FrameMenuTitle{FrameMenu::kHelp, "&Help"},
};

} // namespace

QList<QKeySequence> KeysOf(const FrameCommand& command) {
    if (command.standardKey != QKeySequence::UnknownKey)
        return QKeySequence::keyBindings(command.standardKey);
    if (command.key != nullptr)
        return {QKeySequence(QString::fromLatin1(command.key))};
    return {};
}

std::span<const FrameMenuTitle> FrameMenuTitles() {
    return kMenus;
}

std::vector<const FrameCommand*> ToolbarOrder(std::span<const FrameCommand> commands) {
    std::vector<const FrameCommand*> buttons;
    for (const FrameCommand& command : commands)
        if (command.toolbarGroup != 0)
            buttons.push_back(&command);
    std::ranges::sort(buttons, {}, [](const FrameCommand* command) {
        return std::pair{command->toolbarGroup, command->toolbarOrder};
    });
    return buttons;
}
