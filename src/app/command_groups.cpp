#include "app/command_groups.h"

namespace glyphora {

void install_command_groups(MainDialog& dialog) {
    install_main_commands(dialog);
    install_part_commands(dialog);
    install_options_command(dialog);
    install_tool_command(dialog);
    install_popup_commands(dialog);
}

}  // namespace glyphora
